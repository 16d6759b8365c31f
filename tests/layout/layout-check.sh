#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the layout check of every generated header on one compiler.
#
#   layout-check.sh generate CLI WORK GOLDEN-DIR... -- CORPUS-DIR
#       converts each DBC file of those folders with CLI --layout-check into
#       WORK/NAME/lsb and, with --bit-order msb-first, WORK/NAME/msb (a file
#       the converter refuses gets neither); golden files' NAME begins with
#       "golden-". CLI may be a command of several words (an emulator).
#   layout-check.sh KIND WORK [RUNNER...]
#       builds every check in WORK with the compiler of KIND and, unless it
#       only compiles, runs it (through RUNNER: an emulator, Wine). KIND:
#         c, c++      the compiler in $CC / $CXX, as C99 and as C++11; both
#                     forms' headers and checks must compile alike, and the
#                     default form's check must pass; with c also the
#                     planted faults
#         lsb-only    the compiler in $CC, which fills bytes from bit 0: the
#                     default form's check must pass
#         msb         the compiler in $CC fills bytes from the top: the
#                     default form's check must fail wherever a byte holds
#                     more than one member, naming such a member, and pass
#                     elsewhere; the msb-first form's check must pass
#         compile     $CC without a runner: the check without its program
#                     compiles on its own (a bare-metal target)
#
# A header that does not compile must give a check that does not compile;
# such files are counted, not run. The summary line gives the numbers.
# Exit status 77 (skipped) when WORK holds no corpus file: only the golden
# headers were checked then.
set -uo pipefail

if [ "$1" = generate ]; then
    cli=$2 work=$3
    shift 3
    rm -rf "$work" && mkdir -p "$work" || exit 1
    prefix=golden-
    for dir in "$@"; do
        [ "$dir" = -- ] && prefix= && continue
        for dbc in "$dir"/*.dbc; do
            [ -f "$dbc" ] || continue
            name=$prefix$(basename "$dbc" .dbc)
            # A file of more than 300 messages is refused; any other failure
            # is one.
            for form in lsb msb; do
                if ! $cli --layout-check --bit-order "$form-first" "$dbc" "$work/$name/$form" \
                    >"$work/log" 2>&1; then
                    rm -rf "${work:?}/$name"
                    grep -q 'messages, more than 300' "$work/log" && break
                    cat "$work/log"
                    exit 1
                fi
            done
        done
    done
    rm -f "$work/log"
    exit 0
fi

kind=$1 work=$2
shift 2
runner=("$@")
flags=(-Wall -Wextra -Werror)
case $kind in
c++) compiler=(${CXX:-c++} -x c++ -std=c++11 "${flags[@]}") ;;
*) compiler=(${CC:-cc} -std=c99 "${flags[@]}") ;;
esac

failures=0 files=0 members=0 broken=0 corpus=0 converted=0 corpusMembers=0 shared=0 wrongLsb=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Builds the check in $1 into $1/check-$kind (or an object), prints the
# compiler's complaints; status 0 when it built.
build() {
    if [ "$kind" = compile ]; then
        "${compiler[@]}" -c "$1/dbc_2_struct_check.c" -o "$1/check-$kind.o"
    else
        "${compiler[@]}" -DDBC_2_STRUCT_CHECK_MAIN "$1/dbc_2_struct_check.c" -o "$1/check-$kind"
    fi
}

# Runs the check built in $1 (a Windows compiler names it .exe); its output
# goes to $1/out-$kind, with Windows line ends as Unix ones. Into a file, not
# a pipe: Wine's own processes would hold a pipe open for seconds.
run() {
    local program=$1/check-$kind status
    [ -f "$program.exe" ] && program+=.exe
    "${runner[@]}" "$program" >"$1/out-$kind" 2>&1
    status=$?
    sed -i 's/\r$//' "$1/out-$kind"
    return $status
}

for dir in "$work"/*/; do
    dir=${dir%/}
    [ -d "$dir" ] || continue
    name=$(basename "$dir")
    [[ $name == golden-* ]] || converted=$((converted + 1))
    if ! out=$(build "$dir/lsb" 2>&1); then
        # Fine only when the header itself does not compile here; then neither
        # may the msb-first form's check.
        if "${compiler[@]}" -fsyntax-only "$dir/lsb/dbc_2_struct.h" >/dev/null 2>&1; then
            fail "$name: check does not build: $out"
        else
            broken=$((broken + 1))
            build "$dir/msb" >/dev/null 2>&1 && fail "$name: msb-first check compiles, its header not"
        fi
        continue
    fi
    files=$((files + 1))
    [[ $name == golden-* ]] || corpus=$((corpus + 1))
    # The same check against the msb-first header: built where it runs, only
    # compiled by the C compiler that runs the other form.
    if [ "$kind" = msb ]; then
        out=$(build "$dir/msb" 2>&1) || fail "$name: msb-first check does not build: $out"
    elif [ "$kind" = c ]; then
        out=$("${compiler[@]}" -fsyntax-only "$dir/msb/dbc_2_struct_check.c" 2>&1) ||
            fail "$name: msb-first check does not compile: $out"
    fi
    [ "$kind" = compile ] && continue
    count=$(sed -n 's/^#define DBC_2_STRUCT_CHECK_MEMBERS \([0-9]*\).*/\1/p' "$dir/lsb/dbc_2_struct_check.c")
    members=$((members + count))
    [[ $name == golden-* ]] || corpusMembers=$((corpusMembers + count))
    if [ "$kind" = msb ]; then
        run "$dir/msb" || fail "$name: msb-first form: $(head -n 3 "$dir/msb/out-$kind")"
        # A byte holds more than one member wherever a member is narrower than 8 bits.
        if grep -q ':[1-7];' "$dir/lsb/dbc_2_struct.h"; then
            shared=$((shared + 1))
            if run "$dir/lsb"; then
                fail "$name: default form passes on a compiler that fills bytes from the top"
            else
                wrong=$(sed -n 's/^\([0-9]*\) of [0-9]* members out of place$/\1/p' "$dir/lsb/out-$kind")
                wrongLsb=$((wrongLsb + ${wrong:-0}))
                member=$(sed -n '1s/^[^.]*\.\([^:]*\): should occupy .*/\1/p' "$dir/lsb/out-$kind")
                grep -q "unsigned char $member:[1-7];" "$dir/lsb/dbc_2_struct.h" ||
                    fail "$name: the first member out of place, '$member', shares no byte"
            fi
        else
            run "$dir/lsb" || fail "$name: default form: $(head -n 3 "$dir/lsb/out-$kind")"
        fi
    else
        run "$dir/lsb" || fail "$name: $(head -n 3 "$dir/lsb/out-$kind")"
        grep -qx "$count members checked, all in place" "$dir/lsb/out-$kind" ||
            fail "$name: printed $(cat "$dir/lsb/out-$kind")"
    fi
done

# Planted faults in the example's header: two members of one byte swapped,
# and a width changed. Each check fails, naming that member.
if [ "$kind" = c ]; then
    example=$work/golden-vehicle/lsb
    for fault in "swapped EngineRunning" "widened StarterActive"; do
        dir=$work/.fault-${fault%% *}-$(basename "${compiler[0]}")
        rm -rf "$dir" && cp -r "$example" "$dir"
        if [ "${fault%% *}" = swapped ]; then
            sed -i '/EngineRunning:1;/{h;d};/StarterActive:1;/G' "$dir/dbc_2_struct.h"
        else
            sed -i 's/StarterActive:1;/StarterActive:2;/' "$dir/dbc_2_struct.h"
        fi
        cmp -s "$dir/dbc_2_struct.h" "$example/dbc_2_struct.h" && fail "$fault: the fault was not planted"
        build "$dir" || fail "$fault: the check does not build"
        run "$dir" && fail "$fault: the check passes"
        grep -q "^EngineData_Type\.${fault#* }: should occupy" "$dir/out-$kind" ||
            fail "$fault: not named: $(cat "$dir/out-$kind")"
    done
fi

[ "$files" -gt 0 ] || fail "no header compiled"
summary="$kind: $files files ($corpus from the corpus), $members members checked ($corpusMembers in the corpus)"
[ "$kind" = compile ] && summary="$kind: $files files' checks compiled ($corpus from the corpus)"
[ "$kind" = msb ] && summary+="; default form: $wrongLsb members out of place in the $shared files with a shared byte"
echo "$summary; $broken files whose header does not compile here, nor its check; $failures failures"
[ "$failures" -eq 0 ] || exit 1
if [ "$converted" -eq 0 ]; then
    echo "no corpus file converted (is the corpus folder absent?): only the golden headers were checked"
    exit 77
fi
