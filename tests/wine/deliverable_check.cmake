# The Windows zip as an engineer gets it: holding the two programs, the
# guide, the licence and the notices and nothing else; each program a
# single 32-bit file under 3 MB that imports only functions Windows 7 SP1
# has (the list beside this file: a new import fails the check until
# someone has looked it up and added it).
#   cmake -DBUILD=<cross-build dir> -DOBJDUMP=<mingw objdump> -DALLOWED=<list> -P deliverable_check.cmake
#   cmake -DZIP=<a zip made before> -DOBJDUMP=... -DALLOWED=... -P deliverable_check.cmake
cmake_minimum_required(VERSION 3.25)
if(ZIP)
  set(zip ${ZIP})
  set(BUILD ${CMAKE_CURRENT_BINARY_DIR})  # the folder it runs in
else()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target windows_zip RESULT_VARIABLE failed OUTPUT_QUIET)
  file(GLOB zip ${BUILD}/zorvik-*-windows.zip)
  if(failed OR NOT zip)
    message(FATAL_ERROR "the build made no zorvik-<version>-windows.zip")
  endif()
endif()
set(unpacked ${BUILD}/deliverable_check)
file(REMOVE_RECURSE ${unpacked})
file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${unpacked})
file(GLOB_RECURSE files RELATIVE ${unpacked} ${unpacked}/*)
list(TRANSFORM files REPLACE "^[^/]*/" "")
list(SORT files)
if(NOT files STREQUAL "LICENSE.txt;NOTICES.txt;zorvik-demo.exe;zorvik.exe;ПРОЧТИ.txt")
  message(FATAL_ERROR "the zip holds ${files}")
endif()
# "DLL function" per line; # starts a comment.
file(STRINGS ${ALLOWED} allowed REGEX "^[^#]")
file(GLOB_RECURSE programs ${unpacked}/*.exe)
foreach(program ${programs})
  file(SIZE ${program} size)
  if(size GREATER 3000000)
    message(FATAL_ERROR "${program}: ${size} bytes")
  endif()
  # objdump speaks the locale's language (the Wine tests run in Russian).
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${OBJDUMP} -p ${program} OUTPUT_VARIABLE headers)
  if(NOT headers MATCHES "file format pei-i386")
    message(FATAL_ERROR "${program} is not a 32-bit Windows program")
  endif()
  # Address space layout randomisation and no execution from data pages.
  if(NOT headers MATCHES "DYNAMIC_BASE" OR NOT headers MATCHES "NX_COMPAT")
    message(FATAL_ERROR "${program} lacks ASLR (DYNAMIC_BASE) or DEP (NX_COMPAT)")
  endif()
  # The import table: a "DLL Name:" line, then a line per function.
  string(REPLACE "\n" ";" lines "${headers}")
  set(dll "")
  set(count 0)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*DLL Name: (.+)$")
      string(TOUPPER "${CMAKE_MATCH_1}" dll)
    elseif(line MATCHES "^[ \t]*$")
      set(dll "")
    # binutils 2.40: "<vma>\t <hint> <name>"; 2.44: "<vma>  <none>  <hint> <name>".
    elseif(dll AND line MATCHES "^\t[0-9a-f]+[ \t]+(<none>[ \t]+)?[0-9a-f]+ +([A-Za-z_][A-Za-z0-9_]*)")
      if(NOT "${dll} ${CMAKE_MATCH_2}" IN_LIST allowed)
        message(FATAL_ERROR "${program} imports ${CMAKE_MATCH_2} from ${dll}, not in ${ALLOWED}")
      endif()
      math(EXPR count "${count} + 1")
    endif()
  endforeach()
  if(count EQUAL 0)
    message(FATAL_ERROR "${program}: no imports read")
  endif()
  message(STATUS "${program}: ${size} bytes, ${count} imported functions")
endforeach()
