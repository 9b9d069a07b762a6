// Constraint rows and the bounds they set on one parameter: shared by the
// starting-point sweep and both samplers.
#pragma once

#include <cstdint>
#include <limits>

#include "driver/array.h"
#include "numlib/precision.h"

namespace driver {

// Slack of row m at a point of extent NPAR+1 whose last element is -1:
// sum over j = 1..n1 of R(m,j) * point(j), each term formed in double, each
// partial sum rounded to float. Row m holds when the slack is > 0.
inline float row_slack(const Array2<float>& R, int64_t m, const Array1<float>& point, int64_t n1) {
  float S = 0.0f;
  for (int64_t j = 1; j <= n1; ++j) S = numlib::rounded(numlib::wide(S) + numlib::wide(R(m, j)) * numlib::wide(point(j)));
  return S;
}

// The value of the parameter at which the row is exactly met when the other
// parameters keep their values: (r * x - S) / r, evaluated as written and
// rounded once.
inline float bound_from_row(float r, float x, float S) {
  using numlib::wide;
  return numlib::rounded((wide(r) * wide(x) - wide(S)) / wide(r));
}

// Largest of v(1..n): starts at minus infinity and takes an element only if
// it is strictly greater, so a NaN is never taken.
inline float largest(const Array1<float>& v, int64_t n) {
  float best = -std::numeric_limits<float>::infinity();
  for (int64_t j = 1; j <= n; ++j)
    if (v(j) > best) best = v(j);
  return best;
}

// Smallest of v(1..n), by the mirror rule.
inline float smallest(const Array1<float>& v, int64_t n) {
  float best = std::numeric_limits<float>::infinity();
  for (int64_t j = 1; j <= n; ++j)
    if (v(j) < best) best = v(j);
  return best;
}

}  // namespace driver
