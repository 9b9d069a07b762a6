#!/bin/sh
# From a fresh checkout: installs what the program needs (a C++20 compiler,
# CMake, make), builds ineqbf, runs it on the two-parameter example in the
# folder run/ and shows its report.
set -eu
cd "$(dirname "$0")/.."
sh tools/install-packages.sh g++ cmake make
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target ineqbf
mkdir -p run
cp examples/two-parameters/Input.txt run/
(cd run && ../build/driver/ineqbf)
cat run/Output.txt
