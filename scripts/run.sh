#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the window (installing what is missing) and starts it. The build's
# output goes to build/run-build.log: nothing is printed when the program is up
# to date, one line while it builds, and the whole log when the build fails.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

log=build/run-build.log
# Prints one progress line at the first sign of real work (compiling, linking,
# re-running CMake), none for make's up-to-date checks.
announce_work() {
    local announced=0 line
    while IFS= read -r line; do
        printf '%s\n' "$line" >>"$log"
        if ((!announced)) && [[ $line =~ (Building|Linking|Re-running\ CMake|Generating) ]]; then
            echo "quarvel: building…"
            announced=1
        fi
    done
}
: >"$log"
if ! cmake --build build --target quarvel -j"$(nproc 2>/dev/null || echo 2)" 2>&1 | announce_work; then
    cat "$log" >&2
    echo "quarvel: the build failed (log: $log)" >&2
    exit 1
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "quarvel: no graphical display found (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "Start it from a desktop session, or under a virtual display: xvfb-run ./scripts/run.sh" >&2
    echo "For conversions without a display use build/cli/quarvel-cli FILE.dbc OUTDIR." >&2
    exit 1
fi
exec build/app/quarvel "$@"
