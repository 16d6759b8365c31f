#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the frame check of every generated header on one compiler.
# The check proves frames: each signal the header writes must read, from a
# frame's 8 data bytes copied into its struct, the bits the DBC file gives it.
#
#   layout-check.sh generate CLI WORK GOLDEN-DIR... -- CORPUS-DIR
#       converts each DBC file of those folders with CLI --layout-check into
#       WORK/NAME/default (the default form), WORK/NAME/lsb and WORK/NAME/msb
#       (the frame form, --frames with either --bit-order); a file the
#       converter refuses gets none. Golden files' NAME begins with
#       "golden-". CLI may be a command of several words (an emulator).
#       LAYOUT_FORMS may name fewer of the three forms.
#   layout-check.sh KIND WORK [RUNNER...]
#       builds every check in WORK with the compiler of KIND and, unless it
#       only compiles, runs it (through RUNNER: an emulator, Wine). KIND:
#         c, c++      the compiler in $CC / $CXX, which fills bytes from bit 0,
#                     as C99 and as C++11: the lsb-first frame form must pass;
#                     as C without a runner also: the msb-first frame form must
#                     fail wherever a byte holds more than one member, the
#                     default form of gwm_haval_h6_phev_2024.dbc must fail,
#                     naming a signal narrower than a byte; with c also the
#                     planted faults
#         lsb-only    the compiler in $CC, which fills bytes from bit 0: the
#                     lsb-first frame form must pass
#         msb         the compiler in $CC fills bytes from bit 7: the
#                     msb-first frame form must pass, the lsb-first one fail
#                     wherever a byte holds more than one member; the default
#                     form must pass exactly where it lays out no
#                     little-endian signal big-endian
#         compile     $CC without a runner: the lsb-first frame form's check
#                     without its program compiles on its own (a bare-metal
#                     target)
#
# A header that does not compile must give a check that does not compile;
# such files are counted, not run. The summary line gives the numbers.
# Exit status 77 (skipped) when WORK holds no corpus file: only the golden
# headers were checked then.
set -uo pipefail

# The forms converted; under Wine only the lsb-first frame form is run.
read -ra forms <<<"${LAYOUT_FORMS:-default lsb msb}"

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
            for form in "${forms[@]}"; do
                options=(--frames --bit-order "$form-first")
                [ "$form" = default ] && options=()
                if ! $cli --layout-check "${options[@]}" "$dbc" "$work/$name/$form" \
                    >"$work/log" 2>&1; then
                    rm -rf "${work:?}/$name"
                    grep -q 'messages, more than 300' "$work/log" && break
                    cat "$work/log"
                    exit 1
                fi
                # The default form's findings tell whether it lays out a
                # little-endian signal big-endian.
                [ "$form" = default ] && grep -c 'is laid out big-endian' "$work/log" \
                    >"$work/$name/default/big-endian"
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

failures=0 files=0 signals=0 broken=0 corpus=0 converted=0 corpusSignals=0 defaultWrong=0 defaultRight=0
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

# Builds and runs the check in $1, which must pass: it prints how many
# signals it checked.
passes() {
    local out
    out=$(build "$1" 2>&1) || { fail "$1: check does not build: $out"; return; }
    run "$1" || { fail "$1: $(head -n 3 "$1/out-$kind")"; return; }
    grep -q "^$(checked "$1") signals checked, all read right" "$1/out-$kind" ||
        fail "$1: printed $(cat "$1/out-$kind")"
}

# Builds and runs the check in $1, which must fail; its first line must name
# a signal whose member in the header matches $2, a pattern in which SIGNAL
# stands for the name (a member narrower than a byte).
fails_naming() {
    local out signal
    out=$(build "$1" 2>&1) || { fail "$1: check does not build: $out"; return; }
    if run "$1"; then
        fail "$1: passes where it must fail"
        return
    fi
    signal=$(sed -n '1s/^[^.]*\.\([^:]*\): should read .*/\1/p' "$1/out-$kind")
    grep -Eq "unsigned char ${2//SIGNAL/$signal};" "$1/dbc_2_struct.h" ||
        fail "$1: the first signal that reads wrong, '$signal', has no member narrower than a byte"
}

# On a compiler of the other bit order, the check in $1 must fail where a
# byte holds more than one member, and pass elsewhere.
fails_where_bytes_are_shared() {
    if grep -q ':[1-7];' "$1/dbc_2_struct.h"; then
        fails_naming "$1" 'SIGNAL[0-9]*:[1-7]'
    else
        passes "$1"
    fi
}

checked() {
    sed -n 's/^#define DBC_2_STRUCT_CHECK_SIGNALS \([0-9]*\).*/\1/p' "$1/dbc_2_struct_check.c"
}

for dir in "$work"/*/; do
    dir=${dir%/}
    [ -d "$dir" ] || continue
    name=$(basename "$dir")
    [[ $name == golden-* ]] || converted=$((converted + 1))
    # Fine only when a header itself does not compile here; then neither may
    # its check, in any form.
    if ! "${compiler[@]}" -fsyntax-only "$dir/lsb/dbc_2_struct.h" >/dev/null 2>&1; then
        broken=$((broken + 1))
        for form in "$dir"/*/; do
            build "$form" >/dev/null 2>&1 && fail "$name: $(basename "$form") check compiles, its header not"
        done
        continue
    fi
    files=$((files + 1))
    count=$(checked "$dir/lsb")
    signals=$((signals + count))
    [[ $name == golden-* ]] || { corpus=$((corpus + 1)) && corpusSignals=$((corpusSignals + count)); }
    case $kind in
    compile)
        out=$(build "$dir/lsb" 2>&1) || fail "$name: check does not compile: $out"
        ;;
    lsb-only)
        passes "$dir/lsb"
        ;;
    c | c++)
        passes "$dir/lsb"
        # As C++, or under an emulator (Wine), the lsb-first form alone: the
        # native C compilers prove the rest.
        [ "$kind" = c ] && [ ${#runner[@]} -eq 0 ] || continue
        fails_where_bytes_are_shared "$dir/msb"
        # The default form reads right here only where mirroring maps a
        # signal onto itself; it must build and run all the same.
        out=$(build "$dir/default" 2>&1) || fail "$name: default check does not build: $out"
        if run "$dir/default"; then
            defaultRight=$((defaultRight + 1))
        else
            defaultWrong=$((defaultWrong + 1))
        fi
        # All big-endian, right on PowerPC, wrong here.
        [ "$name" = gwm_haval_h6_phev_2024 ] && fails_naming "$dir/default" 'SIGNAL:[1-7]'
        ;;
    msb)
        passes "$dir/msb"
        fails_where_bytes_are_shared "$dir/lsb"
        # Right for every big-endian signal and every one-bit signal here.
        if [ "$(cat "$dir/default/big-endian")" = 0 ]; then
            passes "$dir/default"
            defaultRight=$((defaultRight + 1))
        else
            build "$dir/default" >/dev/null 2>&1 || fail "$name: default check does not build"
            run "$dir/default" && fail "$name: default form passes with little-endian signals"
            defaultWrong=$((defaultWrong + 1))
        fi
        ;;
    esac
done

# Planted faults in the example's frame form: two members of one byte
# swapped, and a width changed. Each check fails, naming that signal.
if [ "$kind" = c ]; then
    example=$work/golden-vehicle/lsb
    for fault in "swapped EngineRunning" "widened StarterActive"; do
        dir=$work/.fault-${fault%% *}-$(basename "${compiler[0]}")
        rm -rf "$dir" && cp -r "$example" "$dir"
        if [ "${fault%% *}" = swapped ]; then
            sed -i '/StarterActive:1;/{h;d};/EngineRunning:1;/G' "$dir/dbc_2_struct.h"
        else
            sed -i 's/StarterActive:1;/StarterActive:2;/' "$dir/dbc_2_struct.h"
        fi
        cmp -s "$dir/dbc_2_struct.h" "$example/dbc_2_struct.h" && fail "$fault: the fault was not planted"
        build "$dir" || fail "$fault: the check does not build"
        run "$dir" && fail "$fault: the check passes"
        grep -q "^EngineData_Type\.${fault#* }: should read" "$dir/out-$kind" ||
            fail "$fault: not named: $(cat "$dir/out-$kind")"
    done
fi

[ "$files" -gt 0 ] || fail "no header compiled"
summary="$kind: $files files ($corpus from the corpus), $signals signals checked ($corpusSignals in the corpus)"
[ "$kind" = compile ] && summary="$kind: $files files' checks compiled ($corpus from the corpus)"
[ "$defaultRight$defaultWrong" != 00 ] &&
    summary+="; default form: passes for $defaultRight files, fails for $defaultWrong"
echo "$summary; $broken files whose header does not compile here, nor its check; $failures failures"
[ "$failures" -eq 0 ] || exit 1
if [ "$converted" -eq 0 ]; then
    echo "no corpus file converted (is the corpus folder absent?): only the golden headers were checked"
    exit 77
fi
