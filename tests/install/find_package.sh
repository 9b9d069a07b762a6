#!/usr/bin/env bash
# Installs the build into a scratch prefix, builds the example program of
# examples/api as a separate project with find_package(ineqbf), and checks
# that it gives the program's report on an example, and a comparison of
# hypotheses.
#   find_package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
scratch=$(mktemp -d /tmp/ineqbf-install.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
test -f "$scratch/prefix/include/ineqbf/ineqbf.h"
test -x "$scratch/prefix/bin/ineqbf"
# The imported target carries the installed include folder.
grep -q 'INTERFACE_INCLUDE_DIRECTORIES "${_IMPORT_PREFIX}/include"' \
  "$scratch/prefix/lib/cmake/ineqbf/ineqbfTargets.cmake"
cmake -S "$source/examples/api" -B "$scratch/example" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/example" >/dev/null

"$scratch/example/ineqbf_example" "$source/examples/two-parameters" > "$scratch/report.txt"
cmp "$scratch/report.txt" "$source/examples/two-parameters/Output.txt"

"$scratch/example/ineqbf_example" "$source/examples/order4" \
  "theta1 > theta2 > theta3 > theta4; theta1 > theta4" > "$scratch/table.txt"
grep -q '^unconstrained' "$scratch/table.txt"
test "$(wc -l < "$scratch/table.txt")" -eq 4

# A bad problem is an error value with the program's message and status.
mkdir "$scratch/empty"
set +e
"$scratch/example/ineqbf_example" "$scratch/empty" 2> "$scratch/error.txt"
status=$?
set -e
test "$status" -eq 1
grep -q 'file not found, unit 10, file Input.txt' "$scratch/error.txt"
echo "installed, found and used"
