#!/usr/bin/env bash
# Builds Quarvel (installing what is missing) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
ctest --test-dir build --output-on-failure -j"$jobs"
