#!/bin/sh
# From a fresh checkout: installs what the tests need and runs every test of
# the project: the C++ suite (unit, end-to-end, command line, install), the
# WebAssembly build's (golden cases under node, the page in a browser), the
# R package's and the Python package's. Exit status 0 only when all pass;
# the last line says how many tests were skipped, and the logs say which.
set -eu
cd "$(dirname "$0")/.."
start=$(date +%s)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
step() { echo; echo "== $1 ($(( $(date +%s) - start )) s so far)"; }
# Runs a step with its output also kept in $logs/$1; fails when it fails.
logged() {
  name=$1
  shift
  { "$@" 2>&1 && echo 0 >"$logs/$name.rc" || echo $? >"$logs/$name.rc"; } | tee "$logs/$name"
  return "$(cat "$logs/$name.rc")"
}

step "C++: packages, build, tests"
sh tools/install-packages.sh g++ cmake make libgtest-dev libgmock-dev python3
rm -rf build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DINEQBF_TESTS=ON >/dev/null
cmake --build build -j2
logged ctest ctest --test-dir build --output-on-failure -j2

# The WebAssembly side (web/): the program and the page's module built with
# Debian's emscripten, every golden case through the program under node,
# byte for byte, and the page in headless Chromium. INEQBF_SKIP_WEB=1 leaves
# it out.
if [ "${INEQBF_SKIP_WEB:-0}" != 1 ]; then
  step "WebAssembly: build, golden cases under node, the page in Chromium"
  sh tools/install-packages.sh chromium
  sh web/build.sh
  node web/test/golden.mjs
  python3 web/test/browser.py --screenshot build-wasm/page.png
fi

step "C++: golden cases on 64-bit ARM (qemu) and on x86 without glibc's FMA variants"
sh tools/install-packages.sh g++-aarch64-linux-gnu qemu-user
rm -rf build-aarch64
sh tools/cross-test.sh aarch64 x86-portable

if [ -f r/test.sh ]; then
  step "R package"
  logged r bash r/test.sh --check
fi
if [ -f python/test.sh ]; then
  step "Python package"
  # No bytecode caches left in the checkout.
  logged python env PYTHONDONTWRITEBYTECODE=1 bash python/test.sh
fi

# Skipped tests: ctest's "***Skipped", testthat's "SKIP n", pytest's "n skipped".
cxx=$(grep -c '\*\*\*Skipped' "$logs/ctest" || true)
r=0
[ -f "$logs/r" ] && r=$(sed -n 's/.*SKIP \([0-9][0-9]*\).*/\1/p' "$logs/r" | tail -1)
py=0
[ -f "$logs/python" ] && py=$(sed -n 's/.* \([0-9][0-9]*\) skipped.*/\1/p' "$logs/python" | tail -1)
skipped=$(( ${cxx:-0} + ${r:-0} + ${py:-0} ))
if [ "$skipped" -eq 0 ]; then
  step "all tests passed, none skipped"
else
  step "all tests that ran passed; $skipped skipped (C++ ${cxx:-0}, R ${r:-0}, Python ${py:-0}: see their lines above)"
fi
