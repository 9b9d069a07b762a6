#!/bin/sh
# Runs every golden case (examples/, tests/e2e/cases/, bench/inputs/) on
# other processors and C libraries and compares console, Output.txt and exit
# status byte for byte with the recorded ones:
#   aarch64       built with Debian's g++-aarch64-linux-gnu (build-aarch64/)
#                 and run under qemu-user
#   x86-portable  the native program (build/driver/ineqbf) with glibc's FMA
#                 and AVX2 variants switched off (GLIBC_TUNABLES)
# Under emulation the cases listed in $long below take over a minute each
# (bench/inputs/deep about ten) and run only with --all.
#   tools/cross-test.sh [--all] [aarch64] [x86-portable]
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
all=0
targets=""
for a in "$@"; do
  case $a in
    --all) all=1 ;;
    aarch64 | x86-portable) targets="$targets $a" ;;
    *) echo "usage: tools/cross-test.sh [--all] [aarch64] [x86-portable]" >&2; exit 2 ;;
  esac
done
[ -n "$targets" ] || targets="aarch64 x86-portable"
long="bench/inputs/deep"

# run_cases NAME COMMAND...: every golden case, COMMAND run in a scratch
# folder holding the case's Input.txt.
run_cases() {
  name=$1; shift
  failed=0; ran=0; start=$(date +%s)
  scratch=$(mktemp -d)
  for dir in examples/*/ tests/e2e/cases/*/ bench/inputs/*/; do
    dir=${dir%/}
    [ -f "$dir/console.txt" ] || continue
    case " $skip " in *" $dir "*) continue ;; esac
    rm -rf "$scratch/run" && mkdir "$scratch/run"
    [ -f "$dir/Input.txt" ] && cp "$dir/Input.txt" "$scratch/run/"
    status=0
    (cd "$scratch/run" && "$@" > console.out 2>/dev/null) || status=$?
    expected=0; [ -f "$dir/status" ] && expected=$(cat "$dir/status")
    [ -f "$dir/Output.txt" ] && cp "$dir/Output.txt" "$scratch/expected" || : > "$scratch/expected"
    ran=$((ran + 1))
    if [ "$status" != "$expected" ] || ! cmp -s "$scratch/run/console.out" "$dir/console.txt" ||
       ! cmp -s "$scratch/run/Output.txt" "$scratch/expected"; then
      echo "$name: $dir differs (status $status, expected $expected)"
      failed=$((failed + 1))
    fi
  done
  rm -rf "$scratch"
  echo "$name: $ran golden cases, $failed differ ($(( $(date +%s) - start )) s)"
  [ $failed = 0 ]
}

ok=0
for t in $targets; do
  case $t in
    aarch64)
      if [ ! -f build-aarch64/CMakeCache.txt ]; then
        cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
          -DCMAKE_BUILD_TYPE=Release -DINEQBF_TESTS=OFF > /dev/null
      fi
      cmake --build build-aarch64 --target ineqbf -j2 > /dev/null
      skip=$long; [ $all = 1 ] && skip=""
      run_cases aarch64 qemu-aarch64 -L /usr/aarch64-linux-gnu "$root/build-aarch64/driver/ineqbf" || ok=1
      ;;
    x86-portable)
      [ -x build/driver/ineqbf ] || { echo "build/driver/ineqbf is missing: build it first" >&2; exit 2; }
      # GLIBC_TUNABLES takes effect for the C library the program loads; the
      # chains' own instruction set is forced to the portable one as well.
      skip=""
      run_cases x86-portable env GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA INEQBF_ISA=portable \
        "$root/build/driver/ineqbf" || ok=1
      ;;
  esac
done
exit $ok
