#!/usr/bin/env bash
# Builds a fuzz target and runs it.
#
#   fuzz/run.sh [SECONDS] [BUILD_DIR] [TARGET]   (defaults: 60, build-fuzz, read)
#
# TARGET read (fuzz_read, the read stage of a run): the seed corpus is every
# Input.txt of examples/ and tests/e2e/cases/ plus fuzz/corpus/, and new
# inputs the fuzzer finds go to BUILD_DIR/corpus.
# TARGET hypothesis (fuzz_hypothesis, hypotheses as text): the seed corpus is
# fuzz/hypothesis-corpus/, and new inputs go to BUILD_DIR/corpus-hypothesis.
# The corpus folders are kept between runs; a crash is written to
# BUILD_DIR/crash-* and ends the run with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${2:-build-fuzz}
target=${3:-read}
case "$target" in
  read | hypothesis) ;;
  *) echo "fuzz/run.sh: unknown target \"$target\" (read or hypothesis)" >&2; exit 2 ;;
esac

if ! command -v clang++-14 >/dev/null && ! command -v clang++ >/dev/null; then
  echo "fuzz/run.sh: clang is needed (apt-get install clang-14 libclang-rt-14-dev)" >&2
  exit 1
fi
cxx=$(command -v clang++-14 || command -v clang++)
cc=$(command -v clang-14 || command -v clang)

CC=$cc CXX=$cxx cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINEQBF_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target "fuzz_$target"

if [ "$target" = hypothesis ]; then
  mkdir -p "$build/corpus-hypothesis"
  "$build/fuzz/fuzz_hypothesis" "$build/corpus-hypothesis" fuzz/hypothesis-corpus \
    -dict=fuzz/hypothesis.dict -max_len=1024 -timeout=10 -rss_limit_mb=2048 \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/"
  exit
fi

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
