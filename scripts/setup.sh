#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what Quarvel needs on Debian 12 (only what is missing; extra package
# names may be given as arguments) and configures the build in build/. Quiet
# and quick when everything is already there; building is left to run.sh and
# test.sh, which build what each needs.
set -euo pipefail
cd "$(dirname "$0")/.."

# help2man makes quarvel-cli's manual page, dpkg-dev's dpkg-shlibdeps the
# package's dependencies (cpack -G DEB); the consumer test builds the example
# project with Ninja as well as with Makefiles. qt6-base-dev is for the test
# command's Qt 6 build; Qt 5 stays the default. librsvg2-bin's rsvg-convert
# draws the window's icon from app/quarvel.svg while building.
packages=(cmake make g++ qtbase5-dev qt6-base-dev fonts-wqy-zenhei libbenchmark-dev help2man
    dpkg-dev ninja-build librsvg2-bin)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing missing packages: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Configure once, and again after installing packages, so that the build finds
# what was just installed. The output is kept in a log, shown only on failure.
if [ ! -f build/CMakeCache.txt ] || ((${#missing[@]})); then
    echo "quarvel: configuring build/…"
    mkdir -p build
    if ! cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >build/configure.log 2>&1; then
        cat build/configure.log >&2
        exit 1
    fi
fi
