// The program's own single-precision exponential, logarithm, power and
// decimal logarithm, so that its results do not depend on the platform's C
// library: written with plain IEEE double and float operations (the project
// compiles with -ffp-contract=off, so no step is fused), they give the same
// bits on every processor and under every compiler.
//
// The reports were first made with glibc 2.36 on x86-64, whose expf, logf
// and powf evaluate in double from a small table and a short polynomial and
// round once to float. These routines are that method: the same tables, the
// same polynomials, the same order of operations. Each result but a NaN is
// therefore glibc's portable (non-FMA) result to the bit (checked on all
// 2^32 floats by tools/check-elementary.cpp). glibc's FMA build fuses
// some of the steps and differs in the last bit on a few inputs; those
// inputs are in tests/numlib/elementary_test.cpp.
//
// Accuracy (to nearest): exp within 0.502 ulp, log and pow within 0.82 ulp
// (almost every result is the correctly rounded one), log10 within 2 ulp
// (it finishes in float arithmetic).
// Errors set no errno and raise no exception that the program looks at:
// overflow gives infinity and underflow zero. Every NaN result (a NaN
// argument, log of a negative number, pow of a negative base to a
// non-integer power) is the one positive quiet NaN, whatever the argument's
// sign and payload and whatever the processor makes of 0/0, so that a NaN
// travels through later arithmetic the same way in every build.
#pragma once

#include <cstdint>
#include <bit>
#include <limits>

namespace numlib {

inline float expf(float x);
inline float logf(float x);
inline float powf(float x, float y);
inline float log10f(float x);
// Only floats: a double argument would be narrowed without a word.
float expf(double) = delete;
float logf(double) = delete;
float powf(double, double) = delete;
float log10f(double) = delete;

namespace elementary {

inline uint32_t bits(float x) { return std::bit_cast<uint32_t>(x); }
inline uint64_t bits(double x) { return std::bit_cast<uint64_t>(x); }
inline float float_of(uint32_t u) { return std::bit_cast<float>(u); }
inline double double_of(uint64_t u) { return std::bit_cast<double>(u); }

// The quiet NaN of every NaN result.
inline float nan() { return float_of(0x7FC00000u); }
inline constexpr float kInf = std::numeric_limits<float>::infinity();

// 2^(i/32), i = 0 .. 31, each the double nearest to it, with i/32 taken off
// its exponent field (bits minus i << 47): adding k << 47 to entry k mod 32
// then gives 2^(k/32) for any integer k in range.
struct Exp2Table {
  static constexpr int kBits = 5;
  static constexpr int kSize = 1 << kBits;
  static constexpr uint64_t entry[kSize] = {
      0x3ff0000000000000, 0x3fefd9b0d3158574, 0x3fefb5586cf9890f, 0x3fef9301d0125b51,
      0x3fef72b83c7d517b, 0x3fef54873168b9aa, 0x3fef387a6e756238, 0x3fef1e9df51fdee1,
      0x3fef06fe0a31b715, 0x3feef1a7373aa9cb, 0x3feedea64c123422, 0x3feece086061892d,
      0x3feebfdad5362a27, 0x3feeb42b569d4f82, 0x3feeab07dd485429, 0x3feea47eb03a5585,
      0x3feea09e667f3bcd, 0x3fee9f75e8ec5f74, 0x3feea11473eb0187, 0x3feea589994cce13,
      0x3feeace5422aa0db, 0x3feeb737b0cdc5e5, 0x3feec49182a3f090, 0x3feed503b23e255d,
      0x3feee89f995ad3ad, 0x3feeff76f2fb5e47, 0x3fef199bdd85529c, 0x3fef3720dcef9069,
      0x3fef5818dcfba487, 0x3fef7c97337b9b5f, 0x3fefa4afa2a490da, 0x3fefd0765b6e4540,
  };
  // 2^r - 1 ~ c0 r^3 + c1 r^2 + c2 r on |r| <= 1/64 (c2 near ln 2).
  static constexpr double poly[3] = {0x1.c6af84b912394p-5, 0x1.ebfce50fac4f3p-3,
                                     0x1.62e42ff0c52d6p-1};
  // The same polynomial for r in units of 1/32: c0/32^3, c1/32^2, c2/32.
  static constexpr double poly_scaled[3] = {0x1.c6af84b912394p-20, 0x1.ebfce50fac4f3p-13,
                                            0x1.62e42ff0c52d6p-6};
};

// The logarithm's reduction: the floats in [0x1.66p-1, 0x1.66p0) split by
// the four leading significand bits into 16 intervals; interval i has a
// point c near its centre, inv_c a double near 1/c (so that z * inv_c - 1 is
// small) and ln(c) and log2(c) to double. The interval round 1 has c = 1.
struct LogTable {
  static constexpr int kBits = 4;
  static constexpr int kSize = 1 << kBits;
  static constexpr uint32_t kOffset = 0x3f330000;  // 0x1.66p-1, the lowest z
  static constexpr double inv_c[kSize] = {
      0x1.661ec79f8f3bep+0, 0x1.571ed4aaf883dp+0, 0x1.49539f0f010b0p+0, 0x1.3c995b0b80385p+0,
      0x1.30d190c8864a5p+0, 0x1.25e227b0b8ea0p+0, 0x1.1bb4a4a1a343fp+0, 0x1.12358f08ae5bap+0,
      0x1.0953f419900a7p+0, 0x1.0000000000000p+0, 0x1.e608cfd9a47acp-1, 0x1.ca4b31f026aa0p-1,
      0x1.b2036576afce6p-1, 0x1.9c2d163a1aa2dp-1, 0x1.886e6037841edp-1, 0x1.767dcf5534862p-1,
  };
  // ln(c), c the point of interval i (about 1 / inv_c).
  static constexpr double log_c[kSize] = {
      -0x1.57bf7808caadep-2, -0x1.2bef0a7c06ddbp-2, -0x1.01eae7f513a67p-2, -0x1.b31d8a68224e9p-3,
      -0x1.6574f0ac07758p-3, -0x1.1aa2bc79c8100p-3, -0x1.a4e76ce8c0e5ep-4, -0x1.1973c5a611cccp-4,
      -0x1.252f438e10c1ep-5, 0x0.0p+0,              0x1.aa5aa5df25984p-5,  0x1.c5e53aa362eb4p-4,
      0x1.526e57720db08p-3,  0x1.bc2860d224770p-3,  0x1.1058bc8a07ee1p-2,  0x1.4043057b6ee09p-2,
  };
  // log2(c) for the same points, for the power function.
  static constexpr double log2_c[kSize] = {
      -0x1.efec65b963019p-2, -0x1.b0b6832d4fca4p-2, -0x1.7418b0a1fb77bp-2, -0x1.39de91a6dcf7bp-2,
      -0x1.01d9bf3f2b631p-2, -0x1.97c1d1b3b7af0p-3, -0x1.2f9e393af3c9fp-3, -0x1.960cbbf788d5cp-4,
      -0x1.a6f9db6475fcep-5, 0x0.0p+0,              0x1.338ca9f24f53dp-4,  0x1.476a9543891bap-3,
      0x1.e840b4ac4e4d2p-3,  0x1.40645f0c6651cp-2,  0x1.88e9c2c1b9ff8p-2,  0x1.ce0a44eb17bccp-2,
  };
  static constexpr double ln2 = 0x1.62e42fefa39efp-1;
  // ln(1 + r) - r ~ p0 r^4 + p1 r^3 + p2 r^2 on the reduced range.
  static constexpr double ln_poly[3] = {-0x1.00ea348b88334p-2, 0x1.5575b0be00b6ap-2,
                                        -0x1.ffffef20a4123p-2};
  // log2(1 + r) ~ q0 r^5 + q1 r^4 + q2 r^3 + q3 r^2 + q4 r on the reduced range.
  static constexpr double log2_poly[5] = {0x1.27616c9496e0bp-2, -0x1.71969a075c67ap-2,
                                          0x1.ec70a6ca7baddp-2, -0x1.7154748bef6c8p-1,
                                          0x1.71547652ab82bp+0};
};

// 2^(k/32) for the integer k held in the low bits of k_bits, times -1 when
// sign_bias (bit 16) is set.
inline double exp2_table(uint64_t k_bits) {
  const uint64_t t = Exp2Table::entry[k_bits % Exp2Table::kSize] + (k_bits << (52 - Exp2Table::kBits));
  return double_of(t);
}

// s * (1 + c2 r + c1 r^2 + c0 r^3), in this order.
inline double times_exp2_poly(double s, double r, const double (&c)[3]) {
  const double z = c[0] * r + c[1];
  const double r2 = r * r;
  double y = c[2] * r + 1.0;
  y = z * r2 + y;
  return y * s;
}

// The float x, at least 2^-126 and finite, as z * 2^k with z in
// [0x1.66p-1, 0x1.66p0): interval i of LogTable, z's bits and k.
struct Reduced {
  int i;
  double z;
  double k;
};
inline Reduced reduce(uint32_t ix) {
  const uint32_t tmp = ix - LogTable::kOffset;
  const uint32_t top = tmp & 0xff800000u;
  const int k = static_cast<int32_t>(top) >> 23;  // arithmetic shift
  return {static_cast<int>((tmp >> (23 - LogTable::kBits)) % LogTable::kSize),
          static_cast<double>(float_of(ix - top)), static_cast<double>(k)};
}

// log2 of the positive normal float with bits ix, in double (far more
// accurate than a float).
inline double log2_wide(uint32_t ix) {
  const Reduced m = reduce(ix);
  const double r = m.z * LogTable::inv_c[m.i] - 1.0;
  const double y0 = LogTable::log2_c[m.i] + m.k;
  const double(&A)[5] = LogTable::log2_poly;
  const double r2 = r * r;
  double y = A[0] * r + A[1];
  const double p = A[2] * r + A[3];
  const double r4 = r2 * r2;
  double q = A[4] * r + y0;
  q = p * r2 + q;
  y = y * r4 + q;
  return y;
}

// 2^x for |x| < 150, rounded once to float; sign_bias 1 << 16 negates it.
inline float exp2_narrow(double x, uint64_t sign_bias) {
  // 0x1.8p52 / 32 rounds x to a multiple of 1/32 (ties to even) and leaves
  // 32 times it in the low bits.
  constexpr double shift = 0x1.8p+47;
  double kd = x + shift;
  const uint64_t ki = bits(kd);
  kd -= shift;
  const double r = x - kd;
  return static_cast<float>(times_exp2_poly(exp2_table(ki + sign_bias), r, Exp2Table::poly));
}

}  // namespace elementary

inline float expf(float x) {
  using namespace elementary;
  const uint32_t abstop = (bits(x) >> 20) & 0x7ff;
  if (abstop >= (bits(88.0f) >> 20)) [[unlikely]] {
    if (bits(x) == bits(-kInf)) return 0.0f;
    if (abstop >= 0x7f8) return x == x ? x : nan();  // +inf or NaN
    if (x > 0x1.62e42ep6f) return kInf;              // above ln(2^128)
    if (x < -0x1.9fe368p6f) return 0.0f;             // below ln(2^-150)
  }
  // x / ln2 * 32 = k + r, k the nearest integer (ties to even): the shift
  // 0x1.8p52 leaves k in the low bits.
  constexpr double inv_ln2_32 = 0x1.71547652b82fep+5;
  constexpr double shift = 0x1.8p+52;
  const double z = inv_ln2_32 * static_cast<double>(x);
  double kd = z + shift;
  const uint64_t ki = bits(kd);
  kd -= shift;
  const double r = z - kd;
  return static_cast<float>(times_exp2_poly(exp2_table(ki), r, Exp2Table::poly_scaled));
}

inline float logf(float x) {
  using namespace elementary;
  uint32_t ix = bits(x);
  if (ix == 0x3f800000u) return 0.0f;
  if (ix - 0x00800000u >= 0x7f800000u - 0x00800000u) [[unlikely]] {
    // Below 2^-126, negative, infinite or NaN.
    if (ix * 2 == 0) return -kInf;
    if (ix == 0x7f800000u) return x;
    if ((ix & 0x80000000u) || ix * 2 >= 0xff000000u) return nan();
    ix = bits(x * 0x1p23f) - (23u << 23);  // subnormal: scaled to normal
  }
  const Reduced m = reduce(ix);
  // ln x = ln(1 + r) + ln c + k ln 2, r = z / c - 1.
  const double r = m.z * LogTable::inv_c[m.i] - 1.0;
  const double y0 = LogTable::log_c[m.i] + m.k * LogTable::ln2;
  const double(&A)[3] = LogTable::ln_poly;
  const double r2 = r * r;
  double y = A[1] * r + A[2];
  y = A[0] * r2 + y;
  y = y * r2 + (y0 + r);
  return static_cast<float>(y);
}

namespace elementary {

// Whether the float with bits iy is not an integer (0), an odd integer (1)
// or an even one (2).
inline int integer_kind(uint32_t iy) {
  const int e = static_cast<int>((iy >> 23) & 0xff);
  if (e < 0x7f) return 0;
  if (e > 0x7f + 23) return 2;
  if (iy & ((1u << (0x7f + 23 - e)) - 1)) return 0;
  if (iy & (1u << (0x7f + 23 - e))) return 1;
  return 2;
}

// Zero, infinite or NaN.
inline bool zero_inf_nan(uint32_t ix) { return 2 * ix - 1 >= 2u * 0x7f800000u - 1; }

// pow where y is 0, infinite or NaN.
inline float pow_special_y(float x, float y) {
  const uint32_t ix = bits(x), iy = bits(y);
  // A signalling NaN gives NaN even where the result is otherwise 1.
  const auto signalling = [](uint32_t u) { return 2 * (u ^ 0x00400000u) > 2u * 0x7fc00000u; };
  if (2 * iy == 0) return signalling(ix) ? nan() : 1.0f;
  if (ix == 0x3f800000u) return signalling(iy) ? nan() : 1.0f;
  if (2 * ix > 2u * 0x7f800000u || 2 * iy > 2u * 0x7f800000u) return nan();
  if (2 * ix == 2 * 0x3f800000u) return 1.0f;  // (-1)^+-inf
  if ((2 * ix < 2 * 0x3f800000u) == !(iy & 0x80000000u)) return 0.0f;
  return y * y;
}

// pow where x is 0, infinite or NaN (and y is none of them).
inline float pow_special_x(float x, uint32_t iy) {
  if (x != x) return nan();
  float x2 = x * x;
  if ((bits(x) & 0x80000000u) && integer_kind(iy) == 1) x2 = -x2;
  return (iy & 0x80000000u) ? 1.0f / x2 : x2;
}

}  // namespace elementary

inline float powf(float x, float y) {
  using namespace elementary;
  uint64_t sign_bias = 0;
  uint32_t ix = bits(x);
  const uint32_t iy = bits(y);
  if (ix - 0x00800000u >= 0x7f800000u - 0x00800000u || zero_inf_nan(iy)) [[unlikely]] {
    if (zero_inf_nan(iy)) return pow_special_y(x, y);
    if (zero_inf_nan(ix)) return pow_special_x(x, iy);
    if (ix & 0x80000000u) {  // finite x < 0
      const int kind = integer_kind(iy);
      if (kind == 0) return nan();
      if (kind == 1) sign_bias = uint64_t{1} << (Exp2Table::kBits + 11);
      ix &= 0x7fffffffu;
    }
    if (ix < 0x00800000u) {  // subnormal: scaled to normal
      ix = bits(float_of(ix) * 0x1p23f) & 0x7fffffffu;
      ix -= 23u << 23;
    }
  }
  // x^y = 2^(y log2 x); y log2 x cannot overflow a double.
  const double ylogx = static_cast<double>(y) * log2_wide(ix);
  if (((bits(ylogx) >> 47) & 0xffff) >= (bits(126.0) >> 47)) [[unlikely]] {
    const float sign = sign_bias ? -1.0f : 1.0f;
    if (ylogx > 0x1.fffffffd1d571p+6) return sign * kInf;  // above 2^128 less half an ulp
    if (ylogx <= -150.0) return sign * 0.0f;
  }
  return exp2_narrow(ylogx, sign_bias);
}

// log10 x = k log10(2) + log10(m), x = m 2^k with m in [1, 2) (in [0.5, 1)
// when k < 0, so that nothing cancels), in float: hi and lo split
// log10(2), hi with its last 12 bits zero so that k * hi is exact.
inline float log10f(float x) {
  using namespace elementary;
  constexpr float two25 = 0x1p25f;
  constexpr float inv_ln10 = 0x1.bcb7b2p-2f;     // 1 / ln 10
  constexpr float log10_2hi = 0x1.344100p-2f;    // log10(2), leading bits
  constexpr float log10_2lo = 0x1.a84fb6p-21f;   // log10(2) - log10_2hi
  uint32_t hx = bits(x);
  int32_t k = 0;
  if (hx < 0x00800000u || hx >= 0x80000000u) {
    if ((hx & 0x7fffffffu) == 0) return -kInf;
    if (hx >= 0x80000000u) return nan();
    k -= 25;  // subnormal: scaled to normal
    hx = bits(x * two25);
  }
  if (hx >= 0x7f800000u) return x == x ? x : nan();
  k += static_cast<int32_t>(hx >> 23) - 127;
  const uint32_t i = static_cast<uint32_t>(k) >> 31;
  const float m = float_of((hx & 0x007fffffu) | ((0x7fu - i) << 23));
  const float y = static_cast<float>(k + static_cast<int32_t>(i));
  const float z = y * log10_2lo + inv_ln10 * logf(m);
  return z + y * log10_2hi;
}

}  // namespace numlib
