// The bodies of the normal distribution routines (normal.h), inline so that
// a caller's inner loop can have them compiled into it, for the instruction
// set it is compiled for (driver/samplers.cpp compiles its chains once per
// instruction set and picks one when the program starts).
//
// Every routine takes a template argument Fma: whether the Clenshaw step may
// use a fused multiply-add. The results are the same either way (see
// Clenshaw::step); with Fma the step waits for one rounding fewer. Only code
// compiled for a processor that has the instruction sets it: elsewhere
// std::fma is a call into the C library.
//
// Arithmetic: every named quantity is a float. Each assignment evaluates its
// right-hand side in double (float operands converted exactly) and rounds
// once when it stores; the mathematics functions are the single-precision
// ones of numlib/elementary.h, called with the argument rounded to float. A
// stored value is compared with a literal in float; a comparison of two
// expressions is made in double on the unrounded expressions.
#pragma once

#include <cmath>
#include <cstdint>

#include "numlib/context.h"
#include "numlib/elementary.h"
#include "numlib/errors.h"
#include "numlib/normal.h"
#include "numlib/precision.h"

namespace numlib::kernels {

// Routine names on the error stack, blank-padded to six characters. Push and
// pop are given the same pointer.
inline constexpr char kCSEVL[] = "CSEVL ";
inline constexpr char kERFC[] = "ERFC  ";
inline constexpr char kERFCE[] = "ERFCE ";
inline constexpr char kERFCI[] = "ERFCI ";
inline constexpr char kANORDF[] = "ANORDF";
inline constexpr char kANORIN[] = "ANORIN";

inline constexpr float kSQRTPI = 1.77245390f;      // sqrt(pi)
inline constexpr float kHALFSQRTPI = 0.886226952f;  // sqrt(pi)/2
inline constexpr float kSQRTHALF = 0.707106769f;   // sqrt(1/2), 0x3F3504F3
inline constexpr float kMSQRT2 = -1.41421354f;     // -sqrt(2), 0xBFB504F3

// erfc(x) = 1 - x * (1 + series), |x| <= 1, series argument 2x^2 - 1.
inline constexpr float CS_CENTRAL[13] = {
    -0.0490461215f,   -0.142261207f,    0.0100355819f,    -0.000576876453f,
    2.74199319e-05f,  -1.10431756e-06f, 3.84887571e-08f,  -1.18085830e-09f,
    3.23342152e-11f,  -7.99101616e-13f, 1.79907257e-14f,  -3.71863557e-16f,
    7.10359880e-18f};

// erfc(x) = exp(-x^2) / |x| * (0.5 + series), 1 < |x| <= 2, series
// argument (8/x^2 - 5)/3.
inline constexpr float CS_MIDDLE[23] = {
    -0.0696013495f,   -0.0411013402f,   0.00391449593f,   -0.000490639592f,
    7.15747883e-05f,  -1.15307166e-05f, 1.99467058e-06f,  -3.64266640e-07f,
    6.94437290e-08f,  -1.37122091e-08f, 2.78838974e-09f,  -5.81416471e-10f,
    1.23892049e-10f,  -2.69063920e-11f, 5.94261446e-12f,  -1.33238678e-12f,
    3.02804683e-13f,  -6.96664880e-14f, 1.62085447e-14f,  -3.80993429e-15f,
    9.04048747e-16f,  -2.16400626e-16f, 5.22210238e-17f};

// erfc(x) = exp(-x^2) / |x| * (0.5 + series), |x| > 2, series argument
// 8/x^2 - 1.
inline constexpr float CS_TAIL[24] = {
    0.0715179294f,    -0.0265324339f,   0.00171115401f,   -0.000163751669f,
    1.98712933e-05f,  -2.84371231e-06f, 4.60616121e-07f,  -8.22775306e-08f,
    1.59214188e-08f,  -3.29507133e-09f, 7.22343962e-10f,  -1.66485575e-10f,
    4.01039271e-11f,  -1.00481620e-11f, 2.60827601e-12f,  -6.99111071e-13f,
    1.92949240e-13f,  -5.47013132e-14f, 1.58966332e-14f,  -4.72689404e-15f,
    1.43587342e-15f,  -4.44951066e-16f, 1.40481089e-16f,  -4.51381839e-17f};

// Inverse of erfc: erfci(x) = t * (1 + series), t = 1 - x, |t| < 0.75,
// series argument 32t^2/9 - 1.
inline constexpr float CS_INVERSE[22] = {
    -0.0510281622f,   0.0976712108f,    0.0106798429f,    0.00145839259f,
    0.000221395618f,  3.57546414e-05f,  6.01305237e-06f,  1.04056051e-06f,
    1.83930993e-07f,  3.30485967e-08f,  6.01592287e-09f,  1.10675058e-09f,
    2.05404999e-10f,  3.84048557e-11f,  7.22613505e-12f,  1.36709069e-12f,
    2.59870820e-13f,  4.96064981e-14f,  9.50461261e-15f,  1.82714070e-15f,
    3.52293523e-16f,  6.81093767e-17f};

inline constexpr char kUnderflowMsg[] =
    "The function underflows because X = %(R1) is greater than %(R2). The result is set to zero.";

// The underflow alert of ERFC and ERFCE (x above xmax): its values stored,
// the alert raised; the result is 0.
[[gnu::cold]] inline float underflow_alert(Context& ctx, float x, float xmax) {
  E1SUBR(ctx, 1, x);
  E1SUBR(ctx, 2, xmax);
  E1MSG(ctx, ERR_ALERT, 1, kUnderflowMsg);
  return 0.0f;
}

// 1 - 2x/sqrt(pi), for |x| below SQEPS. Grouping: (2x) / sqrt(pi).
inline float erfc_linear(float x) { return rounded(1.0 - 2.0 * x / wide(kSQRTPI)); }

// t*b1 - b2 of a Clenshaw step, b1 and b2 floats held exactly in double.
// t and b1 are floats, so their product has at most 48 significant bits and
// is exact in double (no float product can overflow or underflow there):
// rounding t*b1 - b2 once, as the fused multiply-add does, gives the same
// double as rounding the exact product (a no-op) and then the difference.
template <bool Fma>
inline double clenshaw_head(double t, double b1, double b2) {
  if constexpr (Fma)
    return std::fma(t, b1, -b2);
  else
    return t * b1 - b2;
}

// The Clenshaw recurrence of CSEVL, one term at a time: b0 := t*b1 - b2 +
// cs(n + 1 - i) for i = 1..n, t = 2x, each b rounded to float.
template <bool Fma>
struct Clenshaw {
  Clenshaw(float x, const float* coefficients, int32_t count)
      : t(wide(rounded(2.0 * x))), cs(coefficients), left(count) {}
  void step() {
    b2 = b1;
    b1 = b0;
    // Grouping: (t * b1 - b2) + cs(n + 1 - i).
    b0 = narrowed(clenshaw_head<Fma>(t, b1, b2) + cs[--left]);
  }
  float sum() const { return rounded((b0 - b2) / 2.0); }

  // Floats, held in double (narrowed).
  double b0 = 0.0;
  double b1 = 0.0;
  double b2 = 0.0;
  double t;
  const float* cs;
  int32_t left;  // terms still to add
};

// For XSML < x <= XMAX and |x| >= SQEPS (or x NaN), ERFC sums one series:
// which one, at which argument, and what it needs to finish.
struct ErfcSeries {
  const float* cs;
  int32_t n;
  float arg;  // in [-1, 1], or NaN
  float y;    // |x|
  float y2;   // y * y, for |x| > 1
};

inline ErfcSeries erfc_series(float x, const detail::ErfcSetup& s) {
  const float y = std::fabs(x);
  if (y <= 1.0f) {
    const double xd = x;
    return {CS_CENTRAL, s.NTCENT, rounded(2.0 * xd * xd - 1.0), y, 0.0f};
  }
  const float y2 = rounded(wide(y) * y);
  if (y2 <= 4.0f) return {CS_MIDDLE, s.NTMID, rounded((8.0 / y2 - 5.0) / 3.0), y, y2};
  return {CS_TAIL, s.NTTAIL, rounded(8.0 / y2 - 1.0), y, y2};
}

// The series of e summed as CSEVL sums it (without its checks and trace).
template <bool Fma>
inline float csevl_sum(const ErfcSeries& e) {
  Clenshaw<Fma> series(e.arg, e.cs, e.n);
  while (series.left > 0) series.step();
  return series.sum();
}

// ERFC at x from the value c of its series.
inline float erfc_from_series(float x, const ErfcSeries& e, float c) {
  if (e.y <= 1.0f)  // 1 - x * (1 + c)
    return rounded(1.0 - wide(x) * (1.0 + c));
  // Grouping: (exp(-y^2) / |x|) * (0.5 + c).
  const float r = rounded(wide(numlib::expf(-e.y2)) / e.y * (0.5 + wide(c)));
  return x >= 0.0f ? r : rounded(2.0 - r);
}

template <bool Fma>
inline float csevl(Context& ctx, float x, const float* cs, int32_t n) {
  E1PSH(ctx, kCSEVL);
  if (n < 1 || n > 1000) [[unlikely]] {
    E1SUBI(ctx, 1, n);
    if (n < 1)
      E1MSG(ctx, ERR_TERMINAL, 5, "The number of terms in the series is not positive. N = %(I1).");
    else
      E1MSG(ctx, ERR_TERMINAL, 6, "The number of terms in the series is greater than 1000. N = %(I1).");
    const float result = AMACH(ctx, 6);
    E1POP(ctx, kCSEVL);
    return result;
  }
  if (x < -1.1f || x > 1.1f) [[unlikely]] {
    E1SUBR(ctx, 1, x);
    E1MSG(ctx, ERR_WARNING, 7, "The argument X = %(R1) is outside the interval (-1.1,+1.1).");
  }
  Clenshaw<Fma> series(x, cs, n);
  while (series.left > 0) series.step();
  const float result = series.sum();
  E1POP(ctx, kCSEVL);
  return result;
}

template <bool Fma>
inline float erfc(Context& ctx, float x) {
  E1PSH(ctx, kERFC);
  constexpr const detail::ErfcSetup& s = detail::kErfc;
  float result;
  if (x <= s.XSML) {
    result = 2.0f;
  } else if (x > s.XMAX) [[unlikely]] {
    result = underflow_alert(ctx, x, s.XMAX);
  } else if (std::fabs(x) < s.SQEPS) {
    result = erfc_linear(x);
  } else {
    const ErfcSeries e = erfc_series(x, s);
    result = erfc_from_series(x, e, csevl<Fma>(ctx, e.arg, e.cs, e.n));
  }
  E1POP(ctx, kERFC);
  return result;
}

template <bool Fma>
inline float erfce(Context& ctx, float x) {
  E1PSH(ctx, kERFCE);
  constexpr const detail::ErfceSetup& s = detail::kErfce;
  const double xd = x;
  float result;
  if (x < s.XMIN) [[unlikely]] {
    E1SUBR(ctx, 1, x);
    E1SUBR(ctx, 2, s.XMIN);
    E1MSG(ctx, ERR_TERMINAL, 4, "The function overflows because X = %(R1) is less than %(R2).");
    result = AMACH(ctx, 6);
  } else if (x <= s.XSML) {
    result = rounded(2.0 * numlib::expf(rounded(xd * xd)));
  } else if (x > s.XMAX) [[unlikely]] {
    result = underflow_alert(ctx, x, s.XMAX);
  } else {
    const float ax = std::fabs(x);
    if (ax <= 1.0f) {
      if (ax < s.SQEPS) {
        result = erfc_linear(x);
      } else {
        const float e = numlib::expf(rounded(xd * xd));
        const float c = csevl<Fma>(ctx, rounded(2.0 * xd * xd - 1.0), CS_CENTRAL, s.NTCENT);
        result = rounded(wide(e) * (1.0 - xd * (1.0 + c)));
      }
    } else {
      float c;
      if (ax <= 2.0f)
        c = csevl<Fma>(ctx, rounded((8.0 / (xd * xd) - 5.0) / 3.0), CS_MIDDLE, s.NTMID);
      else if (ax <= s.XSQMAX)
        c = csevl<Fma>(ctx, rounded(8.0 / (xd * xd) - 1.0), CS_TAIL, s.NTTAIL);
      else
        c = csevl<Fma>(ctx, -1.0f, CS_TAIL, s.NTTAIL);
      const float r = rounded((0.5 + wide(c)) / ax);
      result = x >= 0.0f ? r : rounded(2.0 * numlib::expf(rounded(xd * xd)) - r);
    }
  }
  E1POP(ctx, kERFCE);
  return result;
}

// ERFCI's central series: t * (1 + series(32t^2/9 - 1)) for |t| < 0.75,
// where CSEVL raises nothing.
template <bool Fma>
inline float erfci_central(float t) {
  const double td = t;
  // Grouping: (32 * t * t) / 9 - 1.
  Clenshaw<Fma> series(rounded(32.0 * td * td / 9.0 - 1.0), CS_INVERSE, detail::kErfci.NTINV);
  while (series.left > 0) series.step();
  return rounded(td * (1.0 + series.sum()));
}

template <bool Fma>
inline float erfci(Context& ctx, float x) {
  E1PSH(ctx, kERFCI);
  constexpr const detail::ErfciSetup& s = detail::kErfci;
  if (x <= 0.0f || x >= 2.0f) [[unlikely]] {
    E1SUBR(ctx, 1, x);
    if (x <= 0.0f)
      E1MSG(ctx, ERR_TERMINAL, 5, "X = %(R1) must be greater than zero.");
    else
      E1MSG(ctx, ERR_TERMINAL, 6, "X = %(R1) must be less than 2.0.");
    const float result = AMACH(ctx, 6);
    E1POP(ctx, kERFCI);
    return result;
  }
  if (x > s.XLIM) [[unlikely]] {
    E1SUBR(ctx, 1, x);
    E1MSG(ctx, ERR_WARNING, 2,
          "The result is accurate to less than one half precision because X = %(R1) is too "
          "close to 2.0.");
  }
  const float t = rounded(1.0 - x);
  if (std::fabs(t) < 0.75f) {
    const double td = t;
    // Grouping: (32 * t * t) / 9 - 1.
    const float c = csevl<Fma>(ctx, rounded(32.0 * td * td / 9.0 - 1.0), CS_INVERSE, s.NTINV);
    const float result = rounded(td * (1.0 + c));
    E1POP(ctx, kERFCI);
    return result;
  }
  // Tail: Newton iteration on erfc(y) = z, z in (0, 0.25], from an
  // asymptotic start.
  const float z = t >= 0.0f ? x : rounded(2.0 - x);
  const float L = numlib::logf(z);
  const float v = -numlib::logf(rounded(wide(kSQRTPI) * z));
  const float lnv = numlib::logf(v);
  // Grouping: (v - 0.5 ln v) + (0.25 ln v - 0.5) / v.
  float y = std::sqrt(rounded(wide(v) - 0.5 * lnv + (0.25 * lnv - 0.5) / v));
  for (int32_t iter = 1; iter <= 100; ++iter) {
    const double yd = y;
    // erfc(y) - z = exp(-y^2) * (ERFCE(y) - exp(y^2 + ln z)); the step
    // divides by the derivative, -2 exp(-y^2) / sqrt(pi).
    const float d =
        rounded(wide(kHALFSQRTPI) * (wide(erfce<Fma>(ctx, y)) - numlib::expf(rounded(yd * yd + L))));
    if (std::fabs(wide(d)) < wide(s.TOL) * (yd + d)) {
      const float root = rounded(yd + d);
      const float result = t >= 0.0f ? root : -root;
      E1POP(ctx, kERFCI);
      return result;
    }
    y = rounded(yd + d);
  }
  E1MSG(ctx, ERR_TERMINAL, 7,
        "Sufficiently accurate result was not achieved in a reasonable number of iterations. "
        "An algorithmic problem exists.");
  E1POP(ctx, kERFCI);
  return y;
}

// Phi at x = 1 and -1, where the complexity sampler standardises a missing
// bound: ERFC sums its central series there and raises nothing, so the two
// values are summed once, on first use.
inline float anordf_unit(float x) {
  static const float phi[2] = {
      rounded(0.5 * erfc_from_series(kSQRTHALF, erfc_series(kSQRTHALF, detail::kErfc),
                                     csevl_sum<false>(erfc_series(kSQRTHALF, detail::kErfc)))),
      rounded(0.5 * erfc_from_series(-kSQRTHALF, erfc_series(-kSQRTHALF, detail::kErfc),
                                     csevl_sum<false>(erfc_series(-kSQRTHALF, detail::kErfc))))};
  return x < 0.0f ? phi[0] : phi[1];
}

// Where ERFC answers without a series, or its series has a known value, the
// result is given without calling it. What such a call would leave in the
// error handler is never seen afterwards: names pushed and popped without an
// error leave nothing behind, and the underflow alert of ERFC (argument above
// XMAX) is cleared by ANORDF itself before it returns, while the values it
// stores for its message are replaced before any later message uses them.
// Only messages that may be printed, and the stop, matter to the run.
template <bool Fma>
inline float anordf(Context& ctx, float x) {
  const float arg = rounded(wide(-kSQRTHALF) * x);
  constexpr const detail::ErfcSetup& s = detail::kErfc;
  if (arg <= s.XSML) return 1.0f;  // erfc is 2
  if (arg > s.XMAX) return 0.0f;   // erfc underflows to 0 (alert cleared)
  if (x == 1.0f || x == -1.0f) return anordf_unit(x);
  E1PSH(ctx, kANORDF);
  const float result = rounded(0.5 * wide(erfc<Fma>(ctx, arg)));
  // The underflow alert of ERFC is expected: clear it so that the caller
  // sees none. ERFC returns 0 only on that path, so the error state needs
  // looking at only then.
  if (result == 0.0f && N1RTY(ctx, 0) == ERR_ALERT) [[unlikely]]
    E1MSG(ctx, 0, 0, " ");
  E1POP(ctx, kANORDF);
  return result;
}

// Whether ANORDF at x answers 0 or 1 without a series: x far below or far
// above the centre (erfc underflows or is 2).
inline bool anordf_is_zero(float x) { return rounded(wide(-kSQRTHALF) * x) > detail::kErfc.XMAX; }
inline bool anordf_is_one(float x) { return rounded(wide(-kSQRTHALF) * x) <= detail::kErfc.XSML; }

// Whether ANORDF at x (ERFC at arg) sums a series whose argument CSEVL takes
// without a warning, and its value is not one known in advance.
inline bool anordf_sums_series(float x, float arg, const detail::ErfcSetup& s, ErfcSeries& e) {
  if (arg <= s.XSML || arg > s.XMAX || std::fabs(arg) < s.SQEPS) return false;
  if (x == 1.0f || x == -1.0f) return false;  // known values
  e = erfc_series(arg, s);
  return !(e.arg < -1.1f || e.arg > 1.1f);
}

template <bool Fma>
inline void anordf_pair(Context& ctx, float a, float b, float& pa, float& pb) {
  constexpr const detail::ErfcSetup& s = detail::kErfc;
  const float arg_a = rounded(wide(-kSQRTHALF) * a);
  const float arg_b = rounded(wide(-kSQRTHALF) * b);
  ErfcSeries ea, eb;
  if (!anordf_sums_series(a, arg_a, s, ea) || !anordf_sums_series(b, arg_b, s, eb)) {
    pa = anordf<Fma>(ctx, a);
    pb = anordf<Fma>(ctx, b);
    return;
  }
  // Both sum a series, where nothing can be raised: the two recurrences run
  // side by side, the longer one starting alone, with the same operations
  // as two CSEVL calls.
  Clenshaw<Fma> ca(ea.arg, ea.cs, ea.n);
  Clenshaw<Fma> cb(eb.arg, eb.cs, eb.n);
  while (ca.left > cb.left) ca.step();
  while (cb.left > ca.left) cb.step();
  while (ca.left > 0) {
    ca.step();
    cb.step();
  }
  pa = rounded(0.5 * wide(erfc_from_series(arg_a, ea, ca.sum())));
  pb = rounded(0.5 * wide(erfc_from_series(arg_b, eb, cb.sum())));
}

template <bool Fma>
inline float anorin(Context& ctx, float p) {
  E1PSH(ctx, kANORIN);
  if (p <= 0.0f || p >= 1.0f) [[unlikely]] {
    E1SUBR(ctx, 1, p);
    E1MSG(ctx, ERR_TERMINAL, 1,
          "The argument to the function must be greater than 0.0 and less than 1.0.  P = %(R1).");
    const float result = AMACH(ctx, 6);
    E1POP(ctx, kANORIN);
    return result;
  }
  const float x = rounded(2.0 * p);
  const float result = rounded(wide(kMSQRT2) * erfci<Fma>(ctx, x));
  // ERFCI warns of reduced precision for an argument above XLIM (p above
  // about 0.99999559); that loss is accepted here, so the warning is
  // cleared. Only above XLIM can it have been raised.
  if (x > detail::kErfci.XLIM) [[unlikely]] {
    if (N1RTY(ctx, 0) == ERR_WARNING && N1RCD(ctx, 0) == 2) E1MSG(ctx, 0, 0, " ");
  }
  E1POP(ctx, kANORIN);
  return result;
}

// Whether ANORIN at p takes ERFCI's central series, where nothing can be
// raised and only names are pushed and popped: then its value is
// anorin_central(p).
inline bool anorin_is_central(float p) {
  if (!(p > 0.0f && p < 1.0f)) return false;
  const float x = rounded(2.0 * p);
  return std::fabs(rounded(1.0 - x)) < 0.75f;  // then x is far below XLIM
}

template <bool Fma>
inline float anorin_central(float p) {
  const float x = rounded(2.0 * p);
  return rounded(wide(kMSQRT2) * erfci_central<Fma>(rounded(1.0 - x)));
}

}  // namespace numlib::kernels
