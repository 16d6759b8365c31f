#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The README and the full command-line page name every option that
# quarvel-cli --help lists (the manual page is made from --help), and no
# option that it does not.
#
#   check-options.sh QUARVEL-CLI REPOSITORY
set -uo pipefail
cli=$1 root=$2
help=$("$cli" --help) || { echo "$cli --help failed"; exit 1; }
options=$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
failures=0
for page in README.md docs/cli.md; do
    for option in $options; do
        grep -q -- "$option\b" "$root/$page" || {
            echo "$page: no word of $option"
            failures=$((failures + 1))
        }
    done
    # Options the page shows in a quarvel-cli command line must exist.
    for option in $(grep -h 'quarvel-cli ' "$root/$page" | grep -o -- ' --[a-z][a-z-]*' | sort -u); do
        grep -qx -- "$option" <<<"$options" || {
            echo "$page: $option is no option of quarvel-cli"
            failures=$((failures + 1))
        }
    done
done
echo "$(wc -w <<<"$options") options checked in README.md and docs/cli.md, $failures missing or unknown"
[ "$failures" -eq 0 ]
