#!/usr/bin/env bash
# Builds Quarvel (installing what is missing) and starts the window.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "quarvel: no graphical display found (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "Start it from a desktop session, or under a virtual display: xvfb-run ./scripts/run.sh" >&2
    echo "For conversions without a display use build/cli/quarvel-cli FILE.dbc OUTDIR." >&2
    exit 1
fi
exec build/app/quarvel "$@"
