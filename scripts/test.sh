#!/usr/bin/env bash
# Builds everything and runs every test suite. Stops at the first red stage.
set -euo pipefail
cd "$(dirname "$0")/.."

make --no-print-directory build
ctest --test-dir build --output-on-failure -j 2 --timeout 300
