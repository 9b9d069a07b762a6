#!/bin/sh
# From a fresh checkout: installs what the program needs (a C++20 compiler,
# CMake, make), builds ineqbf and its library, installs them under
# /usr/local (the program on PATH; PREFIX=... for another place), runs the
# program on the two-parameter example in the folder run/ and shows its
# report.
set -eu
cd "$(dirname "$0")/.."
prefix=${PREFIX:-/usr/local}
sh tools/install-packages.sh g++ cmake make
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build build -j2 --target ineqbf ineqbf_library
cmake --install build >/dev/null
echo "installed $prefix/bin/ineqbf"
mkdir -p run
cp examples/two-parameters/Input.txt run/
(cd run && "$prefix/bin/ineqbf")
cat run/Output.txt
