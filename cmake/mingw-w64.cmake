# SPDX-License-Identifier: MIT
# Cross-compiling for 64-bit Windows with mingw-w64 (the POSIX-threads compilers, for std::thread),
# every runtime linked statically so the programs need no DLL beside them; programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CORVELLE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVELLE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVELLE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVELLE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVELLE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread inside each executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(CORVELLE_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVELLE_WINE})
