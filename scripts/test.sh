#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds Quarvel (installing what is missing) and runs every test: the Qt Test
# suite in the normal build with the layout checks on several compilers, Debian's checks of the two packages and of the
# desktop metadata, the same suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer (leaks included) without the SSE2 steps, the
# engine's tests sanitized alike with them, a bounded libFuzzer run, the
# suite once more built with Qt 6, and the Windows build: cross-built with
# MinGW-w64, its suite run under Wine, its ZIP and installer made and tried
# (scripts/build-windows.sh; the first run builds Qt for MinGW, about 15
# minutes).
#
#   QUARVEL_FUZZ_SECONDS  length of the fuzz run (default 60 in CI, 20 otherwise)
#   QUARVEL_QUICK=1       only the normal build's suite
set -euo pipefail
cd "$(dirname "$0")/.."
# clang for the fuzz target and the layout checks; lintian, appstreamcli and
# desktop-file-validate check the packages and the desktop metadata; the
# cross compilers (32-bit ARM and PowerPC with their C libraries, a bare-metal
# Cortex-M with newlib) and qemu-user build and run the layout checks.
./scripts/setup.sh clang libclang-rt-14-dev lintian appstream desktop-file-utils \
    gcc-arm-linux-gnueabihf libc6-dev-armhf-cross gcc-powerpc-linux-gnu libc6-dev-powerpc-cross \
    qemu-user gcc-arm-none-eabi libnewlib-arm-none-eabi

jobs=$(nproc 2>/dev/null || echo 2)
cmake --build build -j"$jobs"

echo "== Test suite"
ctest --test-dir build --output-on-failure -j"$jobs"

if [ "${QUARVEL_QUICK:-0}" = 1 ]; then
    suite=$(ctest --test-dir build -N | sed -n 's/^Total Tests: //p')
    echo "$suite passed, 0 failed"
    exit 0
fi

echo "== Packages: lintian, AppStream metadata, desktop entry"
rm -f build/quarvel*.deb
(cd build && cpack -G DEB >cpack.log 2>&1) || { cat build/cpack.log >&2; exit 1; }
lintian --fail-on error,warning build/quarvel_*.deb build/quarvel-dev_*.deb
appstreamcli validate --no-net build/packaging/org.example.quarvel.metainfo.xml
desktop-file-validate app/quarvel.desktop

echo "== Test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
# Built without the reader's SSE2 steps (-U__SSE2__), so that the portable
# code, which builds for other processors take, is tested and sanitized too;
# every other build here runs the SSE2 steps.
[ -f build-asan/CMakeCache.txt ] ||
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUARVEL_SANITIZE=ON -DQUARVEL_BUILD_BENCH=OFF \
        -DCMAKE_CXX_FLAGS=-U__SSE2__ >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== The engine's tests again, sanitized, through its SSE2 steps"
# The SSE2 steps are what x86 builds run; a fault in them that no output
# shows (reading past a name, say) is caught here.
engine=(tst_reader tst_converter tst_packing tst_cli)
engine_tests="^($(IFS='|'; echo "${engine[*]}"))\$"
[ -f build-asan-sse2/CMakeCache.txt ] ||
    cmake -S . -B build-asan-sse2 -DCMAKE_BUILD_TYPE=Debug -DQUARVEL_SANITIZE=ON \
        -DQUARVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan-sse2 -j"$jobs" --target "${engine[@]}" quarvel-cli
ctest --test-dir build-asan-sse2 --output-on-failure -j"$jobs" -R "$engine_tests"

echo "== Fuzzing the engine"
[ -f build-fuzz/CMakeCache.txt ] ||
    cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
        -DCMAKE_CXX_COMPILER=clang++ -DQUARVEL_BUILD_FUZZ=ON -DQUARVEL_BUILD_TESTS=OFF \
        -DQUARVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzz_dbc
seconds=${QUARVEL_FUZZ_SECONDS:-$([ -n "${CI:-}" ] && echo 60 || echo 20)}
# Findings: a crash or sanitizer report, an input that takes more than 5 s, or
# more than 2 GB of memory. Inputs of any length up to 64 KB from the start:
# long lines reach more of the reader. New inputs are kept in
# build-fuzz/corpus, failing ones in build-fuzz/artifacts.
mkdir -p build-fuzz/corpus build-fuzz/artifacts
build-fuzz/fuzz/fuzz_dbc -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
    -max_len=65536 -len_control=0 -dict=fuzz/dbc.dict -artifact_prefix=build-fuzz/artifacts/ \
    -print_final_stats=1 build-fuzz/corpus tests/data examples

echo "== Test suite built with Qt 6"
[ -f build-qt6/CMakeCache.txt ] ||
    cmake -S . -B build-qt6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARVEL_QT_MAJOR=6 \
        -DQUARVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build-qt6 -j"$jobs"
ctest --test-dir build-qt6 --output-on-failure -j"$jobs"

echo "== Windows: cross-built with MinGW-w64, tested under Wine, packed"
./scripts/build-windows.sh

# Every stage above stops the script on a failure, so reaching here means all
# of them passed: the four suites' tests, the package checks and the fuzz run.
suite=$(ctest --test-dir build -N | sed -n 's/^Total Tests: //p')
sanitized=$(ctest --test-dir build-asan -N | sed -n 's/^Total Tests: //p')
sanitized=$((sanitized + $(ctest --test-dir build-asan-sse2 -N -R "$engine_tests" | sed -n 's/^Total Tests: //p')))
qt6=$(ctest --test-dir build-qt6 -N | sed -n 's/^Total Tests: //p')
windows=$(ctest --test-dir build-windows -N | sed -n 's/^Total Tests: //p')
echo "== Summary: $suite tests, the package checks, $sanitized sanitized tests, the fuzz run," \
    "$qt6 tests with Qt 6, $windows Windows tests under Wine and the Windows package checks"
echo "$((suite + 1 + sanitized + 1 + qt6 + windows + 1)) passed, 0 failed"
