// Beta deviates. The method depends on the region of (p, q) and, when both
// exceed 1, on how many deviates are asked for:
//   p = 1 or q = 1        inversion of one uniform per deviate
//   p < 1 and q < 1       Joehnk's method
//   one below, one above  the switching method of Atkinson and Whittaker
//   p, q > 1, NR <= 4     Cheng's method BB
//   p, q > 1, NR > 4      the four-piece exponential majorizing method B4PE
//                         of Schmeiser and Babu (set-up pays off over many)
// Every deviate is bounded: x >= 1 becomes HI = 1 - AMACH(4), then
// x <= LO = AMACH(3) becomes LO.
//
// Rounding: every named quantity is a float and each assignment rounds once
// from a double evaluation of its right-hand side. Arguments of logf, expf,
// powf and sqrtf (exponents included) are rounded to float first. A
// comparison of two expressions is made in double on the unrounded
// expressions; a stored value against a literal is a float comparison.

#include <algorithm>
#include <cmath>

#include "numlib/errors.h"
#include "numlib/random.h"

namespace numlib {

namespace {

constexpr char kRNBET[] = "RNBET ";

// Bounds of every stored deviate.
struct Bounds {
  float hi;  // 1 - AMACH(4) = 0.99999988
  float lo;  // AMACH(3) = 5.96184e-08
};

inline float bound(float x, const Bounds& bd) {
  if (x >= 1.0f) x = bd.hi;
  if (x <= bd.lo) x = bd.lo;
  return x;
}

inline double dbl(float x) { return static_cast<double>(x); }
inline float to_f(double x) { return static_cast<float>(x); }

// ---- A: inversion ---------------------------------------------------------
void beta_inversion(Context& ctx, int32_t nr, float p, float q, float* r, const Bounds& bd) {
  RNUN(ctx, nr, r);
  if (q != 1.0f) {
    const float e = to_f(1.0 / dbl(q));
    for (int32_t i = 0; i < nr; ++i) r[i] = bound(to_f(1.0 - dbl(std::pow(r[i], e))), bd);
  } else {
    const float e = to_f(1.0 / dbl(p));
    for (int32_t i = 0; i < nr; ++i) r[i] = bound(std::pow(r[i], e), bd);
  }
}

// ---- B: Joehnk ------------------------------------------------------------
// Returns the 1-based index at which 1000 attempts failed, or 0.
int32_t beta_joehnk(Context& ctx, int32_t nr, float p, float q, float* r, const Bounds& bd) {
  const float c1 = to_f(1.0 / dbl(p));
  const float c2 = to_f(1.0 / dbl(q));
  // Both parameters below 0.5: x and s may underflow, so the attempts are
  // counted and limited.
  const bool small = c1 > 2.0f && c2 > 2.0f;
  float u[2];
  for (int32_t i = 0; i < nr; ++i) {
    int32_t k = 1;
    float x, s;
    for (;;) {
      RNUN(ctx, 2, u);
      x = std::pow(u[0], c1);
      s = to_f(dbl(x) + dbl(std::pow(u[1], c2)));
      if (s > 1.0f) continue;  // not counted as an attempt
      if (!small) break;
      if (x >= bd.lo && s >= bd.lo) break;
      ++k;
      if (k > 1000) return i + 1;
    }
    r[i] = bound(to_f(dbl(x) / dbl(s)), bd);
  }
  return 0;
}

// ---- C: Atkinson and Whittaker's switching method -------------------------
void beta_switching(Context& ctx, int32_t nr, float p, float q, float* r, const Bounds& bd) {
  const float a = std::min(p, q);
  const float b = std::max(p, q);
  const bool flip = p > 1.0f;
  // The exponents are stored once; each is the float a powf call would be
  // given anyway.
  const float am1 = to_f(dbl(a) - 1.0);  // exponent a - 1
  const float bm1 = to_f(dbl(b) - 1.0);  // exponent b - 1
  const float inva = to_f(1.0 / dbl(a));
  const float invb = to_f(1.0 / dbl(b));
  const float t = to_f((1.0 - dbl(a)) / (dbl(b) + 1.0 - dbl(a)));
  const float ta = std::pow(t, am1);
  const float r0 = to_f(dbl(b) * dbl(t) /
                        (dbl(a) * dbl(std::pow(to_f(1.0 - dbl(t)), b)) + dbl(b) * dbl(t)));
  float u[2];
  for (int32_t i = 0; i < nr; ++i) {
    float x;
    for (;;) {
      RNUN(ctx, 2, u);
      if (u[0] <= r0) {
        x = to_f(dbl(t) * dbl(std::pow(to_f(dbl(u[0]) / dbl(r0)), inva)));
        if (std::pow(to_f(1.0 - dbl(x)), bm1) < u[1]) continue;
      } else {
        // The factor 1 - t stays inside the double expression; only the
        // base of the power is rounded.
        x = to_f(1.0 - (1.0 - dbl(t)) *
                           dbl(std::pow(to_f((1.0 - dbl(u[0])) / (1.0 - dbl(r0))), invb)));
        if (dbl(std::pow(x, am1)) < dbl(u[1]) * dbl(ta)) continue;
      }
      break;
    }
    if (flip) x = to_f(1.0 - dbl(x));
    r[i] = bound(x, bd);
  }
}

// ---- D: Cheng's BB ----------------------------------------------------------
void beta_cheng(Context& ctx, int32_t nr, float p, float q, float* r, const Bounds& bd) {
  const float a = std::min(p, q);
  const float b = std::max(p, q);
  const bool swap = q < p;
  const float alpha = to_f(dbl(a) + dbl(b));
  const float beta =
      std::sqrt(to_f((dbl(alpha) - 2.0) / (2.0 * dbl(a) * dbl(b) - dbl(alpha))));
  const float gamma = to_f(dbl(a) + 1.0 / dbl(beta));
  const double ln4 = dbl(1.386294f);
  const double one_ln5 = dbl(2.609438f);
  float u[2];
  for (int32_t i = 0; i < nr; ++i) {
    float v, w;
    for (;;) {
      RNUN(ctx, 2, u);
      v = to_f(dbl(beta) * dbl(std::log(to_f(dbl(u[0]) / (1.0 - dbl(u[0]))))));
      w = to_f(dbl(a) * dbl(std::exp(v)));
      const float z = to_f(dbl(u[0]) * dbl(u[0]) * dbl(u[1]));  // (u1 u1) u2
      const float rr = to_f(dbl(gamma) * dbl(v) - ln4);
      const float s = to_f(dbl(a) + dbl(rr) - dbl(w));
      if (dbl(s) + one_ln5 >= 5.0 * dbl(z)) break;
      const float t = std::log(z);
      if (s >= t) break;
      if (dbl(rr) + dbl(alpha) * dbl(std::log(to_f(dbl(alpha) / (dbl(b) + dbl(w))))) < dbl(t))
        continue;
      break;
    }
    const float x = swap ? to_f(dbl(b) / (dbl(b) + dbl(w))) : to_f(dbl(w) / (dbl(b) + dbl(w)));
    r[i] = bound(x, bd);
  }
}

// ---- E: Schmeiser and Babu's B4PE ------------------------------------------
// Majorizing function: two rectangles either side of the mode m (out to the
// inflection points x2 and x3), two rectangles beyond them out to x1 and x4,
// two triangles, and exponential tails below x1 and above x4. g is the log of
// the density scaled to 1 at the mode.
struct B4pe {
  float a, b, c, m, K, D;
  float x1, x2, x3, x4, f1, f2, f3, f4, lam1, lam2;
  float P1, P2, P3, P4, P5, P6, P7, P8, P9, P10;

  // g(x) = a ln x + b ln(1 - x) + K, rounded to float; used both for the
  // ordinates f = exp(g) and in the final test.
  float g(float x) const {
    return to_f(dbl(a) * dbl(std::log(x)) + dbl(b) * dbl(std::log(to_f(1.0 - dbl(x)))) + dbl(K));
  }
};

void b4pe_setup(B4pe& e, float p, float q) {
  e.a = to_f(dbl(p) - 1.0);
  e.b = to_f(dbl(q) - 1.0);
  e.c = to_f(dbl(e.a) + dbl(e.b));
  e.m = to_f(dbl(e.a) / dbl(e.c));
  // (c ln c - a ln a) - b ln b, left to right.
  e.K = to_f(dbl(e.c) * dbl(std::log(e.c)) - dbl(e.a) * dbl(std::log(e.a)) -
             dbl(e.b) * dbl(std::log(e.b)));
  e.D = to_f(-2.0 * dbl(e.c));

  e.x1 = e.x2 = 0.0f;
  e.f1 = e.f2 = 0.0f;
  e.lam1 = 0.0f;
  e.x3 = e.x4 = 1.0f;
  e.f3 = e.f4 = 0.0f;
  e.lam2 = 0.0f;
  if (e.c > 1.000001f) {
    // sigma = sqrtf((a b)/(c - 1)) / c in one store; the ratio under the
    // root is rounded as the argument of sqrtf.
    const float sigma = to_f(dbl(std::sqrt(to_f(dbl(e.a) * dbl(e.b) / (dbl(e.c) - 1.0)))) / dbl(e.c));
    if (!(dbl(e.m) <= dbl(1.000001f) * dbl(sigma))) {
      e.x2 = to_f(dbl(e.m) - dbl(sigma));
      // x2 - (x2 (1 - x2)) / (a - c x2): the product, then the quotient.
      e.x1 = to_f(dbl(e.x2) - dbl(e.x2) * (1.0 - dbl(e.x2)) / (dbl(e.a) - dbl(e.c) * dbl(e.x2)));
      e.lam1 = to_f(dbl(e.a) / dbl(e.x1) - dbl(e.b) / (1.0 - dbl(e.x1)));
      e.f1 = std::exp(e.g(e.x1));
      e.f2 = std::exp(e.g(e.x2));
    }
    if (!(dbl(0.99999905f) - dbl(e.m) <= dbl(sigma))) {
      e.x3 = to_f(dbl(e.m) + dbl(sigma));
      e.x4 = to_f(dbl(e.x3) - dbl(e.x3) * (1.0 - dbl(e.x3)) / (dbl(e.a) - dbl(e.c) * dbl(e.x3)));
      e.lam2 = to_f(dbl(e.b) / (1.0 - dbl(e.x4)) - dbl(e.a) / dbl(e.x4));
      e.f3 = std::exp(e.g(e.x3));
      e.f4 = std::exp(e.g(e.x4));
    }
  }

  // Cumulative areas; a term whose condition fails adds exactly 0.
  e.P1 = e.f2 > 0.0f ? to_f(dbl(e.f2) * (dbl(e.m) - dbl(e.x2))) : 0.0f;
  e.P2 = e.f3 > 0.0f ? to_f(dbl(e.P1) + dbl(e.f3) * (dbl(e.x3) - dbl(e.m))) : e.P1;
  e.P3 = e.f1 > 0.0f ? to_f(dbl(e.P2) + dbl(e.f1) * (dbl(e.x2) - dbl(e.x1))) : e.P2;
  e.P4 = e.f4 > 0.0f ? to_f(dbl(e.P3) + dbl(e.f4) * (dbl(e.x4) - dbl(e.x3))) : e.P3;
  e.P5 = to_f(dbl(e.P4) + (1.0 - dbl(e.f2)) * (dbl(e.m) - dbl(e.x2)));
  e.P6 = to_f(dbl(e.P5) + (1.0 - dbl(e.f3)) * (dbl(e.x3) - dbl(e.m)));
  // The triangle areas are (base * height) / 2, formed left to right.
  e.P7 = e.f1 < e.f2 ? to_f(dbl(e.P6) + (dbl(e.x2) - dbl(e.x1)) * (dbl(e.f2) - dbl(e.f1)) / 2.0)
                     : e.P6;
  e.P8 = e.f4 < e.f3 ? to_f(dbl(e.P7) + (dbl(e.x4) - dbl(e.x3)) * (dbl(e.f3) - dbl(e.f4)) / 2.0)
                     : e.P7;
  e.P9 = e.f1 > 0.0f ? to_f(dbl(e.P8) + dbl(e.f1) / dbl(e.lam1)) : e.P8;
  e.P10 = e.f4 > 0.0f ? to_f(dbl(e.P9) + dbl(e.f4) / dbl(e.lam2)) : e.P9;
}

float b4pe_draw(Context& ctx, const B4pe& e) {
  for (;;) {
    const float u = to_f(dbl(RGUNIF(ctx)) * dbl(e.P10));  // one store
    float x;
    if (u <= e.P4) {
      // Rectangles under the density: accepted at once.
      if (u <= e.P1)
        x = to_f(dbl(e.x2) + dbl(u) / dbl(e.f2));
      else if (u <= e.P2)
        x = to_f(dbl(e.m) + (dbl(u) - dbl(e.P1)) / dbl(e.f3));
      else if (u <= e.P3)
        x = to_f(dbl(e.x1) + (dbl(u) - dbl(e.P2)) / dbl(e.f1));
      else
        x = to_f(dbl(e.x3) + (dbl(u) - dbl(e.P3)) / dbl(e.f4));
      return x;
    }

    const float v = RGUNIF(ctx);
    float y;
    if (u <= e.P5) {
      x = to_f(dbl(e.x2) + (dbl(e.m) - dbl(e.x2)) * dbl(v));
      if (!(dbl(v) < (dbl(u) - dbl(e.P4)) / (dbl(e.P5) - dbl(e.P4)))) return x;
      y = to_f((dbl(u) - dbl(e.P4)) / (dbl(e.m) - dbl(e.x2)) + dbl(e.f2));
    } else if (u <= e.P6) {
      x = to_f(dbl(e.m) + (dbl(e.x3) - dbl(e.m)) * dbl(v));
      if (!((dbl(e.P6) - dbl(u)) / (dbl(e.P6) - dbl(e.P5)) < dbl(v))) return x;
      y = to_f((dbl(u) - dbl(e.P5)) / (dbl(e.x3) - dbl(e.m)) + dbl(e.f3));
    } else if (u <= e.P8) {
      const float v2 = RGUNIF(ctx);
      const float w = std::max(v, v2);
      if (u <= e.P7) {
        x = to_f(dbl(e.x1) + (dbl(e.x2) - dbl(e.x1)) * dbl(w));
        // 2w(u - P6) / (x2 - x1), formed left to right.
        y = to_f(dbl(e.f1) + 2.0 * dbl(w) * (dbl(u) - dbl(e.P6)) / (dbl(e.x2) - dbl(e.x1)));
        if (!(dbl(w) * dbl(e.f2) <= dbl(y))) return x;
      } else {
        x = to_f(dbl(e.x4) - (dbl(e.x4) - dbl(e.x3)) * dbl(w));
        y = to_f(dbl(e.f4) + 2.0 * dbl(w) * (dbl(u) - dbl(e.P7)) / (dbl(e.x4) - dbl(e.x3)));
        if (!(dbl(w) * dbl(e.f3) < dbl(y))) return x;
      }
    } else if (u > e.P9) {
      // Right exponential tail.
      const float ee = to_f((dbl(e.P10) - dbl(u)) / (dbl(e.P10) - dbl(e.P9)));
      x = to_f(dbl(e.x4) - dbl(std::log(ee)) / dbl(e.lam2));
      if (x >= 1.0f) continue;
      if (!((dbl(e.lam2) * (dbl(e.x4) - dbl(x)) + 1.0) / dbl(ee) < dbl(v))) return x;
      // v * f4 * e, formed left to right.
      y = to_f(dbl(v) * dbl(e.f4) * dbl(ee));
    } else {
      // Left exponential tail.
      const float ee = to_f((dbl(e.P9) - dbl(u)) / (dbl(e.P9) - dbl(e.P8)));
      x = to_f(dbl(e.x1) + dbl(std::log(ee)) / dbl(e.lam1));
      if (x <= 0.0f) continue;
      if (!((dbl(e.lam1) * (dbl(x) - dbl(e.x1)) + 1.0) / dbl(ee) < dbl(v))) return x;
      y = to_f(dbl(v) * dbl(e.f1) * dbl(ee));
    }

    // Final test against the density itself, after a quick rejection:
    // g(x) <= D (x - m)^2 on (0, 1), so l above that bound is above g(x).
    if (y <= 0.0f) return x;
    const float l = std::log(y);
    const double dxm = dbl(x) - dbl(e.m);
    if (dbl(e.D) * dxm * dxm < dbl(l) || x >= 1.0f) continue;
    if (e.g(x) < l) continue;
    return x;
  }
}

void beta_b4pe(Context& ctx, int32_t nr, float p, float q, float* r, const Bounds& bd) {
  B4pe e;
  b4pe_setup(e, p, q);
  for (int32_t i = 0; i < nr; ++i) r[i] = bound(b4pe_draw(ctx, e), bd);
}

}  // namespace

void RNBET(Context& ctx, int32_t nr, float pin, float qin, float* r) {
  // A parameter that is not a positive number (NaN included) is refused.
  const bool bad_p = !(pin > 0.0f);
  const bool bad_q = !(qin > 0.0f);
  if (nr < 1 || bad_p || bad_q) {
    E1PSH(ctx, kRNBET);
    int32_t code = 1;
    I1ACHK(ctx, nr, "NR", 1, 0, code);
    if (bad_p) {
      E1SUBR(ctx, 1, pin);
      E1MSG(ctx, ERR_TERMINAL, 2, "PIN = %(R1).  PIN must be positive.");
    }
    if (bad_q) {
      E1SUBR(ctx, 1, qin);
      E1MSG(ctx, ERR_TERMINAL, 3, "QIN = %(R1).  QIN must be positive.");
    }
    E1POP(ctx, kRNBET);
    return;
  }

  const Bounds bd{to_f(1.0 - dbl(AMACH(ctx, 4))), AMACH(ctx, 3)};
  const float p = pin;
  const float q = qin;

  if (p == 1.0f || q == 1.0f) {
    beta_inversion(ctx, nr, p, q, r, bd);
  } else if (p < 1.0f && q < 1.0f) {
    const int32_t failed = beta_joehnk(ctx, nr, p, q, r, bd);
    if (failed != 0) {
      E1PSH(ctx, kRNBET);
      E1SUBI(ctx, 1, failed);
      E1MSG(ctx, ERR_TERMINAL, 4,
            "1000 unsuccessful attempts were made to assign a beta random deviate to "
            "R(%(I1)), since PIN and QIN are so small.  All elements of R beyond %(I1) "
            "are set to not-a-number.");
      const float nan = AMACH(ctx, 6);
      for (int32_t i = failed - 1; i < nr; ++i) r[i] = nan;
      E1POP(ctx, kRNBET);
    }
  } else if (p > 1.0f && q > 1.0f) {
    if (nr <= 4)
      beta_cheng(ctx, nr, p, q, r, bd);
    else
      beta_b4pe(ctx, nr, p, q, r, bd);
  } else {
    beta_switching(ctx, nr, p, q, r, bd);
  }
}

void RNBET_ARRAY(Context& ctx, float pin, float qin, float* r, int32_t size, int32_t nr) {
  if (nr < 0) {
    nr = size;
  } else if (nr > size) {
    // An explicit count beyond the array would write past its end.
    E1PSH(ctx, kRNBET);
    int32_t code = 1;
    I1ACHK(ctx, nr, "NR", 1, size, code);
    E1POP(ctx, kRNBET);
    return;
  }
  RNBET(ctx, nr, pin, qin, r);
}

}  // namespace numlib
