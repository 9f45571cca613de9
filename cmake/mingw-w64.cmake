# Cross-build for Windows with mingw-w64 (posix threads, which GoogleTest
# needs): 32-bit x86, which every Windows from 7 on runs, 32- and 64-bit
# (and ARM64 through its x86 emulation). Tests run under Wine.
# -DZORVIK_WINDOWS_ARCH=x86_64 makes the program's 64-bit twin, for a Wine
# without its 32-bit half; only the 32-bit build is delivered.
set(ZORVIK_WINDOWS_ARCH i686 CACHE STRING "i686 (the delivered program) or x86_64")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ZORVIK_WINDOWS_ARCH})
set(CMAKE_C_COMPILER ${ZORVIK_WINDOWS_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVIK_WINDOWS_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVIK_WINDOWS_ARCH}-w64-mingw32-windres)
set(CMAKE_STRIP ${ZORVIK_WINDOWS_ARCH}-w64-mingw32-strip CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${ZORVIK_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
find_program(ZORVIK_WINE NAMES wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZORVIK_WINE})
# Static runtime: the test programs run under Wine without DLLs beside them.
# No link time in the header: the same sources give the same exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
