// The body of RGNINV (random.h), inline so that a caller's inner loop can
// have it compiled into it.
//
// Rounding: every named quantity is a float; each assignment evaluates its
// right-hand side in double and rounds once when it is stored.
#pragma once

#include <cmath>

#include "numlib/elementary.h"
#include "numlib/errors.h"
#include "numlib/precision.h"

namespace numlib::kernels {

// Largest relative spacing, AMACH(4).
inline constexpr float kRgninvEps = amach_constant(4);

// Tail formula for one coefficient set in the variable z: numerator and
// denominator are stored, then x := s + s*(g + N/D).
struct TailSet {
  float a, b, c, d, e, f, g;
};

inline constexpr TailSet kSetA = {0.0507397503f, -0.236820102f, -7.58610296f, -0.131477401f,
                                  21.9854603f,   -44.2797699f,  -0.114666604f};
inline constexpr TailSet kSetB = {0.0620896295f, -0.316650093f, -2.96288300f, 0.393702090f,
                                  4.66626310f,   -6.26678610f,  -0.0566842183f};
inline constexpr TailSet kSetC = {0.0107863899f, -0.149838403f, -0.0688830093f, -0.00202815211f,
                                  0.521173298f,  0.0995297506f, 0.000185115903f};

inline float rgninv_tail(const TailSet& k, float s, float z) {
  const double zd = z;
  const float n = rounded(((k.a * zd + k.b) * zd + k.d) * zd);
  const float d = rounded(((zd + k.c) * zd + k.e) * zd + k.f);
  return rounded(s + wide(s) * (k.g + wide(n) / d));
}

// The central rational approximation, for |2u - 1| <= 0.85.
inline constexpr float kP0 = -0.113773003f;
inline constexpr float kP1 = -0.575170279f;
inline constexpr float kQ1 = -3.29347396f;
inline constexpr float kR2C = -1.89651299f;
inline constexpr float kQ2 = -2.37499595f;
inline constexpr float kR3C = -0.0549626090f;
inline constexpr float kQ3 = -1.18751502f;

inline constexpr float kSqrt2 = 1.41421354f;

inline float rgninv(float u) {
  const float e = kRgninvEps;
  const double ud = u;
  float x;
  // The extreme test compares U with the unrounded 1 - 3e (in double); the
  // float 1 - 3e would select the same deviates.
  if (u <= e || ud >= 1.0 - 3.0 * wide(e)) {
    const float q = u < 0.5f ? rounded(2.0 * ud) : rounded(2.0 * (1.0 - ud));
    // 2q - q^2 = 1 - (1 - q)^2 without cancellation.
    const float arg = rounded(2.0 * q - wide(q) * q);
    const float s = std::sqrt(-numlib::logf(arg));
    const float z = rounded(1.0 / s);
    x = rgninv_tail(kSetC, s, z);
  } else {
    const float y = rounded(std::fabs(1.0 - 2.0 * ud));
    if (y <= 0.85f) {
      const float w = rounded(wide(y) * y);
      const double wd = w;
      // One store; the sums in the continued fraction go left to right,
      // (w + q1) + r2c/(...).
      x = rounded(
          y + wide(y) *
                  (kP0 + kP1 * wd / (wd + kQ1 + kR2C / (wd + kQ2 + kR3C / (wd + kQ3)))));
    } else {
      // -ln(1 - y^2) formed as -ln((1 - y) + y(1 - y)).
      const double omy = 1.0 - wide(y);
      const float arg = rounded(omy + wide(y) * omy);
      const float s = std::sqrt(-numlib::logf(arg));
      if (s < 2.5f) {
        x = rgninv_tail(kSetA, s, s);
      } else if (s < 4.0f) {
        x = rgninv_tail(kSetB, s, s);
      } else {
        const float z = rounded(1.0 / s);
        x = rgninv_tail(kSetC, s, z);
      }
    }
  }
  return u < 0.5f ? rounded(-wide(kSqrt2) * x) : rounded(wide(kSqrt2) * x);
}

}  // namespace numlib::kernels
