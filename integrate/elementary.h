// The integration method's own double-precision exponential, logarithm,
// error function and complementary error function, so that its results do
// not depend on the platform's C library. They use plain IEEE double
// operations (the project compiles with -ffp-contract=off, so no step is
// fused) and only exact library operations (frexp, ldexp, fabs), and
// so give the same bits on every processor and under every compiler.
//
// Accuracy (relative, to nearest): exp and log within 1 ulp, erf and erfc
// within about 2 ulps everywhere (measured: 0.94 and 2.1), erfc included far
// out in its tail, where it gives the probabilities of rare events. A result below the
// smallest normal double keeps its absolute accuracy (about one unit of the
// smallest subnormal) rather than its relative one.
//
// Special arguments: exp(+inf) = inf, exp(-inf) = 0 and results beyond the
// range overflow to inf or underflow to 0; log(0) = -inf, log(+inf) = inf
// and log of a negative number is NaN; erf(±inf) = ±1, erfc(+inf) = 0,
// erfc(-inf) = 2 and erfc(x) is 0 from x ≈ 27.23 on. A NaN argument gives a
// NaN. No errno is set.
#pragma once

#include <cmath>
#include <cstdint>
#include <bit>
#include <limits>

namespace integrate {

inline double exp(double x);
inline double log(double x);
inline double erf(double x);
inline double erfc(double x);

namespace elementary {

inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ln 2 = kLn2Hi + kLn2Lo. kLn2Hi has its last 21 bits zero, so that k·kLn2Hi
// is exact for every |k| < 2^21.
inline constexpr double kLn2Hi = 0x1.62e42fee00000p-1;
inline constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;
inline constexpr double kInvLn2 = 0x1.71547652b82fep+0;

// e^r = 1 + r + r²·Σ kExpTaylor[i]·r^i for |r| <= ln2/2: the Taylor
// coefficients 1/(i+2)!, up to r^13/13!, whose remainder r^14/14! is below
// 5e-18 there.
static constexpr double kExpTaylor[12] = {
    1.0 / 2,         1.0 / 6,          1.0 / 24,          1.0 / 120,
    1.0 / 720,       1.0 / 5040,       1.0 / 40320,       1.0 / 362880,
    1.0 / 3628800,   1.0 / 39916800,   1.0 / 479001600,   1.0 / 6227020800};

// log((1+s)/(1-s)) = 2s + s·Σ kAtanhSeries[j]·s^(2j+2): the series
// 2·atanh(s), coefficients 2/(2j+3), up to s^21, for |s| <= 0.1716
// (m in [sqrt(1/2), sqrt 2)), whose remainder is below 2^-57 of the sum.
static constexpr double kAtanhSeries[10] = {2.0 / 3,  2.0 / 5,  2.0 / 7,  2.0 / 9,  2.0 / 11,
                                            2.0 / 13, 2.0 / 15, 2.0 / 17, 2.0 / 19, 2.0 / 21};

// W. J. Cody's rational Chebyshev approximations of the error function
// (Math. Comp. 23, 1969), the sets of highest precision, in Cody's decimals.
// erf(x) ≈ x·A(x²)/B(x²) for |x| <= 0.46875, B monic; kept as
// erf(x)/x - 1 ≈ (A - B)(x²)/B(x²), so that x + x·(that) rounds once near x.
// Lowest power first; the differences A - B are Cody's decimals subtracted
// exactly.
static constexpr double kErfAMinusB[5] = {365.14075569929885, -905.131288392070259, -130.160483783394017,
                                          -20.44016720847355530, -0.814222293815396847};
static constexpr double kErfB[5] = {2.84423683343917062e03, 1.28261652607737228e03, 2.44024637934444173e02,
                                    2.36012909523441209e01, 1.0};
// erfc(y) ≈ e^(-y²)·C(y)/D(y) for 0.46875 < y <= 4; D monic.
static constexpr double kErfcC[9] = {1.23033935479799725e03, 2.05107837782607147e03, 1.71204761263407058e03,
                                     8.81952221241769090e02, 2.98635138197400131e02, 6.61191906371416295e01,
                                     8.88314979438837594e00, 5.64188496988670089e-1, 2.15311535474403846e-8};
static constexpr double kErfcD[9] = {1.23033935480374942e03, 3.43936767414372164e03, 4.36261909014324716e03,
                                     3.29079923573345963e03, 1.62138957456669019e03, 5.37181101862009858e02,
                                     1.17693950891312499e02, 1.57449261107098347e01, 1.0};
// erfc(y) ≈ e^(-y²)/y·(1/sqrt(pi) - z·P(z)/Q(z)), z = 1/y², for y > 4; Q
// monic.
static constexpr double kErfcP[6] = {6.58749161529837803e-4, 1.60837851487422766e-2, 1.25781726111229246e-1,
                                     3.60344899949804439e-1, 3.05326634961232344e-1, 1.63153871373020978e-2};
static constexpr double kErfcQ[6] = {2.33520497626869185e-3, 6.05183413124413191e-2, 5.27905102951428412e-1,
                                     1.87295284992346725e00, 2.56852019228982242e00, 1.0};
// 1/sqrt(pi) = kInvSqrtPiHi + kInvSqrtPiLo.
inline constexpr double kInvSqrtPiHi = 0x1.20dd750429b6dp-1;
inline constexpr double kInvSqrtPiLo = 7.66772980658294e-18;
inline constexpr double kErfSmall = 0.46875;
inline constexpr double kErfcMiddle = 4.0;
// erfc(y) < 2^-1075, which rounds to 0, for y > 27.2262; so does e^(-y²).
inline constexpr double kErfcZero = 27.3;

// Σ c[i]·x^i by Horner's rule.
template <int N>
inline double polynomial(const double (&c)[N], double x) {
  double s = c[N - 1];
  for (int i = N - 2; i >= 0; --i) s = s * x + c[i];
  return s;
}

// An unevaluated sum hi + lo, |lo| a few ulps of hi at most.
struct Pair {
  double hi, lo;
};

// a = hi + lo with hi holding a's upper 26 bits (Veltkamp's split).
inline Pair split(double a) {
  const double c = 0x1.0000002p+27 * a;  // (2^27 + 1)·a
  const double hi = c - (c - a);
  return {hi, a - hi};
}

// The rounding error of a·b, given both split (Dekker's product).
inline double product_error(double p, Pair a, Pair b) {
  return ((a.hi * b.hi - p) + a.hi * b.lo + a.lo * b.hi) + a.lo * b.lo;
}

// The rounding error of s = a + b (Knuth's two-sum).
inline double sum_error(double s, double a, double b) {
  const double bb = s - a;
  return (a - (s - bb)) + (b - bb);
}

// Adding and taking away 1.5·2^52 rounds a double of magnitude below 2^51
// to the nearest integer.
inline constexpr double kRoundShift = 0x1.8p52;

// v·2^k, one rounding at most (none unless the result is subnormal).
inline double scale(double v, int k) {
  if (k < -1021 || k > 1023) return std::ldexp(v, k);
  return v * std::bit_cast<double>(static_cast<uint64_t>(k + 1023) << 52);
}

// e^x = 2^k·(1 + p) for -745.2 <= x <= 709.8: x = k·ln2 + r, |r| <= ln2/2
// (r computed with ln 2 in two parts, exactly up to the last rounding),
// e^r - 1 by its Taylor polynomial. Returns p, which is not yet added to 1.
inline double exp_parts(double x, int& k) {
  const double kd = (x * kInvLn2 + kRoundShift) - kRoundShift;
  const double r = (x - kd * kLn2Hi) - kd * kLn2Lo;
  k = static_cast<int>(kd);
  return r + r * r * polynomial(kExpTaylor, r);
}

// e^(-y²)·(m.hi + m.lo) for 0 <= y < kErfcZero and m > 0, rounded once
// (twice if the result is subnormal).
// y² = hi + lo exactly (Dekker's product), e^(-hi) = 2^k·(1 + p) and
// e^(-lo) = 1 - lo (|lo| < 2^-44), so the product is
// 2^k·(m + m·(p - lo·(1 + p))): rounding y² would cost y²·2^-53 relative.
inline double times_exp_minus_square(double y, Pair m) {
  const Pair ys = split(y);
  const double hi = y * y;
  const double lo = product_error(hi, ys, ys);
  int k;
  const double p = exp_parts(-hi, k);
  const double q = p - lo * (1.0 + p);
  return scale(m.hi + (m.lo + m.hi * q), k);
}

// erfc(y) for y > kErfSmall.
inline double erfc_tail(double y) {
  if (y >= kErfcZero) return 0.0;
  // Plain Horner steps here: within 7 ulps, three times as fast as the
  // compensated scheme, and the integrands need no more.
  if (y <= kErfcMiddle) return times_exp_minus_square(y, {polynomial(kErfcC, y) / polynomial(kErfcD, y), 0.0});
  const double z = 1.0 / (y * y);
  const double t = z * polynomial(kErfcP, z) / polynomial(kErfcQ, z);
  const double s = kInvSqrtPiHi - t;  // s + s_lo = 1/sqrt(pi) - t
  const double s_lo = sum_error(s, kInvSqrtPiHi, -t) + kInvSqrtPiLo;
  const double r = s / y, ry = r * y;
  const double rest = ((s - ry) - product_error(ry, split(r), split(y)) + s_lo) / y;  // (s + s_lo)/y - r
  return times_exp_minus_square(y, {r, rest});
}

// erf(x)/x - 1 for |x| <= kErfSmall.
inline double erf_small_excess(double x) {
  const double z = x * x;
  return polynomial(kErfAMinusB, z) / polynomial(kErfB, z);
}

}  // namespace elementary

inline double exp(double x) {
  using namespace elementary;
  if (x != x) return x + x;
  if (x > 709.8) return kInf;
  if (x < -745.2) return 0.0;
  int k;
  const double p = exp_parts(x, k);
  return scale(1.0 + p, k);
}

// log x = e·ln2 + log m, x = m·2^e, m in [sqrt(1/2), sqrt 2); with f = m - 1
// (exact) and s = f/(2 + f), log m = f - (f²/2 - s·(f²/2 + R)) where
// R = Σ (2/(2j+3))·s^(2j+2), which keeps the result accurate near x = 1.
inline double log(double x) {
  using namespace elementary;
  if (x != x) return x + x;
  if (x < 0.0) return kNaN;
  if (x == 0.0) return -kInf;
  if (x == kInf) return x;
  int e;
  double m = std::frexp(x, &e);
  if (m < 0x1.6a09e667f3bcdp-1) {  // sqrt(1/2)
    m *= 2.0;
    --e;
  }
  const double f = m - 1.0;
  const double s = f / (2.0 + f);
  const double z = s * s;
  const double R = z * polynomial(kAtanhSeries, z);
  const double half_f2 = 0.5 * f * f;
  const double k = static_cast<double>(e);
  return k * kLn2Hi - ((half_f2 - (s * (half_f2 + R) + k * kLn2Lo)) - f);
}

inline double erf(double x) {
  using namespace elementary;
  if (x != x) return x + x;
  const double y = std::fabs(x);
  if (y <= kErfSmall) return x + x * erf_small_excess(x);
  const double r = (0.5 - erfc_tail(y)) + 0.5;
  return x < 0.0 ? -r : r;
}

// Near 0.5 (x >= 1/4) as 0.5 - ((x - 0.5) + x·excess), x - 0.5 exact, so
// that erf's rounding is not carried into 1 - erf.
inline double erfc(double x) {
  using namespace elementary;
  if (x != x) return x + x;
  const double y = std::fabs(x);
  if (y <= kErfSmall) {
    const double excess = erf_small_excess(x);
    if (x < 0.25) return 1.0 - (x + x * excess);
    return 0.5 - ((x - 0.5) + x * excess);
  }
  const double r = erfc_tail(y);
  return x < 0.0 ? 2.0 - r : r;
}

}  // namespace integrate
