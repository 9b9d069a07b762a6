// Deviates that do not wait for one another, made several at a time in the
// lanes of a vector: the inverse normal RGNINV and ANORIN's central series.
//
// Each lane does exactly the IEEE operations of the scalar routine, in the
// same order: conversions float -> double (exact) and double -> float (one
// rounding to nearest), additions, multiplications and divisions in double.
// No approximate reciprocal, no flush to zero, no contraction (the build
// has -ffp-contract=off), so a lane gives the scalar routine's bits whatever
// the instruction set the vectors are compiled for. A lane whose argument
// takes another path (a tail of RGNINV, ANORIN's Newton iteration) is left
// to the scalar routine.
#pragma once

#include <cstdint>

#include "numlib/normal.h"
#include "numlib/normal_kernels.h"
#include "numlib/random_kernels.h"

// Why these are copies of the scalar routines' arithmetic and not the
// routines themselves: a lane cannot branch, so every path is computed and
// the lanes that leave the central one are sent back to the scalar routine;
// the vector types would not fit the scalar routines' float interfaces, and
// making those generic would put vector selects on the paths every other
// caller takes. The coefficients and constants are the scalar routines' own
// (normal_kernels.h, random_kernels.h); tests/numlib/lanes_test.cpp ties
// every lane to the scalar routine, bit for bit, as the program compiles it.
//
// Every function here is always inlined, into whatever calls it: a vector
// is never handed to a function compiled for another instruction set (whose
// calling convention for it differs), however the caller is compiled. So
// GCC's note that such a hand-over would change the calling convention
// (-Wpsabi) cannot apply: it is silenced here, and in the files that
// compile the wide lanes (driver/CMakeLists.txt), where GCC gives it at
// their end, beyond this header's reach; not for every file that includes
// this one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace numlib::lanes {

// The vectors of W floats, doubles and 64-bit integers, and the
// conversions between those of floats and doubles (every lane of a double
// rounded once to float, to nearest). Written out for each width: GCC does
// not take a vector whose width depends on a template parameter in a
// conversion.
template <int W>
struct Vectors;
template <>
struct Vectors<2> {
  typedef float f __attribute__((vector_size(2 * sizeof(float))));
  typedef double d __attribute__((vector_size(2 * sizeof(double))));
  typedef int64_t i __attribute__((vector_size(2 * sizeof(int64_t))));
  [[gnu::always_inline]] static d widen(f x) { return __builtin_convertvector(x, d); }
  [[gnu::always_inline]] static f narrow(d x) { return __builtin_convertvector(x, f); }
};
template <>
struct Vectors<4> {
  typedef float f __attribute__((vector_size(4 * sizeof(float))));
  typedef double d __attribute__((vector_size(4 * sizeof(double))));
  typedef int64_t i __attribute__((vector_size(4 * sizeof(int64_t))));
  [[gnu::always_inline]] static d widen(f x) { return __builtin_convertvector(x, d); }
  [[gnu::always_inline]] static f narrow(d x) { return __builtin_convertvector(x, f); }
};
template <>
struct Vectors<8> {
  typedef float f __attribute__((vector_size(8 * sizeof(float))));
  typedef double d __attribute__((vector_size(8 * sizeof(double))));
  typedef int64_t i __attribute__((vector_size(8 * sizeof(int64_t))));
  [[gnu::always_inline]] static d widen(f x) { return __builtin_convertvector(x, d); }
  [[gnu::always_inline]] static f narrow(d x) { return __builtin_convertvector(x, f); }
};

// W lanes: a vector of W doubles (2 for SSE2, 4 for AVX2, 8 for AVX-512),
// so that every operation, comparisons included, is one instruction of the
// instruction set the caller is compiled for.
template <int W>
struct V : Vectors<W> {
  using typename Vectors<W>::f;
  using typename Vectors<W>::d;
  using typename Vectors<W>::i;
  using Vectors<W>::widen;
  using Vectors<W>::narrow;
  [[gnu::always_inline]] static d rounded(d x) { return widen(narrow(x)); }
  [[gnu::always_inline]] static d splat(double v) { return d{} + v; }
  [[gnu::always_inline]] static d magnitude(d x) {
    return reinterpret_cast<d>(reinterpret_cast<i>(x) & INT64_MAX);
  }
  [[gnu::always_inline]] static d select(i mask, d yes, d no) {
    return reinterpret_cast<d>((mask & reinterpret_cast<i>(yes)) | (~mask & reinterpret_cast<i>(no)));
  }
  [[gnu::always_inline]] static f load(const float* p) {
    f v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
  }
  [[gnu::always_inline]] static void store(float* p, f v) { __builtin_memcpy(p, &v, sizeof v); }
};

// RGNINV of W deviates: the central approximation in every lane; `central`
// marks the lanes where it is RGNINV's value.
template <int W>
[[gnu::always_inline]] inline typename V<W>::f rgninv_central(typename V<W>::f u, typename V<W>::i& central) {
  using namespace kernels;
  using v = V<W>;
  const typename v::d ud = v::widen(u);
  const typename v::i extreme =
      (ud <= v::splat(kRgninvEps)) | (ud >= v::splat(1.0 - 3.0 * static_cast<double>(kRgninvEps)));
  const typename v::d y = v::rounded(v::magnitude(1.0 - 2.0 * ud));
  central = ~extreme & (y <= v::splat(0.85f));
  const typename v::d w = v::rounded(y * y);
  typename v::d q = w + v::splat(kQ3);
  q = v::splat(kR3C) / q;
  q = (w + v::splat(kQ2)) + q;
  q = v::splat(kR2C) / q;
  q = (w + v::splat(kQ1)) + q;
  const typename v::d s = v::splat(kP0) + (v::splat(kP1) * w) / q;
  const typename v::d x = v::rounded(y + y * s);
  const typename v::d sqrt2 = v::splat(kSqrt2);
  return v::narrow(v::select(ud < v::splat(0.5f), -sqrt2 * x, sqrt2 * x));
}

// z[j] := RGNINV(u[j]) for j < n.
template <int W>
[[gnu::always_inline]] inline void rgninv(const float* u, float* z, int n) {
  using v = V<W>;
  int j = 0;
  for (; j + W <= n; j += W) {
    typename v::i central;
    v::store(z + j, rgninv_central<W>(v::load(u + j), central));
    for (int l = 0; l < W; ++l)
      if (!central[l]) z[j + l] = kernels::rgninv(u[j + l]);
  }
  for (; j < n; ++j) z[j] = kernels::rgninv(u[j]);
}

// ANORIN of W probabilities by ERFCI's central series in every lane;
// `central` marks the lanes where that is ANORIN's value (and where ANORIN
// raises nothing: kernels::anorin_is_central).
template <int W>
[[gnu::always_inline]] inline typename V<W>::f anorin_central(typename V<W>::f p, typename V<W>::i& central) {
  using namespace kernels;
  using v = V<W>;
  const typename v::d pd = v::widen(p);
  const typename v::d x = v::rounded(2.0 * pd);
  const typename v::d t = v::rounded(1.0 - x);
  central = (pd > 0.0) & (pd < 1.0) & (v::magnitude(t) < v::splat(0.75f));
  // Grouping: (32 * t * t) / 9 - 1.
  const typename v::d arg = v::rounded(32.0 * t * t / 9.0 - 1.0);
  const typename v::d two_arg = v::rounded(2.0 * arg);
  typename v::d b0 = v::splat(0.0), b1 = v::splat(0.0), b2 = v::splat(0.0);
  for (int32_t left = detail::kErfci.NTINV; left > 0;) {
    b2 = b1;
    b1 = b0;
    b0 = v::rounded((two_arg * b1 - b2) + v::splat(CS_INVERSE[--left]));
  }
  const typename v::d sum = v::rounded((b0 - b2) / 2.0);
  const typename v::d r = v::rounded(t * (1.0 + sum));
  return v::narrow(v::splat(kMSQRT2) * r);
}

// Where ANORIN(p[j]) takes its central series, j < n: central[j] = 1 and
// z[j] its value; elsewhere central[j] = 0.
template <int W>
[[gnu::always_inline]] inline void anorin_central(const float* p, float* z, uint8_t* central, int n) {
  using v = V<W>;
  int j = 0;
  for (; j + W <= n; j += W) {
    typename v::i lane;
    v::store(z + j, anorin_central<W>(v::load(p + j), lane));
    for (int l = 0; l < W; ++l) central[j + l] = lane[l] != 0;
  }
  for (; j < n; ++j) {
    central[j] = kernels::anorin_is_central(p[j]);
    if (central[j]) z[j] = kernels::anorin_central<false>(p[j]);
  }
}

}  // namespace numlib::lanes

#pragma GCC diagnostic pop
