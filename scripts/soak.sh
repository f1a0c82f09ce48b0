#!/usr/bin/env bash
# The soak test for longer: random input, F1 switches and memory checks on a
# real window under Xvfb for the given number of seconds (default 600).
#   scripts/soak.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-600}"
make --no-print-directory build
DUPLEXA_SOAK_SECONDS="$seconds" python3 tests/e2e/test_soak.py "${BUILD:-build}/duplexa"
