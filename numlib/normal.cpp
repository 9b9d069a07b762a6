// Normal distribution function and its inverse, the complementary error
// function, its scaled form and its inverse, and the Chebyshev series they
// are evaluated from.
//
// Arithmetic: every named quantity is a float. Each assignment evaluates its
// right-hand side in double (float operands converted exactly) and rounds
// once when it stores; the mathematics functions are the single-precision
// ones, called with the argument rounded to float. A stored value is
// compared with a literal in float; a comparison of two expressions is made
// in double on the unrounded expressions.
#include "numlib/normal.h"

#include <cmath>

#include "numlib/errors.h"

namespace numlib {

namespace detail {
ErfcSetup g_erfc;
ErfceSetup g_erfce;
ErfciSetup g_erfci;
}  // namespace detail

namespace {

// Routine names on the error stack, blank-padded to six characters. Push and
// pop are given the same pointer.
constexpr char kCSEVL[] = "CSEVL ";
constexpr char kINITS[] = "INITS ";
constexpr char kERFC[] = "ERFC  ";
constexpr char kERFCE[] = "ERFCE ";
constexpr char kERFCI[] = "ERFCI ";
constexpr char kANORDF[] = "ANORDF";
constexpr char kANORIN[] = "ANORIN";

constexpr float kSQRTPI = 1.77245390f;    // sqrt(pi)
constexpr float kHALFSQRTPI = 0.886226952f;  // sqrt(pi)/2
constexpr float kSQRTHALF = 0.707106769f;  // sqrt(1/2), 0x3F3504F3
constexpr float kMSQRT2 = -1.41421354f;    // -sqrt(2), 0xBFB504F3

// erfc(x) = 1 - x * (1 + series), |x| <= 1, series argument 2x^2 - 1.
static constexpr float CS_CENTRAL[13] = {
    -0.0490461215f,   -0.142261207f,    0.0100355819f,    -0.000576876453f,
    2.74199319e-05f,  -1.10431756e-06f, 3.84887571e-08f,  -1.18085830e-09f,
    3.23342152e-11f,  -7.99101616e-13f, 1.79907257e-14f,  -3.71863557e-16f,
    7.10359880e-18f};

// erfc(x) = exp(-x^2) / |x| * (0.5 + series), 1 < |x| <= 2, series
// argument (8/x^2 - 5)/3.
static constexpr float CS_MIDDLE[23] = {
    -0.0696013495f,   -0.0411013402f,   0.00391449593f,   -0.000490639592f,
    7.15747883e-05f,  -1.15307166e-05f, 1.99467058e-06f,  -3.64266640e-07f,
    6.94437290e-08f,  -1.37122091e-08f, 2.78838974e-09f,  -5.81416471e-10f,
    1.23892049e-10f,  -2.69063920e-11f, 5.94261446e-12f,  -1.33238678e-12f,
    3.02804683e-13f,  -6.96664880e-14f, 1.62085447e-14f,  -3.80993429e-15f,
    9.04048747e-16f,  -2.16400626e-16f, 5.22210238e-17f};

// erfc(x) = exp(-x^2) / |x| * (0.5 + series), |x| > 2, series argument
// 8/x^2 - 1.
static constexpr float CS_TAIL[24] = {
    0.0715179294f,    -0.0265324339f,   0.00171115401f,   -0.000163751669f,
    1.98712933e-05f,  -2.84371231e-06f, 4.60616121e-07f,  -8.22775306e-08f,
    1.59214188e-08f,  -3.29507133e-09f, 7.22343962e-10f,  -1.66485575e-10f,
    4.01039271e-11f,  -1.00481620e-11f, 2.60827601e-12f,  -6.99111071e-13f,
    1.92949240e-13f,  -5.47013132e-14f, 1.58966332e-14f,  -4.72689404e-15f,
    1.43587342e-15f,  -4.44951066e-16f, 1.40481089e-16f,  -4.51381839e-17f};

// Inverse of erfc: erfci(x) = t * (1 + series), t = 1 - x, |t| < 0.75,
// series argument 32t^2/9 - 1.
static constexpr float CS_INVERSE[22] = {
    -0.0510281622f,   0.0976712108f,    0.0106798429f,    0.00145839259f,
    0.000221395618f,  3.57546414e-05f,  6.01305237e-06f,  1.04056051e-06f,
    1.83930993e-07f,  3.30485967e-08f,  6.01592287e-09f,  1.10675058e-09f,
    2.05404999e-10f,  3.84048557e-11f,  7.22613505e-12f,  1.36709069e-12f,
    2.59870820e-13f,  4.96064981e-14f,  9.50461261e-15f,  1.82714070e-15f,
    3.52293523e-16f,  6.81093767e-17f};

constexpr char kUnderflowMsg[] =
    "The function underflows because X = %(R1) is greater than %(R2). The result is set to zero.";

// Tolerance for the term counts of every series: 0.1 * AMACH(3).
float series_eta() { return static_cast<float>(static_cast<double>(0.1f) * AMACH(3)); }

// XSML of ERFC and ERFCE: -sqrt(-ln(sqrt(pi) * AMACH(3))).
float small_limit() {
  const float spe = static_cast<float>(static_cast<double>(kSQRTPI) * AMACH(3));
  return -std::sqrt(-std::log(spe));
}

// SQEPS of ERFC and ERFCE: sqrt(2 * AMACH(3)).
float sqeps_limit() { return std::sqrt(static_cast<float>(2.0 * AMACH(3))); }

[[gnu::cold, gnu::noinline]] void erfc_setup() {
  detail::ErfcSetup& s = detail::g_erfc;
  const float eta = series_eta();
  s.NTCENT = INITS(CS_CENTRAL, 13, eta);
  s.NTTAIL = INITS(CS_TAIL, 24, eta);
  s.NTMID = INITS(CS_MIDDLE, 23, eta);
  s.XSML = small_limit();
  const float spm = static_cast<float>(static_cast<double>(kSQRTPI) * AMACH(1));
  const float T = std::sqrt(-std::log(spm));
  // Grouping: (T - (0.5 * ln T) / T) - 0.01.
  s.XMAX = static_cast<float>(static_cast<double>(T) -
                              static_cast<double>(0.5f) * std::log(T) / T -
                              static_cast<double>(0.01f));
  s.SQEPS = sqeps_limit();
}

[[gnu::cold, gnu::noinline]] void erfce_setup() {
  detail::ErfceSetup& s = detail::g_erfce;
  const float eta = series_eta();
  s.NTCENT = INITS(CS_CENTRAL, 13, eta);
  s.NTTAIL = INITS(CS_TAIL, 24, eta);
  s.NTMID = INITS(CS_MIDDLE, 23, eta);
  const float half_big = static_cast<float>(AMACH(2) / 2.0);
  s.XMIN = static_cast<float>(static_cast<double>(0.01f) - std::sqrt(std::log(half_big)));
  s.XSML = small_limit();
  const float spm = static_cast<float>(static_cast<double>(kSQRTPI) * AMACH(1));
  const float lmin = std::fmin(-std::log(spm), std::log(AMACH(2)));
  s.XMAX = std::exp(static_cast<float>(static_cast<double>(lmin) - static_cast<double>(0.01f)));
  s.SQEPS = sqeps_limit();
  // The tail series is evaluated at -1 above sqrt(XMAX); the root is taken
  // once here (the same float as taking it on every call).
  s.XSQMAX = std::sqrt(s.XMAX);
}

[[gnu::cold, gnu::noinline]] void erfci_setup() {
  detail::ErfciSetup& s = detail::g_erfci;
  s.NTINV = INITS(CS_INVERSE, 22, series_eta());
  const float a = std::sqrt(static_cast<float>(static_cast<double>(AMACH(4)) / 12.566f));
  const float b = static_cast<float>(
      -static_cast<double>(a) / std::log(static_cast<float>(static_cast<double>(1.77f) * a)));
  const float l = std::log(static_cast<float>(static_cast<double>(1.77f) * b));
  const double bd = b;
  const double ld = l;
  s.XLIM = static_cast<float>(2.0 - (bd - (bd * ld + a) / (1.0 + ld)));
  s.TOL = static_cast<float>(10.0 * AMACH(4));
}

// 1 - 2x/sqrt(pi), for |x| below SQEPS. Grouping: (2x) / sqrt(pi).
inline float erfc_linear(float x) {
  return static_cast<float>(1.0 - 2.0 * x / static_cast<double>(kSQRTPI));
}

// The Clenshaw recurrence of CSEVL, one term at a time: b0 := t*b1 - b2 +
// cs(n + 1 - i) for i = 1..n, t = 2x, each b rounded to float.
struct Clenshaw {
  Clenshaw(float x, const float* coefficients, int32_t count)
      : t(static_cast<float>(2.0 * x)), cs(coefficients), left(count) {}
  void step() {
    b2 = b1;
    b1 = b0;
    // Grouping: (t * b1 - b2) + cs(n + 1 - i).
    b0 = static_cast<float>(static_cast<double>(t) * b1 - b2 + cs[--left]);
  }
  float sum() const { return static_cast<float>((static_cast<double>(b0) - b2) / 2.0); }

  float b0 = 0.0f;
  float b1 = 0.0f;
  float b2 = 0.0f;
  float t;
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

ErfcSeries erfc_series(float x, const detail::ErfcSetup& s) {
  const float y = std::fabs(x);
  if (y <= 1.0f) {
    const double xd = x;
    return {CS_CENTRAL, s.NTCENT, static_cast<float>(2.0 * xd * xd - 1.0), y, 0.0f};
  }
  const float y2 = static_cast<float>(static_cast<double>(y) * y);
  if (y2 <= 4.0f)
    return {CS_MIDDLE, s.NTMID, static_cast<float>((8.0 / y2 - 5.0) / 3.0), y, y2};
  return {CS_TAIL, s.NTTAIL, static_cast<float>(8.0 / y2 - 1.0), y, y2};
}

// The series of e summed as CSEVL sums it (without its checks and trace).
float csevl_sum(const ErfcSeries& e) {
  Clenshaw series(e.arg, e.cs, e.n);
  while (series.left > 0) series.step();
  return series.sum();
}

// ERFC at x from the value c of its series.
float erfc_from_series(float x, const ErfcSeries& e, float c) {
  if (e.y <= 1.0f)  // 1 - x * (1 + c)
    return static_cast<float>(1.0 - static_cast<double>(x) * (1.0 + c));
  // Grouping: (exp(-y^2) / |x|) * (0.5 + c).
  const float r = static_cast<float>(static_cast<double>(std::exp(-e.y2)) / e.y *
                                     (0.5 + static_cast<double>(c)));
  return x >= 0.0f ? r : static_cast<float>(2.0 - r);
}

}  // namespace

float CSEVL(float x, const float* cs, int32_t n) {
  E1PSH(kCSEVL);
  if (n < 1 || n > 1000) [[unlikely]] {
    E1SUBI(1, n);
    if (n < 1)
      E1MSG(ERR_TERMINAL, 5, "The number of terms in the series is not positive. N = %(I1).");
    else
      E1MSG(ERR_TERMINAL, 6, "The number of terms in the series is greater than 1000. N = %(I1).");
    const float result = AMACH(6);
    E1POP(kCSEVL);
    return result;
  }
  if (x < -1.1f || x > 1.1f) [[unlikely]] {
    E1SUBR(1, x);
    E1MSG(ERR_WARNING, 7, "The argument X = %(R1) is outside the interval (-1.1,+1.1).");
  }
  Clenshaw series(x, cs, n);
  while (series.left > 0) series.step();
  const float result = series.sum();
  E1POP(kCSEVL);
  return result;
}

int32_t INITS(const float* os, int32_t nos, float eta) {
  E1PSH(kINITS);
  if (nos < 1) {
    E1SUBI(1, nos);
    E1MSG(ERR_TERMINAL, 5, "The number of coefficients is less than 1. NOS = %(I1).");
    E1POP(kINITS);
    return 0;
  }
  float err = 0.0f;
  int32_t i = nos;
  bool stopped = false;
  for (; i >= 1; --i) {
    err = static_cast<float>(static_cast<double>(err) + std::fabs(os[i - 1]));
    if (err > eta) {
      stopped = true;
      break;
    }
  }
  int32_t result = stopped ? i : 1;
  if ((stopped && i == nos) || (!stopped && nos == 1)) {
    E1MSG(ERR_TERMINAL, 6, "Too much accuracy may be requested. ETA should be increased.");
    result = 0;
  }
  E1POP(kINITS);
  return result;
}

float ERFC(float x) {
  E1PSH(kERFC);
  const detail::ErfcSetup& s = detail::g_erfc;
  if (s.NTCENT == 0) [[unlikely]]
    erfc_setup();
  float result;
  if (x <= s.XSML) {
    result = 2.0f;
  } else if (x > s.XMAX) [[unlikely]] {
    E1SUBR(1, x);
    E1SUBR(2, s.XMAX);
    E1MSG(ERR_ALERT, 1, kUnderflowMsg);
    result = 0.0f;
  } else if (std::fabs(x) < s.SQEPS) {
    result = erfc_linear(x);
  } else {
    const ErfcSeries e = erfc_series(x, s);
    result = erfc_from_series(x, e, CSEVL(e.arg, e.cs, e.n));
  }
  E1POP(kERFC);
  return result;
}

float ERFCE(float x) {
  E1PSH(kERFCE);
  const detail::ErfceSetup& s = detail::g_erfce;
  if (s.NTCENT == 0) [[unlikely]]
    erfce_setup();
  const double xd = x;
  float result;
  if (x < s.XMIN) [[unlikely]] {
    E1SUBR(1, x);
    E1SUBR(2, s.XMIN);
    E1MSG(ERR_TERMINAL, 4, "The function overflows because X = %(R1) is less than %(R2).");
    result = AMACH(6);
  } else if (x <= s.XSML) {
    result = static_cast<float>(2.0 * std::exp(static_cast<float>(xd * xd)));
  } else if (x > s.XMAX) [[unlikely]] {
    E1SUBR(1, x);
    E1SUBR(2, s.XMAX);
    E1MSG(ERR_ALERT, 1, kUnderflowMsg);
    result = 0.0f;
  } else {
    const float ax = std::fabs(x);
    if (ax <= 1.0f) {
      if (ax < s.SQEPS) {
        result = erfc_linear(x);
      } else {
        const float e = std::exp(static_cast<float>(xd * xd));
        const float c = CSEVL(static_cast<float>(2.0 * xd * xd - 1.0), CS_CENTRAL, s.NTCENT);
        result = static_cast<float>(static_cast<double>(e) * (1.0 - xd * (1.0 + c)));
      }
    } else {
      float c;
      if (ax <= 2.0f)
        c = CSEVL(static_cast<float>((8.0 / (xd * xd) - 5.0) / 3.0), CS_MIDDLE, s.NTMID);
      else if (ax <= s.XSQMAX)
        c = CSEVL(static_cast<float>(8.0 / (xd * xd) - 1.0), CS_TAIL, s.NTTAIL);
      else
        c = CSEVL(-1.0f, CS_TAIL, s.NTTAIL);
      const float r = static_cast<float>((0.5 + static_cast<double>(c)) / ax);
      result = x >= 0.0f
                   ? r
                   : static_cast<float>(2.0 * std::exp(static_cast<float>(xd * xd)) - r);
    }
  }
  E1POP(kERFCE);
  return result;
}

float ERFCI(float x) {
  E1PSH(kERFCI);
  const detail::ErfciSetup& s = detail::g_erfci;
  if (s.NTINV == 0) [[unlikely]]
    erfci_setup();
  if (x <= 0.0f || x >= 2.0f) [[unlikely]] {
    E1SUBR(1, x);
    if (x <= 0.0f)
      E1MSG(ERR_TERMINAL, 5, "X = %(R1) must be greater than zero.");
    else
      E1MSG(ERR_TERMINAL, 6, "X = %(R1) must be less than 2.0.");
    const float result = AMACH(6);
    E1POP(kERFCI);
    return result;
  }
  if (x > s.XLIM) [[unlikely]] {
    E1SUBR(1, x);
    E1MSG(ERR_WARNING, 2,
          "The result is accurate to less than one half precision because X = %(R1) is too "
          "close to 2.0.");
  }
  const float t = static_cast<float>(1.0 - x);
  if (std::fabs(t) < 0.75f) {
    const double td = t;
    // Grouping: (32 * t * t) / 9 - 1.
    const float c = CSEVL(static_cast<float>(32.0 * td * td / 9.0 - 1.0), CS_INVERSE, s.NTINV);
    const float result = static_cast<float>(td * (1.0 + c));
    E1POP(kERFCI);
    return result;
  }
  // Tail: Newton iteration on erfc(y) = z, z in (0, 0.25], from an
  // asymptotic start.
  const float z = t >= 0.0f ? x : static_cast<float>(2.0 - x);
  const float L = std::log(z);
  const float v = -std::log(static_cast<float>(static_cast<double>(kSQRTPI) * z));
  const float lnv = std::log(v);
  // Grouping: (v - 0.5 ln v) + (0.25 ln v - 0.5) / v.
  float y = std::sqrt(static_cast<float>(static_cast<double>(v) - 0.5 * lnv +
                                         (0.25 * lnv - 0.5) / v));
  for (int32_t iter = 1; iter <= 100; ++iter) {
    const double yd = y;
    // erfc(y) - z = exp(-y^2) * (ERFCE(y) - exp(y^2 + ln z)); the step
    // divides by the derivative, -2 exp(-y^2) / sqrt(pi).
    const float d = static_cast<float>(
        static_cast<double>(kHALFSQRTPI) *
        (static_cast<double>(ERFCE(y)) - std::exp(static_cast<float>(yd * yd + L))));
    if (std::fabs(static_cast<double>(d)) < static_cast<double>(s.TOL) * (yd + d)) {
      const float root = static_cast<float>(yd + d);
      const float result = t >= 0.0f ? root : -root;
      E1POP(kERFCI);
      return result;
    }
    y = static_cast<float>(yd + d);
  }
  E1MSG(ERR_TERMINAL, 7,
        "Sufficiently accurate result was not achieved in a reasonable number of iterations. "
        "An algorithmic problem exists.");
  E1POP(kERFCI);
  return y;
}

namespace {

// ANORDF far out, where ERFC takes one of its first two branches: its
// argument at or below XSML gives erfc = 2 and the result exactly 1; above
// XMAX erfc underflows with its alert and the result is exactly 0. These
// answer without ERFC and leave the error handler as the full evaluation
// does: the same names pushed and popped, the same substitution values,
// types and codes. Only the alert's message text is not built, since
// ANORDF clears it before anyone can read it.
float anordf_one() {
  E1PSH(kANORDF);
  E1PSH(kERFC);
  E1POP(kERFC);
  E1POP(kANORDF);
  return 1.0f;
}

[[gnu::noinline]] float anordf_zero(float arg) {
  E1PSH(kANORDF);
  E1PSH(kERFC);
  E1SUBR(1, arg);
  E1SUBR(2, detail::g_erfc.XMAX);
  E1MSG(ERR_ALERT, 1, " ");  // the type and code of ERFC's alert, no text
  E1POP(kERFC);              // hands the alert down to ANORDF's level
  E1MSG(0, 0, " ");          // which clears it, as below
  E1POP(kANORDF);
  return 0.0f;
}

// The trace that ANORDF leaves on the error stack when ERFC sums a series
// without raising anything: the three names pushed and popped.
void trace_anordf_series() {
  E1PSH(kANORDF);
  E1PSH(kERFC);
  E1PSH(kCSEVL);
  E1POP(kCSEVL);
  E1POP(kERFC);
  E1POP(kANORDF);
}

// ANORDF at x = 1 or -1, where the complexity sampler's missing bounds
// standardise: ERFC sums its central series there, raising nothing, and the
// two values are summed once, on the first call after ERFC's set-up.
float anordf_unit(float x) {
  static const float phi[2] = {
      static_cast<float>(0.5 * erfc_from_series(kSQRTHALF, erfc_series(kSQRTHALF, detail::g_erfc),
                                                csevl_sum(erfc_series(kSQRTHALF, detail::g_erfc)))),
      static_cast<float>(0.5 * erfc_from_series(-kSQRTHALF, erfc_series(-kSQRTHALF, detail::g_erfc),
                                                csevl_sum(erfc_series(-kSQRTHALF, detail::g_erfc))))};
  trace_anordf_series();
  return x < 0.0f ? phi[0] : phi[1];
}

}  // namespace

float ANORDF(float x) {
  const float arg = static_cast<float>(static_cast<double>(-kSQRTHALF) * x);
  const detail::ErfcSetup& s = detail::g_erfc;
  if (s.NTCENT != 0) {  // ERFC's limits are known
    if (arg <= s.XSML) return anordf_one();
    if (arg > s.XMAX) return anordf_zero(arg);
    if (x == 1.0f || x == -1.0f) return anordf_unit(x);
  }
  E1PSH(kANORDF);
  const float result = static_cast<float>(0.5 * static_cast<double>(ERFC(arg)));
  // The underflow alert of ERFC (argument above XMAX, x below about -12.99)
  // is expected: clear it so that the caller sees none. ERFC returns 0 only
  // on that path, so the error state needs looking at only then.
  if (result == 0.0f && N1RTY(0) == ERR_ALERT) [[unlikely]]
    E1MSG(0, 0, " ");
  E1POP(kANORDF);
  return result;
}

namespace {

// Whether ANORDF at x (ERFC at arg) sums a series whose argument CSEVL takes
// without a warning, and its value is not one known in advance.
bool anordf_sums_series(float x, float arg, const detail::ErfcSetup& s, ErfcSeries& e) {
  if (arg <= s.XSML || arg > s.XMAX || std::fabs(arg) < s.SQEPS) return false;
  if (x == 1.0f || x == -1.0f) return false;  // known values
  e = erfc_series(arg, s);
  return !(e.arg < -1.1f || e.arg > 1.1f);
}

}  // namespace

void ANORDF_PAIR(float a, float b, float& pa, float& pb) {
  const detail::ErfcSetup& s = detail::g_erfc;
  const float arg_a = static_cast<float>(static_cast<double>(-kSQRTHALF) * a);
  const float arg_b = static_cast<float>(static_cast<double>(-kSQRTHALF) * b);
  ErfcSeries ea, eb;
  if (s.NTCENT == 0 || !anordf_sums_series(a, arg_a, s, ea) ||
      !anordf_sums_series(b, arg_b, s, eb)) {
    pa = ANORDF(a);
    pb = ANORDF(b);
    return;
  }
  // Both sum a series, where nothing can be raised: the two recurrences run
  // side by side, the longer one starting alone, with the same operations
  // as two CSEVL calls.
  Clenshaw ca(ea.arg, ea.cs, ea.n);
  Clenshaw cb(eb.arg, eb.cs, eb.n);
  while (ca.left > cb.left) ca.step();
  while (cb.left > ca.left) cb.step();
  while (ca.left > 0) {
    ca.step();
    cb.step();
  }
  pa = static_cast<float>(0.5 * static_cast<double>(erfc_from_series(arg_a, ea, ca.sum())));
  pb = static_cast<float>(0.5 * static_cast<double>(erfc_from_series(arg_b, eb, cb.sum())));
  trace_anordf_series();  // the call for a
  trace_anordf_series();  // the call for b
}

float ANORIN(float p) {
  E1PSH(kANORIN);
  if (p <= 0.0f || p >= 1.0f) [[unlikely]] {
    E1SUBR(1, p);
    E1MSG(ERR_TERMINAL, 1,
          "The argument to the function must be greater than 0.0 and less than 1.0.  P = %(R1).");
    const float result = AMACH(6);
    E1POP(kANORIN);
    return result;
  }
  const float x = static_cast<float>(2.0 * p);
  const float result = static_cast<float>(static_cast<double>(kMSQRT2) * ERFCI(x));
  // ERFCI warns of reduced precision for an argument above XLIM (p above
  // about 0.99999559); that loss is accepted here, so the warning is
  // cleared. Only above XLIM can it have been raised.
  if (x > detail::g_erfci.XLIM) [[unlikely]] {
    if (N1RTY(0) == ERR_WARNING && N1RCD(0) == 2)
      E1MSG(0, 0, " ");
  }
  E1POP(kANORIN);
  return result;
}

}  // namespace numlib
