// Tests of the normal distribution functions, the error functions beneath
// them and the Chebyshev series routines.
//
// Known values are decimal figures of the mathematical functions; accuracy
// is measured against double-precision references computed here (std::erfc,
// and its inverse by bisection and Newton steps).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "numlib/context.h"
#include "numlib/errors.h"
#include "numlib/normal.h"
#include "support/run.h"
#include "library_stop.h"
#include "support/stop.h"

namespace numlib {
namespace {

using test_support::Bits;
using test_support::Lines;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// ---- helpers -------------------------------------------------------------

// Tolerance tiers, as relative errors.
enum class Tier {
  kExact,  // the same float
  kFloat,  // a few roundings of single precision: 3e-7
  kSix,    // a value known to six significant figures: 1e-6
  kTail,   // deep tails, where the float rounding of x^2 is amplified: 2e-5
};

double Bound(Tier tier) {
  switch (tier) {
    case Tier::kExact: return 0.0;
    case Tier::kFloat: return 3e-7;
    case Tier::kSix: return 1e-6;
    case Tier::kTail: return 2e-5;
  }
  return 0.0;
}

struct Known {
  float arg;
  double value;
  Tier tier;
};

void ExpectKnown(Context& ctx, const char* routine, float (*f)(Context&, float), const Known& k) {
  const float got = f(ctx, k.arg);
  SCOPED_TRACE(std::string(routine) + "(" + std::to_string(k.arg) + ")");
  if (k.tier == Tier::kExact) {
    EXPECT_EQ(got, static_cast<float>(k.value));
  } else {
    EXPECT_LE(std::fabs(got - k.value), Bound(k.tier) * std::fabs(k.value))
        << "got " << got << ", expected " << k.value;
  }
}

// Every test runs on a fresh library context whose console is kept in
// memory.
class Run : public test_support::RunTest {
 protected:
  // The error type and code recorded at the caller's level (the test's).
  int32_t UserType() { return N1RTY(ctx, 0); }
  int32_t UserCode() { return N1RCD(ctx, 0); }
  // Clears an error that a test provoked on purpose.
  void ClearUserError() { E1MSG(ctx, 0, 0, " "); }
};

using NormalSetup = Run;
using Inits = Run;
using Csevl = Run;
using Erfc = Run;
using Erfce = Run;
using Erfci = Run;
using Anordf = Run;
using Anorin = Run;

using numlib_test::StopText;

// A measured error, for the test report.
std::string Sci(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3e", v);
  return buf;
}

// Double-precision references.
double RefErfc(double x) { return std::erfc(x); }
double RefPhi(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }
double RefDensity(double x) { return std::exp(-0.5 * x * x) / std::sqrt(2.0 * M_PI); }

// Inverse of the normal distribution function for 0 < p <= 0.5: bisection
// down to a bracket of about 1e-8, then Newton steps.
double RefInverseLower(double p) {
  double lo = -40.0, hi = 0.0;
  for (int i = 0; i < 32; ++i) {
    const double mid = 0.5 * (lo + hi);
    (RefPhi(mid) < p ? lo : hi) = mid;
  }
  double x = 0.5 * (lo + hi);
  for (int i = 0; i < 3; ++i) x -= (RefPhi(x) - p) / RefDensity(x);
  return x;
}
double RefInverse(double p) { return p <= 0.5 ? RefInverseLower(p) : -RefInverseLower(1.0 - p); }

// Error of an inverse value: absolute near 0, relative elsewhere.
double InverseError(float got, double ref) {
  return std::fabs(got - ref) / std::fmax(1.0, std::fabs(ref));
}

// ---- set-up records ------------------------------------------------------

TEST_F(NormalSetup, TermCountsFromTheSeriesTolerance) {
  // eta = 0.1 * AMACH(3), about 5.96184e-09.
  EXPECT_NEAR(0.1f * AMACH(ctx, 3), 5.96184e-09, 1e-14);
  EXPECT_EQ(detail::kErfc.NTCENT, 7);
  EXPECT_EQ(detail::kErfc.NTMID, 10);
  EXPECT_EQ(detail::kErfc.NTTAIL, 9);
  EXPECT_EQ(detail::kErfce.NTCENT, 7);
  EXPECT_EQ(detail::kErfce.NTMID, 10);
  EXPECT_EQ(detail::kErfce.NTTAIL, 9);
  EXPECT_EQ(detail::kErfci.NTINV, 11);
}

struct Limit {
  const char* name;
  const float* value;
  double expected;
  Tier tier;
};

TEST_F(NormalSetup, ArgumentLimitsFromTheMachineConstants) {
  const Limit limits[] = {
      {"ERFC XSML", &detail::kErfc.XSML, -4.00786, Tier::kSix},
      {"ERFC XMAX", &detail::kErfc.XMAX, 9.18493, Tier::kSix},
      {"ERFC SQEPS", &detail::kErfc.SQEPS, 3.45307e-04, Tier::kSix},
      {"ERFCE XMIN", &detail::kErfce.XMIN, -9.37240, Tier::kSix},
      {"ERFCE XSML", &detail::kErfce.XSML, -4.00786, Tier::kSix},
      {"ERFCE XMAX", &detail::kErfce.XMAX, 4.75072e+37, Tier::kSix},
      {"ERFCE SQEPS", &detail::kErfce.SQEPS, 3.45307e-04, Tier::kSix},
      {"ERFCI XLIM", &detail::kErfci.XLIM, 1.99999118, Tier::kExact},
      {"ERFCI TOL", &detail::kErfci.TOL, 1.19237e-06, Tier::kSix},
  };
  for (const Limit& l : limits) {
    SCOPED_TRACE(l.name);
    if (l.tier == Tier::kExact)
      EXPECT_EQ(*l.value, static_cast<float>(l.expected));
    else
      EXPECT_LE(std::fabs(*l.value - l.expected), Bound(l.tier) * std::fabs(l.expected)) << *l.value;
  }
  // Both functions derive the same small-argument limits.
  EXPECT_EQ(detail::kErfc.XSML, detail::kErfce.XSML);
  EXPECT_EQ(detail::kErfc.SQEPS, detail::kErfce.SQEPS);
}

// The routines use the term counts and limits as constants; they must be,
// to the bit, what a first call computes from the machine constants.
TEST_F(NormalSetup, ConstantsAreTheValuesAFirstCallComputes) {
  const detail::ErfcSetup erfc = detail::compute_erfc_setup(ctx);
  const detail::ErfceSetup erfce = detail::compute_erfce_setup(ctx);
  const detail::ErfciSetup erfci = detail::compute_erfci_setup(ctx);
  struct Count {
    const char* name;
    int32_t computed, constant;
  };
  const Count counts[] = {
      {"ERFC NTCENT", erfc.NTCENT, detail::kErfc.NTCENT},
      {"ERFC NTTAIL", erfc.NTTAIL, detail::kErfc.NTTAIL},
      {"ERFC NTMID", erfc.NTMID, detail::kErfc.NTMID},
      {"ERFCE NTCENT", erfce.NTCENT, detail::kErfce.NTCENT},
      {"ERFCE NTTAIL", erfce.NTTAIL, detail::kErfce.NTTAIL},
      {"ERFCE NTMID", erfce.NTMID, detail::kErfce.NTMID},
      {"ERFCI NTINV", erfci.NTINV, detail::kErfci.NTINV},
  };
  for (const Count& c : counts) EXPECT_EQ(c.computed, c.constant) << c.name;
  struct Value {
    const char* name;
    float computed, constant;
  };
  const Value values[] = {
      {"ERFC XSML", erfc.XSML, detail::kErfc.XSML},
      {"ERFC XMAX", erfc.XMAX, detail::kErfc.XMAX},
      {"ERFC SQEPS", erfc.SQEPS, detail::kErfc.SQEPS},
      {"ERFCE XMIN", erfce.XMIN, detail::kErfce.XMIN},
      {"ERFCE XSML", erfce.XSML, detail::kErfce.XSML},
      {"ERFCE XMAX", erfce.XMAX, detail::kErfce.XMAX},
      {"ERFCE SQEPS", erfce.SQEPS, detail::kErfce.SQEPS},
      {"ERFCE XSQMAX", erfce.XSQMAX, detail::kErfce.XSQMAX},
      {"ERFCI XLIM", erfci.XLIM, detail::kErfci.XLIM},
      {"ERFCI TOL", erfci.TOL, detail::kErfci.TOL},
  };
  for (const Value& v : values)
    EXPECT_EQ(Bits(v.computed), Bits(v.constant)) << v.name << ": computed " << v.computed << ", constant "
                                                  << v.constant;
  // Computing them raises nothing and prints nothing.
  EXPECT_EQ(ctx.handler.level, 1);
  EXPECT_EQ(UserType(), 0);
  EXPECT_EQ(UserCode(), 0);
  EXPECT_EQ(t.printed(), "");
}

// ---- INITS ---------------------------------------------------------------

struct InitsCase {
  std::vector<float> os;
  float eta;
  int32_t terms;
};

TEST_F(Inits, CountsTermsFromTheEndUntilTheTailExceedsEta) {
  const InitsCase cases[] = {
      {{1.0f, 0.5f, 0.25f, 0.125f}, 0.3f, 3},    // 0.125 + 0.25 > 0.3 at term 3
      {{1.0f, 0.5f, 0.25f}, 0.25f, 2},           // equality is not enough
      {{1.0f, -0.5f, -0.25f}, 0.7f, 2},          // absolute values count
      {{1.0f, 0.5f, 0.25f}, 10.0f, 1},           // runs out: one term
      {{2.0f, 0.0f, 0.0f, 1e-3f}, 1e-2f, 1},     // zeros add nothing
  };
  for (const InitsCase& c : cases) {
    EXPECT_EQ(INITS(ctx, c.os.data(), static_cast<int32_t>(c.os.size()), c.eta), c.terms)
        << "eta " << c.eta;
    EXPECT_EQ(N1RTY(ctx, 1), 0);
  }
  EXPECT_EQ(t.printed(), "");
}

TEST(InitsStops, NoCoefficients) {
  const float os[1] = {1.0f};
  EXPECT_EQ(StopText([&](Context& ctx) { INITS(ctx, os, 0, 0.1f); }),
            Lines({" *** TERMINAL ERROR 5 from INITS.  The number of coefficients is less",
                   " ***          than 1. NOS = 0."}));
}

TEST(InitsStops, LastCoefficientAloneExceedsEta) {
  const float os[2] = {1.0f, 1.0f};
  const std::string text = Lines({" *** TERMINAL ERROR 6 from INITS.  Too much accuracy may be requested.",
                                  " ***          ETA should be increased."});
  EXPECT_EQ(StopText([&](Context& ctx) { INITS(ctx, os, 2, 0.5f); }), text);
  // A single coefficient is never enough, whatever eta.
  EXPECT_EQ(StopText([&](Context& ctx) { INITS(ctx, os, 1, 10.0f); }), text);
}

// ---- CSEVL ---------------------------------------------------------------

TEST_F(Csevl, OneTermIsHalfTheFirstCoefficient) {
  const float cs[3] = {0.75f, 100.0f, -3.0f};
  for (float x : {-1.1f, -1.0f, -0.3f, 0.0f, 0.5f, 1.0f, 1.1f}) EXPECT_EQ(CSEVL(ctx, x, cs, 1), 0.375f) << x;
}

TEST_F(Csevl, SumsTheChebyshevSeries) {
  // 2/2 + 3 T1(x) + 4 T2(x) + 5 T3(x), with T1 = x, T2 = 2x^2 - 1,
  // T3 = 4x^3 - 3x; all values are exact in float.
  const float cs[4] = {2.0f, 3.0f, 4.0f, 5.0f};
  struct Case {
    float x;
    int32_t n;
    float value;
  };
  const Case cases[] = {
      {0.5f, 2, 2.5f},  {0.5f, 3, 0.5f},  {0.5f, 4, -4.5f}, {-1.0f, 4, -3.0f},
      {1.0f, 4, 13.0f}, {0.0f, 4, -3.0f}, {0.25f, 3, -1.75f},
  };
  for (const Case& c : cases) EXPECT_EQ(CSEVL(ctx, c.x, cs, c.n), c.value) << c.x << " n " << c.n;
}

TEST_F(Csevl, AcceptsUpTo1000Terms) {
  std::vector<float> cs(1000, 0.0f);
  cs[0] = 4.0f;
  cs[999] = 1.0f;  // T999(1) = 1
  EXPECT_EQ(CSEVL(ctx, 1.0f, cs.data(), 1000), 3.0f);
  EXPECT_EQ(N1RTY(ctx, 1), 0);
}

TEST_F(Csevl, ArgumentOutsideTheIntervalWarnsAndGoesOn) {
  const float cs[2] = {2.0f, 1.0f};
  float value = 0.0f;
  const std::string out = t.printed_by([&] { value = CSEVL(ctx, 1.2f, cs, 2); });
  EXPECT_EQ(value, 2.2f);
  EXPECT_EQ(out,
            " *** WARNING ERROR 7 from CSEVL.  The argument X = 1.200000E+00 is\r\n"
            " ***          outside the interval (-1.1,+1.1).\r\n");
  EXPECT_EQ(UserType(), ERR_WARNING);
  EXPECT_EQ(UserCode(), 7);
  ClearUserError();
}

TEST(CsevlStops, TermCountOutOfRange) {
  const float cs[2] = {1.0f, 1.0f};
  EXPECT_EQ(StopText([&](Context& ctx) { CSEVL(ctx, 0.0f, cs, 0); }),
            Lines({" *** TERMINAL ERROR 5 from CSEVL.  The number of terms in the series",
                   " ***          is not positive. N = 0."}));
  EXPECT_EQ(StopText([&](Context& ctx) { CSEVL(ctx, 0.0f, cs, 1001); }),
            Lines({" *** TERMINAL ERROR 6 from CSEVL.  The number of terms in the series",
                   " ***          is greater than 1000. N = 1001."}));
}

// ---- ERFC ----------------------------------------------------------------

TEST_F(Erfc, KnownValuesInEveryBranch) {
  const Known known[] = {
      {0.0f, 1.0, Tier::kExact},
      {-5.0f, 2.0, Tier::kExact},                     // below XSML
      {-1e30f, 2.0, Tier::kExact},
      {-kInf, 2.0, Tier::kExact},
      {1e-4f, 0.9998871620836666, Tier::kFloat},      // below SQEPS: linear
      {-1e-4f, 1.0001128379163334, Tier::kFloat},
      {0.5f, 0.4795001221869535, Tier::kFloat},       // central series
      {-0.5f, 1.5204998778130465, Tier::kFloat},
      {1.0f, 0.15729920705028513, Tier::kFloat},
      {-1.0f, 1.842700792949715, Tier::kFloat},
      {1.5f, 0.033894853524689274, Tier::kFloat},     // middle series
      {-1.5f, 1.9661051464753108, Tier::kFloat},
      {2.0f, 0.004677734981047265, Tier::kFloat},
      {3.0f, 2.2090496998585438e-05, Tier::kFloat},   // tail series
      {-3.0f, 1.9999779095030015, Tier::kFloat},
      {5.0f, 1.5374597944280351e-12, Tier::kSix},
      {9.0f, 4.13703174651381e-37, Tier::kTail},
  };
  for (const Known& k : known) ExpectKnown(ctx, "ERFC", ERFC, k);
  EXPECT_EQ(UserType(), 0);
}

TEST_F(Erfc, UnderflowAboveXmaxIsASilentAlert) {
  const float xmax = detail::kErfc.XMAX;
  EXPECT_GT(ERFC(ctx, xmax), 0.0f);
  EXPECT_EQ(UserType(), 0);
  for (float x : {std::nextafter(xmax, kInf), 10.0f, 1e30f, kInf}) {
    float value = -1.0f;
    EXPECT_EQ(t.printed_by([&] { value = ERFC(ctx, x); }), "");
    EXPECT_EQ(value, 0.0f) << x;
    EXPECT_EQ(UserType(), ERR_ALERT) << x;
    EXPECT_EQ(UserCode(), 1) << x;
    ClearUserError();
    EXPECT_EQ(UserType(), 0);
  }
}

TEST_F(Erfc, AccuracyOverTheWholeRange) {
  // Relative error against erfc in double, for x = k/1024. Above 1 the
  // result carries exp(-x^2) of a float x^2, whose rounding is amplified by
  // x^2 itself: the bound grows with x^2.
  double worst_central = 0.0, worst_scaled = 0.0;
  for (int k = -4200; k <= 9400; ++k) {
    const float x = static_cast<float>(k) / 1024.0f;
    const double ref = RefErfc(x);
    const double rel = std::fabs(ERFC(ctx, x) - ref) / ref;
    if (std::fabs(x) <= 1.0f)
      worst_central = std::fmax(worst_central, rel);
    else
      worst_scaled = std::fmax(worst_scaled, rel / (1.0 + static_cast<double>(x) * x));
  }
  RecordProperty("erfc_central", Sci(worst_central));
  RecordProperty("erfc_scaled", Sci(worst_scaled));
  EXPECT_LT(worst_central, 1.5e-7);
  EXPECT_LT(worst_scaled, 1.0e-7);
}

TEST_F(Erfce, AccuracyOverTheWholeRange) {
  // Relative error against exp(x^2) erfc(x) in double, for x = k/512. For
  // x > 1 the result is the series alone, with no exponential: a tight test
  // of both series beyond 1. Below -1 it carries exp of a float x^2.
  double worst_series = 0.0, worst_central = 0.0, worst_scaled = 0.0;
  for (int k = -4600; k <= 26 * 512; ++k) {
    const float x = static_cast<float>(k) / 512.0f;
    const double ref = std::exp(static_cast<double>(x) * x) * RefErfc(x);
    const double rel = std::fabs(ERFCE(ctx, x) - ref) / ref;
    if (x > 1.0f)
      worst_series = std::fmax(worst_series, rel);
    else if (x >= -1.0f)
      worst_central = std::fmax(worst_central, rel);
    else
      worst_scaled = std::fmax(worst_scaled, rel / (static_cast<double>(x) * x));
  }
  RecordProperty("erfce_series", Sci(worst_series));
  RecordProperty("erfce_central", Sci(worst_central));
  RecordProperty("erfce_scaled", Sci(worst_scaled));
  EXPECT_LT(worst_series, 8.0e-8);
  EXPECT_LT(worst_central, 1.5e-7);
  EXPECT_LT(worst_scaled, 9.0e-8);
}

// ---- ERFCE ---------------------------------------------------------------

TEST_F(Erfce, KnownValuesInEveryBranch) {
  const Known known[] = {
      {0.0f, 1.0, Tier::kExact},
      {1e-4f, 0.9998871620836666 * std::exp(1e-8), Tier::kFloat},  // linear
      {0.5f, 0.6156903441929259, Tier::kFloat},       // central series
      {-1.0f, 5.008980080762283, Tier::kFloat},
      {1.5f, 0.32158541645431754, Tier::kFloat},      // middle series
      {3.0f, 0.17900115118138993, Tier::kFloat},      // tail series
      {-3.0f, 16205.988853999588, Tier::kSix},
      {10.0f, 0.056140992743822594, Tier::kFloat},
      {1e20f, 5.641895835477563e-21, Tier::kFloat},   // beyond sqrt(XMAX)
      {-5.0f, 144009798674.66104, Tier::kSix},        // below XSML: 2 exp(x^2)
      {-9.0f, 3.0121946291700612e+35, Tier::kTail},
  };
  for (const Known& k : known) ExpectKnown(ctx, "ERFCE", ERFCE, k);
  EXPECT_EQ(UserType(), 0);
}

TEST_F(Erfce, TailBeyondTheRootOfXmaxIsTheAsymptote) {
  const float root = detail::kErfce.XSQMAX;
  EXPECT_EQ(root, std::sqrt(detail::kErfce.XMAX));
  // 1/(x sqrt(pi)) on both sides of the switch to the series value at -1.
  for (float x : {root / 2.0f, root, std::nextafter(root, kInf), 4e37f}) {
    const double ref = 1.0 / (static_cast<double>(x) * std::sqrt(M_PI));
    EXPECT_LE(std::fabs(ERFCE(ctx, x) - ref), 3e-7 * ref) << x;
  }
}

TEST_F(Erfce, UnderflowAboveXmaxIsASilentAlert) {
  float value = -1.0f;
  EXPECT_EQ(t.printed_by([&] { value = ERFCE(ctx, 5e37f); }), "");
  EXPECT_EQ(value, 0.0f);
  EXPECT_EQ(UserType(), ERR_ALERT);
  EXPECT_EQ(UserCode(), 1);
  ClearUserError();
}

TEST(ErfceStops, OverflowBelowXmin) {
  EXPECT_EQ(StopText([&](Context& ctx) { ERFCE(ctx, -9.5f); }),
            Lines({" *** TERMINAL ERROR 4 from ERFCE.  The function overflows because X =",
                   " ***          -9.500000E+00 is less than -9.372401E+00."}));
}

// ---- ERFCI ---------------------------------------------------------------

TEST_F(Erfci, KnownValuesInEveryBranch) {
  const Known known[] = {
      {1.0f, 0.0, Tier::kExact},
      {0.5f, 0.4769362762044699, Tier::kFloat},       // central series
      {1.5f, -0.4769362762044699, Tier::kFloat},
      {0.25f, 0.8134198475976185, Tier::kFloat},      // Newton, lower tail
      {1.75f, -0.8134198475976183, Tier::kFloat},     // Newton, upper tail
      {0.1f, 1.163087153676674, Tier::kFloat},
      {1.9f, -1.1630871536766736, Tier::kSix},
      {1e-10f, 4.572824967389486, Tier::kFloat},
      {1e-30f, 8.148616223169865, Tier::kFloat},
  };
  for (const Known& k : known) ExpectKnown(ctx, "ERFCI", ERFCI, k);
  EXPECT_EQ(UserType(), 0);
}

TEST_F(Erfci, InvertsErfcOnBothSides) {
  for (int k = 1; k < 2048; ++k) {
    const float x = static_cast<float>(k) / 1024.0f;
    const double y = ERFCI(ctx, x);
    // erfc(y) = x to the conditioning of the inverse.
    const double slope = 2.0 / std::sqrt(M_PI) * std::exp(-y * y);
    EXPECT_LE(std::fabs(RefErfc(y) - x), 3e-7 * slope * std::fmax(1.0, std::fabs(y))) << x;
  }
}

TEST_F(Erfci, CloseToTwoWarnsAndGoesOn) {
  const float xlim = detail::kErfci.XLIM;
  EXPECT_EQ(t.printed_by([&] { ERFCI(ctx, xlim); }), "");
  EXPECT_EQ(UserType(), 0);
  float value = 0.0f;
  const std::string out = t.printed_by([&] { value = ERFCI(ctx, 1.999995f); });
  EXPECT_EQ(out,
            " *** WARNING ERROR 2 from ERFCI.  The result is accurate to less than\r\n"
            " ***          one half precision because X = 1.999995E+00 is too close\r\n"
            " ***          to 2.0.\r\n");
  EXPECT_EQ(UserType(), ERR_WARNING);
  EXPECT_EQ(UserCode(), 2);
  ClearUserError();
  EXPECT_NEAR(value, -3.22759, 1e-5);
}

TEST(ErfciStops, ArgumentOutsideZeroToTwo) {
  EXPECT_EQ(StopText([&](Context& ctx) { ERFCI(ctx, 0.0f); }),
            Lines({" *** TERMINAL ERROR 5 from ERFCI.  X = 0.000000E+00 must be greater",
                   " ***          than zero."}));
  EXPECT_EQ(StopText([&](Context& ctx) { ERFCI(ctx, 2.0f); }),
            Lines({" *** TERMINAL ERROR 6 from ERFCI.  X = 2.000000E+00 must be less than",
                   " ***          2.0."}));
}

TEST(ErfciStops, NotANumberNeverConverges) {
  // NaN passes the range checks; the Newton iteration then never meets its
  // tolerance.
  EXPECT_EQ(StopText([&](Context& ctx) { ERFCI(ctx, kNaN); }),
            Lines({" *** TERMINAL ERROR 7 from ERFCI.  Sufficiently accurate result was",
                   " ***          not achieved in a reasonable number of iterations. An",
                   " ***          algorithmic problem exists."}));
}

// ---- ANORDF --------------------------------------------------------------

TEST_F(Anordf, KnownValues) {
  const Known known[] = {
      {0.0f, 0.5, Tier::kExact},
      {1.0f, 0.8413447460685429, Tier::kFloat},
      {-1.0f, 0.15865525393145707, Tier::kFloat},
      {1.96f, 0.9750021048517795, Tier::kSix},
      {-1.96f, 0.024997895148220435, Tier::kSix},
      {3.0f, 0.9986501019683699, Tier::kFloat},
      {-5.0f, 2.866515718791946e-07, Tier::kSix},
      {-10.0f, 7.619853024160593e-24, Tier::kTail},
      {-12.5f, 3.73256429887781e-36, Tier::kTail},
  };
  for (const Known& k : known) ExpectKnown(ctx, "ANORDF", ANORDF, k);
  EXPECT_EQ(UserType(), 0);
}

TEST_F(Anordf, OneExactlyInTheUpperTail) {
  // From about 5.668 on, -x/sqrt(2) is at or below XSML and ERFC is 2; a
  // little earlier already 1 - Phi is below half a float spacing at 1.
  for (float x : {5.42f, 5.668f, 5.67f, 6.0f, 9.0f, 40.0f, 1e30f, kInf}) EXPECT_EQ(ANORDF(ctx, x), 1.0f) << x;
  EXPECT_LT(ANORDF(ctx, 5.4f), 1.0f);
}

TEST_F(Anordf, ZeroInTheLowerTailWithNoErrorLeft) {
  EXPECT_GT(ANORDF(ctx, -12.98f), 0.0f);
  for (float x : {-12.99f, -13.0f, -20.0f, -1e30f, -kInf}) {
    float value = -1.0f;
    EXPECT_EQ(t.printed_by([&] { value = ANORDF(ctx, x); }), "");
    EXPECT_EQ(value, 0.0f) << x;
    // Nothing copied to the caller, and the handler is back at its level.
    EXPECT_EQ(ctx.handler.level, 1) << x;
    EXPECT_EQ(UserType(), 0) << x;
    EXPECT_EQ(UserCode(), 0) << x;
  }
}

TEST_F(Anordf, AccuracyOverTheWholeRange) {
  // x = k/4096 over [-12.98, 8]. At or above 0 the result is within about a
  // float spacing of 1 absolutely; below 0 the relative error grows with
  // x^2, the rounding of x/sqrt(2) and of its square being amplified in
  // exp(-x^2/2).
  double worst_upper = 0.0, worst_lower = 0.0, worst_scaled = 0.0;
  for (int k = -53166; k <= 32768; ++k) {
    const float x = static_cast<float>(k) / 4096.0f;
    const double ref = RefPhi(x);
    const float got = ANORDF(ctx, x);
    if (x >= 0.0f) {
      worst_upper = std::fmax(worst_upper, std::fabs(got - ref));
    } else {
      const double rel = std::fabs(got - ref) / ref;
      if (x >= -2.0f) worst_lower = std::fmax(worst_lower, rel);
      worst_scaled = std::fmax(worst_scaled, rel / (1.0 + static_cast<double>(x) * x));
    }
  }
  RecordProperty("anordf_upper_abs", Sci(worst_upper));
  RecordProperty("anordf_lower_rel", Sci(worst_lower));
  RecordProperty("anordf_scaled_rel", Sci(worst_scaled));
  EXPECT_LT(worst_upper, 6.0e-8);
  EXPECT_LT(worst_lower, 4.0e-7);
  EXPECT_LT(worst_scaled, 1.2e-7);
  EXPECT_EQ(UserType(), 0);
}

// ---- ANORIN --------------------------------------------------------------

TEST_F(Anorin, KnownValues) {
  const Known known[] = {
      {0.5f, 0.0, Tier::kExact},
      {0.975f, 1.959963984540054, Tier::kSix},
      {0.025f, -1.959963984540054, Tier::kSix},
      {0.8413447460685429f, 1.0, Tier::kSix},
      {0.1f, -1.2815515655446006, Tier::kSix},
      {0.9f, 1.2815515655446008, Tier::kSix},
      {0.125f, -1.1503493803760083, Tier::kFloat},  // first argument of the tail
      {0.875f, 1.1503493803760079, Tier::kFloat},
      {1e-10f, -6.361340902404057, Tier::kFloat},
      {0.999999f, 4.75076, Tier::kSix},             // float argument 0.99999898
  };
  for (const Known& k : known) ExpectKnown(ctx, "ANORIN", ANORIN, k);
  EXPECT_EQ(UserType(), 0);
}

TEST_F(Anorin, Symmetric) {
  // Where 1 - p is exact the two results are exact negatives; elsewhere they
  // agree to single precision.
  for (int k = 1; k < 4096; ++k) {
    const float p = static_cast<float>(k) / 8192.0f;
    EXPECT_EQ(ANORIN(ctx, p), -ANORIN(ctx, 1.0f - p)) << p;
  }
  // The rounding of 1 - p moves the second result by about that rounding
  // over the density.
  for (float p : {0.001f, 0.01f, 0.025f, 0.1f, 0.3f, 0.45f}) {
    const float q = 1.0f - p;
    const float a = ANORIN(ctx, p), b = ANORIN(ctx, q);
    const double shift = std::fabs((1.0 - p) - q) / RefDensity(a);
    EXPECT_LE(std::fabs(a + b), shift + 3e-7 * std::fabs(a)) << p;
  }
}

TEST_F(Anorin, WarningOfErfciCloseToOneIsCleared) {
  float value = 0.0f;
  EXPECT_EQ(t.printed_by([&] { value = ANORIN(ctx, 0.999999f); }), "");
  EXPECT_NEAR(value, 4.75076f, 5e-6);
  EXPECT_EQ(N1RTY(ctx, 0), 0);
  EXPECT_EQ(N1RTY(ctx, 1), 0);
  EXPECT_EQ(N1RCD(ctx, 1), 0);
  // The warning starts at p just below 0.99999565.
  const float xlim = detail::kErfci.XLIM;
  EXPECT_LE(2.0f * 0.99999559f, xlim);
  EXPECT_GT(2.0f * 0.99999565f, xlim);
  for (float p : {0.99999565f, 0.99999994f}) {
    EXPECT_EQ(t.printed_by([&] { ANORIN(ctx, p); }), "") << p;
    EXPECT_EQ(N1RTY(ctx, 0), 0) << p;
  }
}

TEST_F(Anorin, AccuracyOnADenseGrid) {
  // p = k/2^16, then p = 10^-e and 1 - 10^-e for e up to 37.9.
  double worst = 0.0;
  float at = 0.0f;
  auto check = [&](float p) {
    const double e = InverseError(ANORIN(ctx, p), RefInverse(p));
    if (e > worst) {
      worst = e;
      at = p;
    }
  };
  for (int k = 1; k < 65536; ++k) check(static_cast<float>(k) / 65536.0f);
  for (int i = 10; i <= 3790; ++i) {
    const double q = std::pow(10.0, -i / 100.0);
    check(static_cast<float>(q));
    if (static_cast<float>(1.0 - q) < 1.0f) check(static_cast<float>(1.0 - q));
  }
  RecordProperty("anorin_grid", Sci(worst));
  EXPECT_LT(worst, 2.0e-7) << "worst at p = " << at;
  EXPECT_EQ(UserType(), 0);
}

TEST_F(Anorin, AccuracyOverAllFloatExponents) {
  // Every 4099th float in (0, 1), subnormals included: the Newton iteration
  // converges everywhere (otherwise the run would stop) and the result
  // is accurate.
  double worst = 0.0;
  float at = 0.0f;
  const uint32_t one = std::bit_cast<uint32_t>(1.0f);
  for (uint32_t b = 1; b < one; b += 4099) {
    const float p = std::bit_cast<float>(b);
    const double ref = RefInverse(p);
    const double e = p >= 1e-38f ? InverseError(ANORIN(ctx, p), ref)
                                 // a subnormal p carries few digits
                                 : std::fabs(ANORIN(ctx, p) - ref) / std::fabs(ref) * 1e-3;
    if (e > worst) {
      worst = e;
      at = p;
    }
  }
  RecordProperty("anorin_floats", Sci(worst));
  EXPECT_LT(worst, 2.0e-7) << "worst at p = " << at;
}

TEST(AnorinStops, ProbabilityOutsideZeroToOne) {
  EXPECT_EQ(StopText([&](Context& ctx) { ANORIN(ctx, 0.0f); }),
            Lines({" *** TERMINAL ERROR 1 from ANORIN.  The argument to the function must",
                   " ***          be greater than 0.0 and less than 1.0.  P =",
                   " ***          0.000000E+00."}));
  EXPECT_EQ(StopText([&](Context& ctx) { ANORIN(ctx, 1.0f); }),
            Lines({" *** TERMINAL ERROR 1 from ANORIN.  The argument to the function must",
                   " ***          be greater than 0.0 and less than 1.0.  P =",
                   " ***          1.000000E+00."}));
  EXPECT_THAT(StopText([](Context& ctx) { ANORIN(ctx, -0.25f); }),
              testing::HasSubstr("P =\r\n ***          -2.500000E-01."));
  EXPECT_THAT(StopText([](Context& ctx) { ANORIN(ctx, kInf); }),
              testing::HasSubstr("TERMINAL ERROR 1 from ANORIN"));
}

}  // namespace
}  // namespace numlib
