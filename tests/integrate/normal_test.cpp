// The double-precision normal distribution function and its inverse.
#include <gtest/gtest.h>

#include <cmath>

#include "integrate/normal.h"

namespace {

struct Known {
  double x;
  double p;  // Φ(x)
};

// Reference values to 17 digits.
constexpr Known kKnown[] = {
    {0.0, 0.5},
    {-1.0, 1.5865525393145705e-01},
    {-1.96, 2.4997895148220428e-02},
    {-5.0, 2.8665157187919391e-07},
    {-10.0, 7.6198530241605269e-24},
    {-20.0, 2.7536241186062337e-89},
    {-37.0, 5.7255712225245771e-300},
    {1.959963984540054, 0.975},
    {-6.3613409024040557, 1e-10},
    {-37.047096299361201, 1e-300},
    {0.25334710313579978, 0.6},
};

// The argument's rounding costs erfc about 2x²/2 ulps far out: 12 digits
// are left at -37.
constexpr double kTailDigits = 1e-12;

TEST(NormalFunctions, DistributionFunctionKeepsTwelveDigitsAcrossTheLowerTail) {
  for (const Known& k : kKnown) EXPECT_NEAR(integrate::normal_cdf(k.x), k.p, kTailDigits * k.p) << k.x;
}

TEST(NormalFunctions, QuantileInvertsTheKnownValues) {
  for (const Known& k : kKnown) EXPECT_NEAR(integrate::normal_quantile(k.p), k.x, 1e-13 * std::max(1.0, std::fabs(k.x))) << k.p;
}

TEST(NormalFunctions, QuantileRoundTripsAcrossEveryRegionOfItsApproximation) {
  // Central (|p - 0.5| <= 0.425), near tail (r <= 5) and far tail (r > 5);
  // the upper half mirrors the lower.
  for (double x = -37.5; x <= 0.5; x += 0.0625) {
    const double back = integrate::normal_quantile(integrate::normal_cdf(x));
    ASSERT_NEAR(back, x, 1e-13 * std::max(1.0, std::fabs(x))) << x;
  }
}

TEST(NormalFunctions, QuantileStaysFiniteAtTheEnds) {
  EXPECT_TRUE(std::isfinite(integrate::normal_quantile(0.0)));
  EXPECT_TRUE(std::isfinite(integrate::normal_quantile(1.0)));
  EXPECT_LT(integrate::normal_quantile(0.0), -37.0);
  EXPECT_GT(integrate::normal_quantile(1.0), 8.0);
}

struct Interval {
  double l, u, mass;
};

TEST(NormalFunctions, IntervalMassesKeepTheirAccuracyFarOutInEitherTail) {
  const Interval cases[] = {
      {-INFINITY, INFINITY, 1.0},
      {10.0, INFINITY, 7.6198530241605269e-24},
      {-INFINITY, -10.0, 7.6198530241605269e-24},
      {20.0, 37.0, 2.7536241186062337e-89 - 5.7255712225245771e-300},
      {1.0, 1.0, 0.0},
      // Straddling 0, narrow: no cancellation of two values near 1/2.
      {-1e-9, 1e-9, 7.9788456080286536e-10},
      {2.0, 1.0, 0.0},
  };
  for (const Interval& c : cases) {
    EXPECT_NEAR(integrate::normal_mass(c.l, c.u), c.mass, kTailDigits * c.mass) << c.l << " " << c.u;
    double z = 0.0;
    EXPECT_NEAR(integrate::normal_mass_split(c.l, c.u, 0.5, z), c.mass, kTailDigits * c.mass);
    if (c.mass > 0.0) {
      EXPECT_GE(z, c.l);
      EXPECT_LE(z, c.u);
    }
  }
  // The split point of the upper tail beyond 10: the median of that tail.
  double z = 0.0;
  integrate::normal_mass_split(10.0, INFINITY, 0.5, z);
  EXPECT_NEAR(integrate::normal_cdf(-z), 0.5 * 7.6198530241605269e-24, 1e-12 * 7.6e-24);
}

}  // namespace
