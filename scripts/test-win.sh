#!/usr/bin/env bash
# Cross-builds the Windows program (mingw-w64) and runs its tests under Wine:
# the backend against the real Win32 calls, the portable unit tests that need
# no GL, and the end-to-end suite on the real duplexa.exe. Also makes the zip.
set -euo pipefail
cd "$(dirname "$0")/.."

make --no-print-directory build-win
cmake --build build-win --target package >/dev/null

# The tests that create windows get a virtual screen of their own, never the
# user's desktop (they move the cursor). The end-to-end suite starts its own.
display_fifo=$(mktemp -u)
mkfifo "$display_fifo"
Xvfb -displayfd 3 -screen 0 800x600x16 -nolisten tcp 3>"$display_fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r display_number <"$display_fifo"
rm -f "$display_fifo"
export DISPLAY=":$display_number"
export DUPLEXA_WINEPREFIX="$PWD/build-win/wineprefix"
cleanup() {
    WINEPREFIX=$DUPLEXA_WINEPREFIX wineserver -k 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

ctest --test-dir build-win --output-on-failure --timeout 300
