#!/usr/bin/env bash
# Cross-builds the Windows program (mingw-w64) and runs its tests under Wine:
# the backend against the real Win32 calls, the portable unit tests that need
# no GL, and the end-to-end suite on the real duplexa.exe. Also makes the zip.
set -euo pipefail
cd "$(dirname "$0")/.."

make --no-print-directory build-win
cmake --build build-win --target package >/dev/null

# The tests that create windows get a virtual screen of their own, never the
# user's desktop (they move the cursor): without a DISPLAY, wine-run.sh
# starts one for each program it runs, and the end-to-end suite its own.
# DUPLEXA_JUNIT_DIR (set by scripts/test.sh): where the JUnit report goes.
junit=()
[ -n "${DUPLEXA_JUNIT_DIR:-}" ] && junit=(--output-junit "$DUPLEXA_JUNIT_DIR/windows.xml")
env -u DISPLAY ctest --test-dir build-win --output-on-failure --timeout 300 "${junit[@]}"
