#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Records the SHA-256 digest of the header that quarvel-cli writes for each DBC
# file of the real-world corpus (../shared/corpus/opendbc) into
# tests/data/converter/corpus.sha256, one line per file: the digest and the
# file name, or "refused" and the file name where the conversion writes no
# header (more than 300 messages). tst_converter converts every file of the
# corpus and compares its header with this record.
#
# Run it only when the header's bytes are meant to change, and read the
# differences of the record before committing it:
#
#   scripts/record-corpus-digests.sh [BUILD_DIR]    (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build}/cli/quarvel-cli
corpus=../shared/corpus/opendbc
record=tests/data/converter/corpus.sha256
[ -x "$cli" ] || { echo "record-corpus-digests: build $cli first" >&2; exit 1; }
[ -d "$corpus" ] || { echo "record-corpus-digests: no corpus at $corpus" >&2; exit 1; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
: >"$out/record"
while IFS= read -r file; do
    rm -rf "$out/header"
    if "$cli" "$corpus/$file" "$out/header" >/dev/null 2>"$out/stderr"; then
        digest=$(sha256sum <"$out/header/dbc_2_struct.h")
        echo "${digest%% *}  $file" >>"$out/record"
    elif grep -q 'more than 300' "$out/stderr"; then
        echo "refused  $file" >>"$out/record"
    else
        cat "$out/stderr" >&2
        echo "record-corpus-digests: $file failed to convert" >&2
        exit 1
    fi
done < <(cd "$corpus" && LC_ALL=C ls -- *.dbc)
cp "$out/record" "$record"
echo "$(wc -l <"$record") files recorded in $record"
