# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, which
# C++ threads need) against the Qt that scripts/windows builds. Give that Qt with
# -DCMAKE_PREFIX_PATH=<cache>/qt.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# The programs the build runs (the image and demo writers) and the tests run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# The tests start the built mtls by its path on this machine, which Wine shows as drive Z:.
set(LATHRINE_HOST_DRIVE Z:)
