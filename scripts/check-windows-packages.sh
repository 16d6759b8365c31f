#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the two Windows packages that `cpack` left in a Windows build
# directory:
#  - the ZIP unpacks into one folder that passes tests/windows/check-folder.sh
#    (DLL imports, no path of this machine);
#  - the NSIS installer holds no path of this machine either; in a new Wine
#    prefix it installs silently (/S) under Program Files with a Start-menu
#    entry for the window, the installed quarvel-cli.exe runs, the Apps &
#    features entry and the Start-menu entry show Quarvel's icon, and the
#    uninstaller, run silently too, leaves no file of it behind.
#
#   check-windows-packages.sh BUILD_DIR QT_PREFIX
set -euo pipefail
build=$(cd "$1" && pwd)
qt=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_paths="$source_dir $build $qt"
if [ -n "${HOME:-}" ] && [ "$HOME" != / ]; then
    build_paths+=" $HOME/"
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip="$build/Quarvel-$version-win64.zip"
installer="$build/Quarvel-$version-win64.exe"

work=$(mktemp -d)
# Wine's menu builder writes the Start menu's entries and icons into the
# work folder instead of this machine's home.
export WINEPREFIX="$work/wine" WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 \
    XDG_DATA_HOME="$work/xdg" XDG_CONFIG_HOME="$work/xdg"
unset WINEPATH
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
fail() {
    echo "check-windows-packages: $*" >&2
    exit 1
}

unzip -q "$zip" -d "$work/zip"
[ "$(ls "$work/zip")" = "Quarvel-$version-win64" ] || fail "$zip does not hold one folder"
"$source_dir/tests/windows/check-folder.sh" "$work/zip/Quarvel-$version-win64" "$build_paths"
for path in $build_paths; do
    ! grep -q -a -F -- "$path" "$installer" || fail "$installer holds the path $path"
done
echo "check-windows-packages: $(basename "$zip") unpacks into a folder that runs"

wineboot -i >/dev/null 2>&1
wine "$installer" /S
wineserver -w
installed="$WINEPREFIX/drive_c/Program Files/Quarvel"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quarvel"
[ -f "$installed/quarvel.exe" ] || fail "the installer put no quarvel.exe into $installed"
[ -f "$menu/Quarvel.lnk" ] || fail "the installer made no Start-menu entry for the window"
got=$(wine "$installed/quarvel-cli.exe" --version | tr -d '\r')
[ "$got" = "quarvel-cli $version" ] || fail "the installed quarvel-cli.exe says '$got'"
# Apps & features shows the icon its entry names: the installed quarvel.exe,
# which carries Quarvel's icon up to 256 pixels.
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quarvel'
# The 64-bit installer writes the registry's 64-bit view, which `reg` reads
# with /reg:64 even where it is itself a 32-bit program (Wine with its
# 32-bit half).
shown=$(wine reg query "$key" /v DisplayIcon /reg:64 | tr -d '\r' |
    sed -n 's/^ *DisplayIcon *REG_[A-Z_]* *//p')
[ "$shown" = 'C:\Program Files\Quarvel\quarvel.exe' ] ||
    fail "the Apps & features entry's icon is '$shown', not the installed quarvel.exe"
wrestool -x --type=group_icon "$installed/quarvel.exe" >"$work/installed.ico" &&
    icotool -l "$work/installed.ico" | grep -q -- '--width=256 ' ||
    fail "the installed quarvel.exe carries no icon"
# The Start-menu entry has no icon of its own, so Windows shows its
# program's. Wine's menu builder does the same when it copies the entry into
# the desktop's menu: the 48-pixel image it takes must be Quarvel's.
wineserver -w
entry=$(find "$XDG_DATA_HOME/applications" -name Quarvel.desktop | head -n 1)
icon="$XDG_DATA_HOME/icons/hicolor/48x48/apps/$(sed -n 's/^Icon=//p' "${entry:-/dev/null}").png"
[ -f "$icon" ] && compare -metric AE "$icon" "$build/app/icons/quarvel-48.png" null: 2>/dev/null ||
    fail "the Start-menu entry does not show Quarvel's icon (${entry:-no menu entry}, $icon)"
# The uninstaller copies itself away and goes on from the copy: wait for it.
wine "$installed/Uninstall.exe" /S
for _ in $(seq 120); do
    wineserver -w
    [ -e "$installed" ] || break
    sleep 0.5
done
[ ! -e "$installed" ] || fail "the uninstaller left: $(cd "$installed" && find . | tr '\n' ' ')"
[ ! -e "$menu" ] || fail "the uninstaller left the Start-menu entry"
echo "check-windows-packages: $(basename "$installer") installs silently, runs and uninstalls without a trace"
