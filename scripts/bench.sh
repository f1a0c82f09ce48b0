#!/usr/bin/env bash
# Builds the benchmarks (build-bench, Release) and prints every figure beside
# its baseline, measured side by side in this one run, under a private Xvfb.
#   scripts/bench.sh [SECONDS_PER_LOOP_RUN]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build build-bench -j "$(nproc)" --target viewer_bench bare_sdl render_bench loader_bench model_bench duplexa bare_offscreen >/dev/null
python3 bench/run_bench.py build-bench --seconds "${1:-3}"
