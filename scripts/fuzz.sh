#!/usr/bin/env bash
# Fuzzes with libFuzzer for SECONDS each (default 60): the DIB decoder, the
# conversion of an importer's scene into the viewer's mesh and the reader of
# the import worker's reply; then, for as long, mutated model files of every
# format go through the viewer's whole import path (the worker and the
# reply), each of which must end with a picture or a reason.
# Each corpus grows in build-fuzz/<target>/corpus (the DIB one seeded from
# tests/fuzz/seeds); a crash leaves its input in build-fuzz/<target>/artifacts/
# and fails the script.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
out=build-fuzz
mkdir -p "$out"
flags=(-std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -fno-omit-frame-pointer -Wall -Wextra -I.)

# Decoding is pure, so the target links the decoder alone, no platform.
# Pictures are capped at 1 MiB so that no input spends the run allocating.
clang++ "${flags[@]}" '-DDUPLEXA_DIB_MAX_OUTPUT_BYTES=(std::uint64_t(1) << 20)' \
  image/dib_decode.cpp tests/fuzz/dib_fuzzer.cpp -o "$out/dib_fuzzer"
# The conversion is pure too; Assimp only lends it the scene types.
clang++ "${flags[@]}" model/scene_mesh.cpp tests/fuzz/scene_mesh_fuzzer.cpp -lassimp -o "$out/scene_mesh_fuzzer"
# The reply's limits on textures live with the decoder (stb_image, header-only);
# the reader asks the process layer for large pages for a big reply.
clang++ "${flags[@]}" -I/usr/include/stb model/mesh_wire.cpp model/scene_mesh.cpp model/texture_image.cpp \
  platform/process/process_posix.cpp \
  tests/fuzz/reply_fuzzer.cpp -lassimp -o "$out/reply_fuzzer"

# run NAME MAX_LEN SEED_FOLDERS...
run() {
  local name=$1 max_len=$2
  shift 2
  local dir="$out/$name"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  echo "Fuzzing $name for ${seconds} s (corpus: $dir/corpus)"
  local status=0
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$out/${name}_fuzzer" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
    "$dir/corpus" "$@" >"$dir/fuzz.log" 2>&1 || status=$?
  # The last status line carries the coverage; the final stats the executions.
  grep -E $'^#[0-9]+\t+(DONE|pulse|NEW|REDUCE)' "$dir/fuzz.log" | tail -n 1 || true
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb|new_units_added)' "$dir/fuzz.log" || true
  echo "corpus: $(ls "$dir/corpus" | wc -l) files"
  if [ "$status" -ne 0 ]; then
    echo "FUZZER FAILED (exit $status); log: $dir/fuzz.log, inputs: $dir/artifacts/" >&2
    grep -E 'ERROR|runtime error|SUMMARY' "$dir/fuzz.log" | head -n 20 >&2 || true
    exit "$status"
  fi
}

run dib 4096 tests/fuzz/seeds
run scene_mesh 4096
run reply 8192

# The whole import path of the viewer: --render exits with 0 (a picture) or 1
# (one line with the reason); a crash or a hang of the viewer side fails,
# whatever the importer in the worker does.
make --no-print-directory build-viewer >/dev/null
mkdir -p "$out/models"
echo "Mutated model files through the import worker for ${seconds} s (failures kept in $out/models/failing)"
# The watchdog at 5 s, so that a worker that spins is ended well inside the
# 20 s a file may take (a hang of the viewer side would run past them).
DUPLEXA_IMPORT_STALL_SECONDS=5 python3 tests/fuzz/mutate_models.py --count 100000 --max-seconds "$seconds" --seconds-per-file 20 --progress 0 \
  --keep "$out/models/failing" --run "build/duplexa --render $out/models/picture.png --size 16x16 {}"

