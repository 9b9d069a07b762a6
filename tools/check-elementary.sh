#!/bin/sh
# Builds tools/check-elementary.cpp and compares the program's own expf,
# logf, log10f (all 2^32 floats) and powf (the Beta deviates' ranges and a
# billion random pairs) with glibc's, once on glibc's portable code path
# (its FMA variants switched off) and once on the path the processor picks.
# Takes about half an hour on two cores. Not part of tools/test.sh.
#   tools/check-elementary.sh [exp|log|log10|pow|all] [random pairs]
set -eu
cd "$(dirname "$0")/.."
out=${TMPDIR:-/tmp}/ineqbf-check-elementary
c++ -std=c++20 -O2 -ffp-contract=off -fno-fast-math -Wall -Wextra -I. \
  -o "$out" tools/check-elementary.cpp -lm -pthread
# glibc 2.36 on x86-64 takes its FMA builds of expf, logf and powf only
# when the processor has both AVX2 and FMA; masking them selects the
# portable ones; the probe checks that it did so (a pow pair where the two
# builds differ).
portable="glibc.cpu.hwcaps=-AVX2,-FMA"
status=0
echo "== glibc portable path (GLIBC_TUNABLES=$portable)"
GLIBC_TUNABLES=$portable "$out" probe || { echo "GLIBC_TUNABLES did not select glibc's portable path" >&2; exit 1; }
GLIBC_TUNABLES=$portable "$out" "$@" || status=1
echo "== glibc default path (FMA variants where the processor has FMA)"
"$out" "$@" || true
echo "(only the portable path must agree everywhere)"
exit $status
