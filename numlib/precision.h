// The precision convention of every computation of the program: every named
// quantity is a float; a formula is evaluated in double from its exact float
// operands and rounded once, to float, when its result is stored.
//
//   x = rounded(wide(a) * wide(b) + wide(c));
//
// Both helpers accept exactly one type, so that an int or a double cannot
// slip into a formula by an implicit conversion.
#pragma once

// Every result of the program is reproducible to the bit only when each
// operation is the one written, rounded as IEEE says: -ffast-math (and
// -Ofast, which implies it) reorders, contracts and flushes. The build sets
// -fno-fast-math (CMakeLists.txt, r/configure); this stops a build that
// overrides it.
#if defined(__FAST_MATH__)
#error "ineqbf must not be compiled with -ffast-math or -Ofast: its results depend on exact IEEE arithmetic"
#endif

#include <concepts>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace numlib {

// The float a value formed in double is stored as.
template <std::same_as<double> D>
constexpr float rounded(D x) {
  return static_cast<float>(x);
}

// A float operand of a formula evaluated in double (exact).
template <std::same_as<float> F>
constexpr double wide(F x) {
  return static_cast<double>(x);
}

// wide(rounded(x)): x rounded once to float (to nearest, ties to even) and
// held in double, for a chain of formulas each of which takes the float the
// one before it stored. The conversions there and back wait about ten
// cycles; where the rounded value is a normal float this rounds the bits of
// the double instead: the 29 bits below a float's precision are added, with
// half of the last kept bit for the tie, carried into the kept bits and
// cleared, which is rounding to nearest with ties to even (a carry out of
// the significand raises the exponent, as it should). Subnormal, zero, huge
// (2^127 and above: the rounded value may overflow), infinite and NaN
// values take the conversions. The result is wide(rounded(x)) to the bit.
template <std::same_as<double> D>
inline double narrowed(D x) {
#if defined(__SSE2__)
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  // Biased exponents 897 .. 1149: 2^-126 <= |x| < 2^127.
  if (((bits >> 52) & 0x7FF) - 897 <= 1149 - 897) [[likely]] {
    const __m128i b = _mm_castpd_si128(_mm_set_sd(x));
    const __m128i half_tie = _mm_and_si128(_mm_srli_epi64(b, 29), _mm_set_epi64x(0, 1));
    __m128i r = _mm_add_epi64(_mm_add_epi64(b, _mm_set_epi64x(0, 0x0FFFFFFF)), half_tie);
    r = _mm_and_si128(r, _mm_set_epi64x(0, ~int64_t{0x1FFFFFFF}));
    return _mm_cvtsd_f64(_mm_castsi128_pd(r));
  }
#endif
  return static_cast<double>(static_cast<float>(x));
}

}  // namespace numlib
