#!/usr/bin/env bash
# Builds the read-stage fuzz target and runs it.
#
#   fuzz/run.sh [SECONDS] [BUILD_DIR]      (defaults: 60, build-fuzz)
#
# The seed corpus is every Input.txt of examples/ and tests/e2e/cases/ plus
# fuzz/corpus/. New inputs the fuzzer finds go to BUILD_DIR/corpus (kept
# between runs); a crash is written to BUILD_DIR/crash-* and ends the run
# with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${2:-build-fuzz}

if ! command -v clang++-14 >/dev/null && ! command -v clang++ >/dev/null; then
  echo "fuzz/run.sh: clang is needed (apt-get install clang-14 libclang-rt-14-dev)" >&2
  exit 1
fi
cxx=$(command -v clang++-14 || command -v clang++)
cc=$(command -v clang-14 || command -v clang)

CC=$cc CXX=$cxx cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINEQBF_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target fuzz_read

seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds" "$build/corpus"
for f in examples/*/Input.txt tests/e2e/cases/*/Input.txt bench/inputs/*/Input.txt; do
  [ -f "$f" ] || continue
  [ "$(stat -c %s "$f")" -le 8192 ] || continue   # long inputs only slow the fuzzer down
  cp "$f" "$seeds/$(basename "$(dirname "$f")")"
done
cp fuzz/corpus/* "$seeds/" 2>/dev/null || true

# -close_fd_mask=1 silences the program's messages on standard output.
"$build/fuzz/fuzz_read" "$build/corpus" "$seeds" \
  -dict=fuzz/input.dict -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -max_total_time="$seconds" -close_fd_mask=1 -print_final_stats=1 \
  -artifact_prefix="$build/"
