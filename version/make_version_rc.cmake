# Build step: the program's version block from its description, as a
# Windows resource script (VERSIONINFO). Run as
#   cmake -DDESCRIPTION=version_block.txt -DOUTPUT=file.rc -P make_version_rc.cmake
# Numbers keep their written form (C-style decimal or 0x hexadecimal, which
# the resource compiler reads alike); texts stay UTF-8 under code page 65001.

cmake_minimum_required(VERSION 3.25)

file(READ "${DESCRIPTION}" whole)
if(whole MATCHES ";")
  message(FATAL_ERROR "${DESCRIPTION}: a semicolon cannot be taken into the resource script")
endif()
file(STRINGS "${DESCRIPTION}" lines ENCODING UTF-8)
set(section "")
set(values "")
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  if(line MATCHES "^\\[(.*)\\]$")
    set(section "${CMAKE_MATCH_1}")
    continue()
  endif()
  if(NOT line MATCHES "^([^=]*)=(.*)$")
    message(FATAL_ERROR "${DESCRIPTION}: no '=' in: ${line}")
  endif()
  string(STRIP "${CMAKE_MATCH_1}" name)
  string(STRIP "${CMAKE_MATCH_2}" value)
  if(section STREQUAL "strings")
    # A resource text doubles its quotes and escapes its backslashes.
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\"" "\"\"" value "${value}")
    string(APPEND values "            VALUE \"${name}\", \"${value}\"\n")
  elseif(section STREQUAL "fixed" OR section STREQUAL "translation")
    if(NOT value MATCHES "^(0[xX][0-9A-Fa-f]+|[0-9]+)(\\.[0-9]+\\.[0-9]+\\.[0-9]+)?$")
      message(FATAL_ERROR "${DESCRIPTION}: bad value for ${name}: ${value}")
    endif()
    set(v_${name} "${value}")
  else()
    message(FATAL_ERROR "${DESCRIPTION}: outside a section: ${line}")
  endif()
endforeach()

foreach(required file_version product_version flags_mask flags os type subtype language codepage)
  if(NOT DEFINED v_${required})
    message(FATAL_ERROR "${DESCRIPTION}: no ${required}")
  endif()
endforeach()
string(REPLACE "." "," file_version "${v_file_version}")
string(REPLACE "." "," product_version "${v_product_version}")
math(EXPR language "${v_language}" OUTPUT_FORMAT HEXADECIMAL)
math(EXPR codepage "${v_codepage}" OUTPUT_FORMAT HEXADECIMAL)
math(EXPR table_key "(${v_language} << 16) | ${v_codepage}" OUTPUT_FORMAT HEXADECIMAL)
string(SUBSTRING "${table_key}" 2 -1 table_key)
string(TOUPPER "${table_key}" table_key)
string(LENGTH "${table_key}" key_length)
while(key_length LESS 8)
  string(PREPEND table_key "0")
  math(EXPR key_length "${key_length} + 1")
endwhile()

file(WRITE "${OUTPUT}.new" "// Made from ${DESCRIPTION} by make_version_rc.cmake; do not edit.
#pragma code_page(65001)

1 VERSIONINFO
FILEVERSION ${file_version}
PRODUCTVERSION ${product_version}
FILEFLAGSMASK ${v_flags_mask}
FILEFLAGS ${v_flags}
FILEOS ${v_os}
FILETYPE ${v_type}
FILESUBTYPE ${v_subtype}
BEGIN
    BLOCK \"StringFileInfo\"
    BEGIN
        BLOCK \"${table_key}\"
        BEGIN
${values}        END
    END
    BLOCK \"VarFileInfo\"
    BEGIN
        VALUE \"Translation\", ${language}, ${codepage}
    END
END
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
