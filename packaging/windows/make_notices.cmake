# The notices of what is linked into the exes, as Notepad reads them:
# UTF-8 with its byte-order mark (the texts hold names outside Windows-1251),
# lines ended by CR LF.
#   cmake -DOUTPUT=NOTICES.txt -DMINGW=<copyright> -DGCC=<copyright> -P make_notices.cmake
file(READ ${MINGW} mingw)
file(READ ${GCC} gcc)
set(text "zorvik.exe and zorvik-demo.exe contain, linked into them, the mingw-w64
runtime and its winpthreads library, and GCC's runtime libraries (libgcc and
libstdc++, under the GCC Runtime Library Exception). Their copyright and
licence notices follow, as Debian ships them with the cross-compiler that
built these programs.

======================================================================
mingw-w64 runtime and winpthreads
======================================================================

${mingw}
======================================================================
GCC runtime libraries (libgcc, libstdc++)
======================================================================

${gcc}")
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
string(ASCII 239 187 191 bom)
file(WRITE ${OUTPUT} "${bom}${text}")
