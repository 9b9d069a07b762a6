#!/bin/bash
# Builds the Python package and runs its tests:
#
#   python/test.sh [--build DIR] [PYTEST ARGS...]
#
# from the repository root (or anywhere: it finds the root itself). Installs
# the Debian packages it needs when they are missing (apt-get, as root),
# configures and builds with -DINEQBF_PYTHON=ON in DIR (default
# build-python), then runs pytest on python/tests with Debian's python3.
# Exits non-zero when anything fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=build-python
if [[ ${1:-} == --build ]]; then
  build=$2
  shift 2
fi
[[ $build == /* ]] || build=$root/$build

packages=(cmake make g++ python3 python3-dev pybind11-dev python3-numpy python3-pandas python3-pytest
          python3-dask python3-distributed python3-statsmodels python3-matplotlib)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) != 0 ]]; then
    echo "python/test.sh: missing Debian packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "python/test.sh: installing ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build" -DINEQBF_PYTHON=ON -DINEQBF_TESTS=OFF -DPython_EXECUTABLE=/usr/bin/python3
cmake --build "$build" -j2 --target ineqbf_python

cd "$root"
# No __pycache__ left in the checkout.
PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$build/python${PYTHONPATH:+:$PYTHONPATH}" /usr/bin/python3 -m pytest -p no:cacheprovider python/tests "$@"
