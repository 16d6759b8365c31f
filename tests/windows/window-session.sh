#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A user's session with quarvel.exe under Wine, on the Windows platform plugin
# and a virtual X display (run it under xvfb-run): the three buttons are
# pressed with the mouse, the file and directory dialogs answered by typing a
# path and Enter, and the header must then be the example's, with the
# success box shown. At 144 DPI the whole window must be scaled by 1.5.
# With SCREENSHOT.png, the window is photographed while the box is up.
#
#   window-session.sh WINE_RUN QUARVEL_EXE DBC_FILE GOLDEN WORK_DIR DPI [SCREENSHOT.png]
set -euo pipefail
wine_run=$1 exe=$2 dbc=$3 golden=$4 work=$5 dpi=$6 screenshot=${7:-}

rm -rf "$work"
mkdir -p "$work"
# A Wine prefix of the session's own, at the display's resolution, with the
# sans-serif CJK font a Chinese Windows uses for its dialogs, for a user
# Lin whose files are in C:\Users\Lin\Documents, as on Windows. Wine's menu
# entries go to the session's folder, not this machine's home.
export QUARVEL_WINEPREFIX="$work/prefix" USER=Lin XDG_DATA_HOME="$work/xdg" XDG_CONFIG_HOME="$work/xdg"
"$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
"$wine_run" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun /d 'WenQuanYi Micro Hei' /f >/dev/null
export WINEPREFIX=$QUARVEL_WINEPREFIX
trap 'wineserver -k 2>/dev/null || true' EXIT
# Wine's C:\users is C:\Users on Windows, and Wine links the user's
# Documents to this machine's home: the session's are its own.
mv "$WINEPREFIX/drive_c/users" "$WINEPREFIX/drive_c/Users"
documents="$WINEPREFIX/drive_c/Users/$USER/Documents"
rm -f "$documents"
mkdir -p "$documents/out"
cp "$dbc" "$documents/"

fail() {
    echo "window-session: $*" >&2
    [ -z "$screenshot" ] || import -window root "${screenshot%.png}-failed.png" 2>/dev/null || true
    exit 1
}
# Waits until `condition` (a command) holds, for at most 60 s.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 600); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    fail "no $what after 60 s"
}
# The windows on the screen (the display's root among them); without a
# window manager a dialog or a message box is one more of them.
windows_shown() {
    xdotool search --onlyvisible --maxdepth 1 --name '' 2>/dev/null | while read -r w; do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        ((WIDTH > 50)) && echo "$w"
    done
}
shown_count_is() { [ "$(windows_shown | wc -l)" -eq "$1" ]; }

"$wine_run" "$exe" >"$work/quarvel.log" 2>&1 &
disown
wait_for "window titled Quarvel R_V1.1" xdotool search --onlyvisible --name '^Quarvel R_V1\.1$'
window=$(xdotool search --onlyvisible --name '^Quarvel R_V1\.1$' | head -n 1)
alone=$(windows_shown | wc -l)
eval "$(xdotool getwindowgeometry --shell "$window")" # X Y WIDTH HEIGHT of the client area
echo "window-session: at $dpi DPI the window is ${WIDTH} x ${HEIGHT}"
# The form is 755 x 278; the whole window scales with the display's DPI.
expected_width=$((755 * dpi / 96)) expected_height=$((278 * dpi / 96))
((WIDTH >= expected_width - 2 && WIDTH <= expected_width + 2 &&
    HEIGHT >= expected_height - 2 && HEIGHT <= expected_height + 2)) ||
    fail "the window is ${WIDTH} x ${HEIGHT}, not ${expected_width} x ${expected_height}"

# Clicks the middle of a widget of the form, given in the form's pixels.
click() {
    xdotool mousemove $((X + ($1 + $3 / 2) * dpi / 96)) $((Y + ($2 + $4 / 2) * dpi / 96)) click 1
}
# Answers the dialog a click opens: with the pointer over it, types the path
# into its file name field (where it opens with the keyboard focus), presses
# Enter, and waits until the dialog is gone.
answer_dialog() {
    wait_for "dialog" shown_count_is $((alone + 1))
    local dialog
    dialog=$(windows_shown | grep -v -x -e "$window" -e "$(windows_shown | head -n 1)" | tail -n 1)
    xdotool mousemove --window "$dialog" 5 5
    sleep 0.5
    xdotool type --delay 20 "$1"
    xdotool key Return
    wait_for "end of the dialog" shown_count_is "$alone"
}
click 640 50 81 31 # 浏览 beside the DBC file
answer_dialog "C:\\Users\\$USER\\Documents\\$(basename "$dbc")"
click 640 120 81 31 # 浏览 beside the output path
answer_dialog "C:\\Users\\$USER\\Documents\\out"
click 520 170 111 41 # 生成文件
wait_for "header" test -s "$documents/out/dbc_2_struct.h"
wait_for "success box" shown_count_is $((alone + 1))
sleep 1
# The window with the box over it.
[ -z "$screenshot" ] || import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$screenshot"
cmp -s "$documents/out/dbc_2_struct.h" "$golden" || fail "the header is not $golden"
xdotool key Return
wait_for "end of the success box" shown_count_is "$alone"
echo "window-session: the header written through the window is the example's"
