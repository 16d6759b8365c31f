#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds Quarvel for 64-bit Windows on this Debian machine and proves it under
# Wine: installs what is missing, prepares Qt 5.15 for MinGW-w64 once per
# machine (scripts/prepare-qt-mingw.sh, about 15 minutes the first time),
# cross-builds with cmake/toolchain-mingw64.cmake into build-windows/, runs
# the test suite under Wine, and leaves the two packages there:
#
#   build-windows/Quarvel-<version>-win64.zip   the folder to unpack and run
#   build-windows/Quarvel-<version>-win64.exe   the NSIS installer
#
# The installer is then tried in a new Wine prefix: a silent install, the
# installed quarvel-cli.exe, a silent uninstall that leaves no file.
#
#   QUARVEL_CACHE_DIR  where Qt for MinGW is kept (default ~/.cache/quarvel)
set -euo pipefail
cd "$(dirname "$0")/.."

# MinGW-w64 with its objdump and windres, Wine to run the programs, NSIS for
# the installer, icoutils to pack the programs' icon and to read their
# resources back, a virtual display with xdotool and ImageMagick for the
# window's test, a CJK font for the window's texts, zip/unzip for the
# package checks.
./scripts/setup.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 nsis \
    icoutils xvfb xdotool imagemagick fonts-wqy-zenhei fonts-wqy-microhei zip unzip locales >/dev/null
# The tests run Wine in the Chinese locale (LANG=zh_CN.UTF-8), as on a
# Chinese Windows: Wine takes code page 936 from it, and writes Chinese file
# names through this machine's locale of that name.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

qt=$(./scripts/prepare-qt-mingw.sh | tail -n 1)
jobs=$(nproc 2>/dev/null || echo 2)
build=build-windows

if [ ! -f "$build/CMakeCache.txt" ] || ! grep -q "^CMAKE_PREFIX_PATH:.*=$qt\$" "$build/CMakeCache.txt"; then
    echo "quarvel: configuring $build/ with Qt for MinGW in $qt"
    rm -rf "$build"
    mkdir -p "$build"
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
        -DCMAKE_PREFIX_PATH="$qt" -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BUILD_BENCH=OFF \
        >"$build/configure.log" 2>&1 || { cat "$build/configure.log" >&2; exit 1; }
fi
cmake --build "$build" -j"$jobs"

echo "== Test suite under Wine"
ctest --test-dir "$build" --output-on-failure -j"$jobs"

echo "== Packages"
rm -f "$build"/Quarvel-*-win64.zip "$build"/Quarvel-*-win64.exe
(cd "$build" && cpack >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }
./scripts/check-windows-packages.sh "$build" "$qt"
ls "$build"/Quarvel-*-win64.zip "$build"/Quarvel-*-win64.exe
