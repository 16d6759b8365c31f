#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks a Windows folder of Quarvel, as the ZIP unpacks it:
#  - every DLL that an .exe or .dll in it imports is in the folder (where
#    Windows looks first, beside the program) or is one that Windows itself
#    provides; a missing one is named;
#  - no file holds a path of the machine that built it;
#  - quarvel.exe and quarvel-cli.exe each carry Quarvel's icon (16, 24, 32,
#    48 and 256 pixels), a version resource (Quarvel, the project's version,
#    the program's own file name) and a manifest (asInvoker, Windows 7 to
#    11, per-monitor DPI awareness), read back with icoutils' wrestool;
#  - with CORPUS and DIGESTS: in a new Wine prefix, with nothing else on its
#    DLL path, the folder's quarvel-cli.exe converts every corpus file into
#    the header whose SHA-256 digest the Linux build recorded.
#
#   check-folder.sh FOLDER "BUILD_PATH..." [CORPUS DIGESTS]
#   check-folder.sh --install BUILD_DIR "BUILD_PATH..." [CORPUS DIGESTS]
#
# With --install, the folder is what `cmake --install --strip` makes of the
# build, which is what the ZIP holds.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'WINEPREFIX="$work/wine" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
if [ "$1" = --install ]; then
    folder="$work/Quarvel"
    cmake --install "$2" --prefix "$folder" --strip >/dev/null
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$2/CMakeCache.txt")
    shift 2
else
    folder=$1
    # The ZIP's folder is Quarvel-<version>-win64.
    version=$(basename "$folder" | sed -n 's/^Quarvel-\(.*\)-win64$/\1/p')
    shift
fi
read -r -a build_paths <<<"$1"
corpus=${2:-}
digests=${3:-}
status=0

# What Windows 10 and 11 provide in System32 (and the API sets).
system_dlls=(advapi32.dll comctl32.dll comdlg32.dll crypt32.dll d3d11.dll d3d9.dll dwmapi.dll
    dwrite.dll dxgi.dll gdi32.dll imm32.dll kernel32.dll mpr.dll msvcrt.dll netapi32.dll ole32.dll
    oleaut32.dll setupapi.dll shell32.dll shcore.dll shlwapi.dll user32.dll userenv.dll
    uxtheme.dll version.dll winmm.dll ws2_32.dll wtsapi32.dll)
system_dlls=" ${system_dlls[*]} "
present=" $(cd "$folder" && ls | tr '[:upper:]' '[:lower:]' | tr '\n' ' ') "
while IFS= read -r -d '' binary; do
    while read -r dll; do
        lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
        if [[ $present != *" $lower "* && $system_dlls != *" $lower "* && $lower != api-ms-win-* ]]; then
            echo "check-folder: ${binary#"$folder"/} needs $dll, which is neither in the folder nor part of Windows" >&2
            status=1
        fi
    done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^[[:space:]]*DLL Name: //p')
done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)

# The value after a key among the version resource's UTF-16 strings.
value_of() { awk -v key="$1" 'found { print; exit } $0 == key { found = 1 }' "$work/version"; }
for exe in quarvel.exe quarvel-cli.exe; do
    problems=()
    wrestool -x --type=group_icon "$folder/$exe" >"$work/icon.ico" 2>/dev/null || true
    sizes=$(icotool -l "$work/icon.ico" 2>/dev/null | sed -n 's/.*--width=\([0-9]*\) .*/\1/p' | sort -n | xargs)
    [ "$sizes" = "16 24 32 48 256" ] || problems+=("icon sizes '$sizes', not '16 24 32 48 256'")
    wrestool -x --raw --type=16 "$folder/$exe" 2>/dev/null | strings -e l >"$work/version" || true
    for pair in "ProductName=Quarvel" "ProductVersion=$version" "FileVersion=$version" \
        "OriginalFilename=$exe" "LegalCopyright=$(grep -m 1 '^Copyright ' "$source_dir/LICENSE")"; do
        [ "$(value_of "${pair%%=*}")" = "${pair#*=}" ] || problems+=("no version value ${pair%%=*} '${pair#*=}'")
    done
    [ "$(value_of FileDescription)" != "" ] || problems+=("no file description")
    manifest=$(wrestool -x --raw --type=24 "$folder/$exe" 2>/dev/null || true)
    for want in 'level="asInvoker"' '35138b9a-5d96-4fbd-8e2d-a2440225f93a' \
        '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a' '>PerMonitor</dpiAwareness>'; do
        [[ $manifest == *"$want"* ]] || problems+=("manifest without $want")
    done
    for problem in "${problems[@]}"; do
        echo "check-folder: $exe: $problem" >&2
        status=1
    done
done

for path in "${build_paths[@]}"; do
    if found=$(grep -r -l -a -F -- "$path" "$folder"); then
        echo "check-folder: the path $path of the build machine is in:" $found >&2
        status=1
    fi
done

if [ -n "$corpus" ] && [ -d "$corpus" ]; then
    export WINEPREFIX="$work/wine" WINEDEBUG=-all LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 \
        XDG_DATA_HOME="$work/xdg" XDG_CONFIG_HOME="$work/xdg"
    unset WINEPATH
    wineboot -i >/dev/null 2>&1
    converted=0
    for file in "$corpus"/*.dbc; do
        name=$(basename "$file")
        want=$(awk -v f="$name" '$2 == f { print $1 }' "$digests")
        rm -rf "$work/out"
        if wine "$folder/quarvel-cli.exe" "$file" "$work/out" >/dev/null 2>"$work/err"; then
            got=$(sha256sum <"$work/out/dbc_2_struct.h" | cut -d' ' -f1)
        elif grep -q 'more than 300' "$work/err"; then
            got=refused
        else
            got="failed: $(head -c 300 "$work/err")"
        fi
        if [ "$got" != "$want" ]; then
            echo "check-folder: $name gives $got, the Linux build $want" >&2
            status=1
        fi
        converted=$((converted + 1))
    done
    wineserver -w
    echo "check-folder: $converted corpus files converted in a new Wine prefix"
fi
exit $status
