#!/usr/bin/env bash
# Builds everything and runs every test suite; stops at the first red stage.
#   1. the viewer and its tests: unit, shell (scripted backend, offscreen GL),
#      SDL key mapping and backend, the backend contract on the scripted
#      and SDL backends, and end-to-end on real windows under Xvfb;
#   2. the unit and shell tests again under AddressSanitizer (with leak
#      detection) and UndefinedBehaviorSanitizer;
#   3. the fuzzers (BMP decoder, scene-to-mesh conversion, the import worker's
#      reply) and the mutation campaign through the import path, for a bounded time each;
#   4. the Windows build, its tests and its end-to-end suite under Wine;
# between the build (which installs the tools) and the tests, the layout of
# every C++ file is checked against .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

stage() { printf '\n=== %s ===\n' "$*"; }

# Each suite's ctest output is kept, to total the tests at the end, and so
# is every skipped test with the reason it gave.
summary=$(mktemp)
skips=$(mktemp)
trap 'rm -f "$summary" "$skips"' EXIT
run_ctest() { ctest "$@" 2>&1 | tee -a "$summary"; }
# The reason is the line after GoogleTest's "file:line: Skipped" in the log
# of the ctest run just made in build directory $1.
note_skips() {
    awk -v dir="$1" '
        /^[0-9]+\/[0-9]+ Test: / { name = $3 }
        /: Skipped$/ {
            getline reason
            if (reason ~ /^\[  SKIPPED \]/) reason = "no reason given"
            print "  skipped in " dir ": " name ": " reason
        }' "$1/Testing/Temporary/LastTest.log" | tee -a "$skips"
}

stage "build"
make --no-print-directory build

stage "format"
bash scripts/check-format.sh

stage "tests"
run_ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300
note_skips build

stage "sanitizers"
make --no-print-directory build-asan
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900 -LE e2e
note_skips build-asan
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

stage "fuzzing the BMP decoder, the scene-to-mesh conversion, the worker's reply and the import path"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"

stage "Windows build under Wine"
bash scripts/test-win.sh 2>&1 | tee -a "$summary"

stage "all suites passed"
total=$(grep -oE 'tests passed, 0 tests failed out of [0-9]+' "$summary" | awk '{s += $NF} END {print s + 0}')
# ctest counts a skipped test among the passed ones.
skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$summary" || true)
echo "$((total - skipped)) passed, $skipped skipped, 0 failed"
cat "$skips"
