# SPDX-License-Identifier: MIT
# Cross-building Quarvel for 64-bit Windows with Debian's MinGW-w64 (GCC with
# POSIX threads, as the Qt it links was built with):
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
#         -DCMAKE_PREFIX_PATH=<Qt 5.15 built for MinGW>
#
# scripts/build-windows.sh does this, with the Qt it prepares.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUARVEL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUARVEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUARVEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUARVEL_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW tree and the Qt given on
# CMAKE_PREFIX_PATH; programs (moc, uic, rcc, wine) from this machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QUARVEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
