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

# Each suite's ctest run writes a JUnit report; the totals and every skipped
# test with its reason are read from them at the end.
reports=$(mktemp -d)
trap 'rm -rf "$reports"' EXIT
export DUPLEXA_JUNIT_DIR=$reports
run_ctest() { local name=$1; shift; ctest "$@" --output-junit "$reports/$name.xml"; }

stage "build"
make --no-print-directory build

stage "format"
bash scripts/check-format.sh

stage "tests"
run_ctest tests --test-dir build --output-on-failure -j "$jobs" --timeout 300

stage "sanitizers"
make --no-print-directory build-asan
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_ctest sanitizers --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900 -LE e2e
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

stage "fuzzing the BMP decoder, the scene-to-mesh conversion, the worker's reply and the import path"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"

stage "Windows build under Wine"
bash scripts/test-win.sh

stage "all suites passed"
python3 scripts/test_totals.py "$reports"/*.xml
