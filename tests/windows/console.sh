#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# quarvel-cli.exe in a Windows console (cmd.exe under Wine, on a terminal),
# with the console's code page set to 936 (GBK) and to 65001 (UTF-8): its
# Chinese note and its findings must show as written in both.
#
#   console.sh WINE_RUN QUARVEL_CLI_EXE DBC_FILE WORK_DIR
set -euo pipefail
wine_run=$1 cli=$2 dbc=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
windows() { printf 'Z:%s' "${1//\//\\}"; }
status=0
for codepage in 936 65001; do
    # `script` gives cmd.exe a terminal, so that Wine makes it a console.
    script -qec "'$wine_run' cmd /c 'chcp $codepage >nul & $(windows "$cli") $(windows "$dbc") $(windows "$work/out$codepage")'" \
        /dev/null >"$work/console$codepage.txt" 2>&1 || true
    shown=$(sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$work/console$codepage.txt" | tr -d '\r\n')
    for expected in "NOTE: 文件已生成，请查看！" "10 warnings: 2 signals not written"; do
        if [[ $shown != *"$expected"* ]]; then
            echo "console: with code page $codepage the console does not show '$expected':" >&2
            cat "$work/console$codepage.txt" >&2
            status=1
        fi
    done
done
exit $status
