#!/bin/sh
# From a fresh checkout: installs what the tests need and runs every test of
# the project: the C++ suite (unit, end-to-end, command line, install), the
# WebAssembly build's (golden cases under node, the page in a browser), the
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

if [ -f r/test.sh ]; then
  step "R package"
  bash r/test.sh --check
fi
if [ -f python/test.sh ]; then
  step "Python package"
  bash python/test.sh
fi
step "all tests passed"
