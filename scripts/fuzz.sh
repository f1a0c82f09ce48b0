#!/usr/bin/env bash
# Fuzzes the DIB decoder with libFuzzer for SECONDS (default 60).
# The corpus grows in build-fuzz/corpus, seeded from tests/fuzz/seeds; a
# crash leaves its input in build-fuzz/artifacts/ and fails the script.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
out=build-fuzz
mkdir -p "$out/corpus" "$out/artifacts"

# Decoding is pure, so the target links the decoder alone, no platform.
# Pictures are capped at 1 MiB so that no input spends the run allocating.
clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -fno-omit-frame-pointer -Wall -Wextra -I. \
  '-DDUPLEXA_DIB_MAX_OUTPUT_BYTES=(std::uint64_t(1) << 20)' \
  image/dib_decode.cpp tests/fuzz/dib_fuzzer.cpp -o "$out/dib_fuzzer"

echo "Fuzzing the DIB decoder for ${seconds} s (corpus: $out/corpus)"
status=0
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$out/dib_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$out/artifacts/" \
  "$out/corpus" tests/fuzz/seeds >"$out/fuzz.log" 2>&1 || status=$?

# The last status line carries the coverage; the final stats the executions.
grep -E $'^#[0-9]+\t+(DONE|pulse|NEW|REDUCE)' "$out/fuzz.log" | tail -n 1 || true
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb|new_units_added)' "$out/fuzz.log" || true
echo "corpus: $(ls "$out/corpus" | wc -l) files"
if [ "$status" -ne 0 ]; then
  echo "FUZZER FAILED (exit $status); log: $out/fuzz.log, inputs: $out/artifacts/" >&2
  grep -E 'ERROR|runtime error|SUMMARY' "$out/fuzz.log" | head -n 20 >&2 || true
  exit "$status"
fi
