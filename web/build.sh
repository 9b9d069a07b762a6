#!/bin/sh
# Builds the WebAssembly side into web/dist/: the page (index.html and its
# files), its module (ineqbf_web.js and .wasm, run in a Web Worker), and
# cli/ineqbf.js, the program for node:
#   cd folder-with-Input.txt && node /path/to/web/dist/cli/ineqbf.js
# Installs Debian's emscripten (and node) first when they are missing.
# The build folder is build-wasm (WASM_BUILD overrides it).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${WASM_BUILD:-build-wasm}
sh tools/install-packages.sh emscripten
command -v node >/dev/null 2>&1 || sh tools/install-packages.sh nodejs
# Emscripten's tools load Debian's node modules (acorn), which a node from
# elsewhere does not look for.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"

# Emscripten's toolchain calls every target an x86 processor unless told:
# the x86-only options of the native build must stay out.
emcmake cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DINEQBF_TESTS=OFF \
  -DEMSCRIPTEN_SYSTEM_PROCESSOR=wasm32 \
  -DCMAKE_CXX_FLAGS="-fexceptions -include $root/web/compat.h" >/dev/null
cmake --build "$build" --target ineqbf ineqbf_web -j2

dist=web/dist
rm -rf "$dist"
mkdir -p "$dist/cli"
cp "$build/driver/ineqbf.js" "$build/driver/ineqbf.wasm" "$dist/cli/"
cp "$build/web/ineqbf_web.js" "$build/web/ineqbf_web.wasm" "$dist/"
cp web/page/* "$dist/"
echo "built $dist: $(ls "$dist" | tr '\n' ' ')"
