#!/bin/sh
# The engine library calls no transcendental function of the C library
# (its results would then depend on the platform); exact ones such as sqrtf,
# fminf or floor are allowed.
#   tests/numlib/no_math_library.sh libineqbf.a
set -eu
pattern='^(__)?(exp|exp2|expm1|log|log2|log10|log1p|pow|erf|erfc|lgamma|tgamma|sin|cos|tan|asin|acos|atan|atan2|sinh|cosh|tanh|cbrt|hypot)[fl]?(_finite)?(@.*)?$'
calls=$(nm -u "$1" | awk 'NF == 2 { print $2 }' | grep -E "$pattern" | sort -u || true)
if [ -n "$calls" ]; then
  echo "$1 calls the C library's:" $calls
  exit 1
fi
echo "$1: no transcendental function of the C library"
