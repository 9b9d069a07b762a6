#!/usr/bin/env bash
# Records the expected results of end-to-end cases: runs ineqbf on each
# case folder's Input.txt (none if the folder has none) in a scratch folder
# and stores Output.txt, console.txt and status beside it.
#
#   tests/e2e/make-golden.sh build/driver/ineqbf examples/* tests/e2e/cases/*
#
# Only record after checking that the program is right: from then on the
# golden files guard every byte.
set -euo pipefail
exe=$(realpath "$1"); shift
for dir in "$@"; do
  scratch=$(mktemp -d)
  [ -f "$dir/Input.txt" ] && cp "$dir/Input.txt" "$scratch/"
  set +e
  (cd "$scratch" && "$exe" > console.out 2>/dev/null)
  status=$?
  set -e
  cp "$scratch/console.out" "$dir/console.txt"
  if [ -s "$scratch/Output.txt" ]; then cp "$scratch/Output.txt" "$dir/Output.txt"; else rm -f "$dir/Output.txt"; fi
  if [ "$status" -ne 0 ]; then echo "$status" > "$dir/status"; else rm -f "$dir/status"; fi
  echo "$dir: status $status"
  rm -rf "$scratch"
done
