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
// from a double evaluation of its right-hand side. Arguments of expf, logf,
// powf and sqrtf (exponents included) are rounded to float first. A
// comparison of two expressions is made in double on the unrounded
// expressions; a stored value against a literal is a float comparison.

#include <algorithm>
#include <cmath>

#include "numlib/elementary.h"
#include "numlib/errors.h"
#include "numlib/precision.h"
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


// ---- A: inversion ---------------------------------------------------------
void beta_inversion(Context& ctx, int32_t nr, float p, float q, float* r, const Bounds& bd) {
  RNUN(ctx, nr, r);
  if (q != 1.0f) {
    const float e = rounded(1.0 / wide(q));
    for (int32_t i = 0; i < nr; ++i) r[i] = bound(rounded(1.0 - wide(numlib::powf(r[i], e))), bd);
  } else {
    const float e = rounded(1.0 / wide(p));
    for (int32_t i = 0; i < nr; ++i) r[i] = bound(numlib::powf(r[i], e), bd);
  }
}

// ---- B: Joehnk ------------------------------------------------------------
// Returns the 1-based index at which 1000 attempts failed, or 0.
int32_t beta_joehnk(Context& ctx, int32_t nr, float p, float q, float* r, const Bounds& bd) {
  const float c1 = rounded(1.0 / wide(p));
  const float c2 = rounded(1.0 / wide(q));
  // Both parameters below 0.5: x and s may underflow, so the attempts are
  // counted and limited.
  const bool small = c1 > 2.0f && c2 > 2.0f;
  float u[2];
  for (int32_t i = 0; i < nr; ++i) {
    int32_t k = 1;
    float x, s;
    for (;;) {
      RNUN(ctx, 2, u);
      x = numlib::powf(u[0], c1);
      s = rounded(wide(x) + wide(numlib::powf(u[1], c2)));
      if (s > 1.0f) continue;  // not counted as an attempt
      if (!small) break;
      if (x >= bd.lo && s >= bd.lo) break;
      ++k;
      if (k > 1000) return i + 1;
    }
    r[i] = bound(rounded(wide(x) / wide(s)), bd);
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
  const float am1 = rounded(wide(a) - 1.0);  // exponent a - 1
  const float bm1 = rounded(wide(b) - 1.0);  // exponent b - 1
  const float inva = rounded(1.0 / wide(a));
  const float invb = rounded(1.0 / wide(b));
  const float t = rounded((1.0 - wide(a)) / (wide(b) + 1.0 - wide(a)));
  const float ta = numlib::powf(t, am1);
  const float r0 = rounded(wide(b) * wide(t) /
                        (wide(a) * wide(numlib::powf(rounded(1.0 - wide(t)), b)) + wide(b) * wide(t)));
  float u[2];
  for (int32_t i = 0; i < nr; ++i) {
    float x;
    for (;;) {
      RNUN(ctx, 2, u);
      if (u[0] <= r0) {
        x = rounded(wide(t) * wide(numlib::powf(rounded(wide(u[0]) / wide(r0)), inva)));
        if (numlib::powf(rounded(1.0 - wide(x)), bm1) < u[1]) continue;
      } else {
        // The factor 1 - t stays inside the double expression; only the
        // base of the power is rounded.
        x = rounded(1.0 - (1.0 - wide(t)) *
                           wide(numlib::powf(rounded((1.0 - wide(u[0])) / (1.0 - wide(r0))), invb)));
        if (wide(numlib::powf(x, am1)) < wide(u[1]) * wide(ta)) continue;
      }
      break;
    }
    if (flip) x = rounded(1.0 - wide(x));
    r[i] = bound(x, bd);
  }
}

// ---- D: Cheng's BB ----------------------------------------------------------
void beta_cheng(Context& ctx, int32_t nr, float p, float q, float* r, const Bounds& bd) {
  const float a = std::min(p, q);
  const float b = std::max(p, q);
  const bool swap = q < p;
  const float alpha = rounded(wide(a) + wide(b));
  const float beta =
      std::sqrt(rounded((wide(alpha) - 2.0) / (2.0 * wide(a) * wide(b) - wide(alpha))));
  const float gamma = rounded(wide(a) + 1.0 / wide(beta));
  const double ln4 = wide(1.386294f);
  const double one_ln5 = wide(2.609438f);
  float u[2];
  for (int32_t i = 0; i < nr; ++i) {
    float v, w;
    for (;;) {
      RNUN(ctx, 2, u);
      v = rounded(wide(beta) * wide(numlib::logf(rounded(wide(u[0]) / (1.0 - wide(u[0]))))));
      w = rounded(wide(a) * wide(numlib::expf(v)));
      const float z = rounded(wide(u[0]) * wide(u[0]) * wide(u[1]));  // (u1 u1) u2
      const float rr = rounded(wide(gamma) * wide(v) - ln4);
      const float s = rounded(wide(a) + wide(rr) - wide(w));
      if (wide(s) + one_ln5 >= 5.0 * wide(z)) break;
      const float t = numlib::logf(z);
      if (s >= t) break;
      if (wide(rr) + wide(alpha) * wide(numlib::logf(rounded(wide(alpha) / (wide(b) + wide(w))))) < wide(t))
        continue;
      break;
    }
    const float x = swap ? rounded(wide(b) / (wide(b) + wide(w))) : rounded(wide(w) / (wide(b) + wide(w)));
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
    return rounded(wide(a) * wide(numlib::logf(x)) + wide(b) * wide(numlib::logf(rounded(1.0 - wide(x)))) + wide(K));
  }
};

void b4pe_setup(B4pe& e, float p, float q) {
  e.a = rounded(wide(p) - 1.0);
  e.b = rounded(wide(q) - 1.0);
  e.c = rounded(wide(e.a) + wide(e.b));
  e.m = rounded(wide(e.a) / wide(e.c));
  // (c ln c - a ln a) - b ln b, left to right.
  e.K = rounded(wide(e.c) * wide(numlib::logf(e.c)) - wide(e.a) * wide(numlib::logf(e.a)) -
             wide(e.b) * wide(numlib::logf(e.b)));
  e.D = rounded(-2.0 * wide(e.c));

  e.x1 = e.x2 = 0.0f;
  e.f1 = e.f2 = 0.0f;
  e.lam1 = 0.0f;
  e.x3 = e.x4 = 1.0f;
  e.f3 = e.f4 = 0.0f;
  e.lam2 = 0.0f;
  if (e.c > 1.000001f) {
    // sigma = sqrtf((a b)/(c - 1)) / c in one store; the ratio under the
    // root is rounded as the argument of sqrtf.
    const float sigma = rounded(wide(std::sqrt(rounded(wide(e.a) * wide(e.b) / (wide(e.c) - 1.0)))) / wide(e.c));
    if (!(wide(e.m) <= wide(1.000001f) * wide(sigma))) {
      e.x2 = rounded(wide(e.m) - wide(sigma));
      // x2 - (x2 (1 - x2)) / (a - c x2): the product, then the quotient.
      e.x1 = rounded(wide(e.x2) - wide(e.x2) * (1.0 - wide(e.x2)) / (wide(e.a) - wide(e.c) * wide(e.x2)));
      e.lam1 = rounded(wide(e.a) / wide(e.x1) - wide(e.b) / (1.0 - wide(e.x1)));
      e.f1 = numlib::expf(e.g(e.x1));
      e.f2 = numlib::expf(e.g(e.x2));
    }
    if (!(wide(0.99999905f) - wide(e.m) <= wide(sigma))) {
      e.x3 = rounded(wide(e.m) + wide(sigma));
      e.x4 = rounded(wide(e.x3) - wide(e.x3) * (1.0 - wide(e.x3)) / (wide(e.a) - wide(e.c) * wide(e.x3)));
      e.lam2 = rounded(wide(e.b) / (1.0 - wide(e.x4)) - wide(e.a) / wide(e.x4));
      e.f3 = numlib::expf(e.g(e.x3));
      e.f4 = numlib::expf(e.g(e.x4));
    }
  }

  // Cumulative areas; a term whose condition fails adds exactly 0.
  e.P1 = e.f2 > 0.0f ? rounded(wide(e.f2) * (wide(e.m) - wide(e.x2))) : 0.0f;
  e.P2 = e.f3 > 0.0f ? rounded(wide(e.P1) + wide(e.f3) * (wide(e.x3) - wide(e.m))) : e.P1;
  e.P3 = e.f1 > 0.0f ? rounded(wide(e.P2) + wide(e.f1) * (wide(e.x2) - wide(e.x1))) : e.P2;
  e.P4 = e.f4 > 0.0f ? rounded(wide(e.P3) + wide(e.f4) * (wide(e.x4) - wide(e.x3))) : e.P3;
  e.P5 = rounded(wide(e.P4) + (1.0 - wide(e.f2)) * (wide(e.m) - wide(e.x2)));
  e.P6 = rounded(wide(e.P5) + (1.0 - wide(e.f3)) * (wide(e.x3) - wide(e.m)));
  // The triangle areas are (base * height) / 2, formed left to right.
  e.P7 = e.f1 < e.f2 ? rounded(wide(e.P6) + (wide(e.x2) - wide(e.x1)) * (wide(e.f2) - wide(e.f1)) / 2.0)
                     : e.P6;
  e.P8 = e.f4 < e.f3 ? rounded(wide(e.P7) + (wide(e.x4) - wide(e.x3)) * (wide(e.f3) - wide(e.f4)) / 2.0)
                     : e.P7;
  e.P9 = e.f1 > 0.0f ? rounded(wide(e.P8) + wide(e.f1) / wide(e.lam1)) : e.P8;
  e.P10 = e.f4 > 0.0f ? rounded(wide(e.P9) + wide(e.f4) / wide(e.lam2)) : e.P9;
}

float b4pe_draw(Context& ctx, const B4pe& e) {
  for (;;) {
    const float u = rounded(wide(RGUNIF(ctx)) * wide(e.P10));  // one store
    float x;
    if (u <= e.P4) {
      // Rectangles under the density: accepted at once.
      if (u <= e.P1)
        x = rounded(wide(e.x2) + wide(u) / wide(e.f2));
      else if (u <= e.P2)
        x = rounded(wide(e.m) + (wide(u) - wide(e.P1)) / wide(e.f3));
      else if (u <= e.P3)
        x = rounded(wide(e.x1) + (wide(u) - wide(e.P2)) / wide(e.f1));
      else
        x = rounded(wide(e.x3) + (wide(u) - wide(e.P3)) / wide(e.f4));
      return x;
    }

    const float v = RGUNIF(ctx);
    float y;
    if (u <= e.P5) {
      x = rounded(wide(e.x2) + (wide(e.m) - wide(e.x2)) * wide(v));
      if (!(wide(v) < (wide(u) - wide(e.P4)) / (wide(e.P5) - wide(e.P4)))) return x;
      y = rounded((wide(u) - wide(e.P4)) / (wide(e.m) - wide(e.x2)) + wide(e.f2));
    } else if (u <= e.P6) {
      x = rounded(wide(e.m) + (wide(e.x3) - wide(e.m)) * wide(v));
      if (!((wide(e.P6) - wide(u)) / (wide(e.P6) - wide(e.P5)) < wide(v))) return x;
      y = rounded((wide(u) - wide(e.P5)) / (wide(e.x3) - wide(e.m)) + wide(e.f3));
    } else if (u <= e.P8) {
      const float v2 = RGUNIF(ctx);
      const float w = std::max(v, v2);
      if (u <= e.P7) {
        x = rounded(wide(e.x1) + (wide(e.x2) - wide(e.x1)) * wide(w));
        // 2w(u - P6) / (x2 - x1), formed left to right.
        y = rounded(wide(e.f1) + 2.0 * wide(w) * (wide(u) - wide(e.P6)) / (wide(e.x2) - wide(e.x1)));
        if (!(wide(w) * wide(e.f2) <= wide(y))) return x;
      } else {
        x = rounded(wide(e.x4) - (wide(e.x4) - wide(e.x3)) * wide(w));
        y = rounded(wide(e.f4) + 2.0 * wide(w) * (wide(u) - wide(e.P7)) / (wide(e.x4) - wide(e.x3)));
        if (!(wide(w) * wide(e.f3) < wide(y))) return x;
      }
    } else if (u > e.P9) {
      // Right exponential tail.
      const float ee = rounded((wide(e.P10) - wide(u)) / (wide(e.P10) - wide(e.P9)));
      x = rounded(wide(e.x4) - wide(numlib::logf(ee)) / wide(e.lam2));
      if (x >= 1.0f) continue;
      if (!((wide(e.lam2) * (wide(e.x4) - wide(x)) + 1.0) / wide(ee) < wide(v))) return x;
      // v * f4 * e, formed left to right.
      y = rounded(wide(v) * wide(e.f4) * wide(ee));
    } else {
      // Left exponential tail.
      const float ee = rounded((wide(e.P9) - wide(u)) / (wide(e.P9) - wide(e.P8)));
      x = rounded(wide(e.x1) + wide(numlib::logf(ee)) / wide(e.lam1));
      if (x <= 0.0f) continue;
      if (!((wide(e.lam1) * (wide(x) - wide(e.x1)) + 1.0) / wide(ee) < wide(v))) return x;
      y = rounded(wide(v) * wide(e.f1) * wide(ee));
    }

    // Final test against the density itself, after a quick rejection:
    // g(x) <= D (x - m)^2 on (0, 1), so l above that bound is above g(x).
    if (y <= 0.0f) return x;
    const float l = numlib::logf(y);
    const double dxm = wide(x) - wide(e.m);
    if (wide(e.D) * dxm * dxm < wide(l) || x >= 1.0f) continue;
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

  const Bounds bd{rounded(1.0 - wide(AMACH(ctx, 4))), AMACH(ctx, 3)};
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
