#!/bin/sh
# From a fresh checkout: installs what the tests need and runs every test of
# the project: the C++ suite (unit, end-to-end, command line, install), the
# R package's and the Python package's. Exit status 0 only when all pass.
set -eu
cd "$(dirname "$0")/.."
start=$(date +%s)
step() { echo; echo "== $1 ($(( $(date +%s) - start )) s so far)"; }

step "C++: packages, build, tests"
sh tools/install-packages.sh g++ cmake make libgtest-dev libgmock-dev python3
rm -rf build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DINEQBF_TESTS=ON >/dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2

step "C++: golden cases on 64-bit ARM (qemu) and on x86 without glibc's FMA variants"
sh tools/install-packages.sh g++-aarch64-linux-gnu qemu-user
rm -rf build-aarch64
sh tools/cross-test.sh aarch64 x86-portable

if [ -f r/test.sh ]; then
  step "R package"
  bash r/test.sh --check
fi
if [ -f python/test.sh ]; then
  step "Python package"
  bash python/test.sh
fi
step "all tests passed"
