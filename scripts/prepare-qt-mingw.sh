#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Prepares Qt 5.15 for MinGW-w64 once per machine: fetches Debian's own source
# package of qtbase (the Qt the Linux build uses), cross-compiles Core, Gui,
# Widgets, Test and the Windows platform and style plugins, and installs them
# into a cache outside the repository. The cache's path names the Qt version
# and a digest of the configure options, so a change of options builds anew
# and every later run (CI included) reuses a finished build.
#
# Prints the prefix of the finished Qt on its last line.
#
#   QUARVEL_CACHE_DIR  where the cache lives (default ~/.cache/quarvel)
set -euo pipefail

cache_root=${QUARVEL_CACHE_DIR:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/quarvel}

# What nothing in Quarvel needs is left out: OpenGL, D-Bus, ICU (Qt's own
# codecs cover the local 8-bit code pages through the Windows API), SQL,
# network, XML, concurrency. Debian's source leaves out the non-free wintab.h,
# hence no tablet events.
configure_options=(
    -prefix "C:/Qt/QT_VERSION"
    -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
    -release -shared -opensource -confirm-license -nomake examples -nomake tests
    -no-opengl -no-dbus -no-icu -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype
    -qt-harfbuzz -no-sql-sqlite -no-sql-odbc -no-feature-concurrent -no-feature-network
    -no-feature-sql -no-feature-xml -no-feature-tabletevent
    # Source file names that Qt's code writes into the DLLs name the sources
    # as qtbase/..., not as the folder they were built in on this machine.
    "QMAKE_CFLAGS+=-ffile-prefix-map=QT_SOURCE=qtbase"
    "QMAKE_CXXFLAGS+=-ffile-prefix-map=QT_SOURCE=qtbase"
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# The cross compiler, and dpkg-dev for unpacking the source package.
packages=(g++-mingw-w64-x86-64-posix dpkg-dev make perl python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing missing packages: ${missing[*]}" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The Qt version is the one of Debian's qtbase, as on Linux.
debian_version=$(apt-cache policy qtbase5-dev | sed -n 's/^ *Candidate: //p')
version=${debian_version%%+*}
[ -n "$version" ] || { echo "prepare-qt-mingw: no qtbase5-dev known to apt" >&2; exit 1; }
# The compiler's version is part of the digest: a Qt built by another MinGW
# would not link with this one's runtime.
compiler=$(x86_64-w64-mingw32-g++-posix --version | head -n1)
# The prefix is what Qt5Core.dll holds as its home: a path of the Windows
# machine it would be installed on, never one of this machine. The DLLs find
# their plugins beside the executables, so the string is only a label.
configure_options=("${configure_options[@]/QT_VERSION/$version}")
digest=$(printf '%s\n' "${configure_options[@]}" "$compiler" | sha256sum | cut -c1-12)
prefix="$cache_root/qt-$version-mingw64-$digest"

if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

echo "prepare-qt-mingw: building Qt $version for MinGW-w64 into $prefix (about 15 minutes on two cores)" >&2
work="$cache_root/work-$version-$digest"
configure_options=("${configure_options[@]/QT_SOURCE/$work/src}")
rm -rf "$work" "$prefix"
mkdir -p "$work"

# A deb-src entry made from the machine's own Debian sources.
src_list=/etc/apt/sources.list.d/quarvel-deb-src.sources
if [ ! -f "$src_list" ]; then
    for f in /etc/apt/sources.list.d/debian.sources; do
        [ -f "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f"
    done | $sudo tee "$src_list" >/dev/null
    if [ ! -s "$src_list" ] && [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee /etc/apt/sources.list.d/quarvel-deb-src.list >/dev/null
        $sudo rm -f "$src_list"
    fi
    $sudo apt-get update -qq
fi
(cd "$work" && apt-get source -qq --download-only "qtbase-opensource-src=$debian_version" >/dev/null &&
    dpkg-source -x ./*.dsc src >/dev/null)

# The cross compiler with POSIX threads, whatever the alternatives say: a
# directory of links named as Qt's mkspec calls them.
tools="$work/tools"
mkdir -p "$tools"
for t in gcc g++; do ln -sf "$(command -v x86_64-w64-mingw32-$t-posix)" "$tools/x86_64-w64-mingw32-$t"; done
export PATH="$tools:$PATH"

mkdir -p "$work/build"
cd "$work/build"
../src/configure -extprefix "$prefix" "${configure_options[@]}" >"$work/configure.log" 2>&1 ||
    { tail -n 40 "$work/configure.log" >&2; exit 1; }
# Built first, then installed: the install targets do not wait for the
# third-party libraries (a parallel `make install` alone links Qt5Core.dll
# before libqtpcre2.a exists); after the build the install only copies.
jobs=$(nproc 2>/dev/null || echo 2)
{ make -j"$jobs" && make -j"$jobs" install; } >"$work/build.log" 2>&1 ||
    { tail -n 60 "$work/build.log" >&2; exit 1; }

mkdir -p "$prefix/licenses"
# Qt's licence texts, for the DLLs that ship: the LGPL v3 they are used
# under and the GPL texts it builds on.
cp ../src/LICENSE.LGPL3 ../src/LICENSE.GPL2 ../src/LICENSE.GPL3 ../src/LICENSE.GPL3-EXCEPT \
    "$prefix/licenses/"
printf 'Qt %s, built from the Debian source package qtbase-opensource-src %s\n' \
    "$version" "$debian_version" >"$prefix/licenses/SOURCE"
cp "$work"/*.dsc "$prefix/licenses/"
cd /
rm -rf "$work"
touch "$prefix/.complete"
echo "$prefix"
