# Makes a text file as Windows' Notepad reads it everywhere: Windows-1251,
# lines ended by CR LF; @VERSION@ becomes the version given.
#   cmake -DINPUT=utf8.txt -DOUTPUT=out.txt [-DVERSION=N] -P windows_text.cmake
configure_file(${INPUT} ${OUTPUT}.crlf @ONLY NEWLINE_STYLE CRLF)
execute_process(COMMAND iconv -f UTF-8 -t CP1251 INPUT_FILE ${OUTPUT}.crlf OUTPUT_FILE ${OUTPUT}
                RESULT_VARIABLE failed)
file(REMOVE ${OUTPUT}.crlf)
if(failed)
  message(FATAL_ERROR "${INPUT}: not convertible to Windows-1251")
endif()
