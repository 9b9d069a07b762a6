#include "driver/samplers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "driver/run.h"
#include "numlib/normal.h"
#include "numlib/random.h"
#include "chain_entries.h"
#include "problem.h"
#include "support/run.h"
#include "support/stop.h"

namespace {

using driver_test::LoadedRun;

float estimate(int32_t nhit, int32_t niter) {
  return static_cast<float>(nhit) / static_cast<float>(niter);
}

struct LadderCase {
  int32_t niter, nhit, next;
};

TEST(Ladder, StrictSinglePrecisionThresholdsDecideTheNextChain) {
  const LadderCase cases[] = {
      {1000, 500, 0},           {1000, 499, 3000},        {3000, 498, 0},
      {3000, 497, 9600},        {9600, 404, 0},           {9600, 403, 120000},
      {120000, 960, 0},         {120000, 959, 360000},    {360000, 504, 0},
      {360000, 503, 2520000},   {2520000, 504, 0},        {2520000, 503, 10000000},
      {10000000, 0, 0},         {1000, 0, 3000},          {2520000, 0, 10000000},
  };
  for (const LadderCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.nhit << " in " << c.niter);
    EXPECT_EQ(driver::next_niter(c.niter, estimate(c.nhit, c.niter)), c.next);
  }
}

TEST(Truncnorm, ConsumesExactlyOneUniformDeviate) {
  test_support::TestRun t;
  numlib::RGSEED(t.ctx, 12345);
  (void)driver_test::truncnorm(t.ctx, 0.0f, 1.0f, -1.0f, 1.0f);
  EXPECT_FLOAT_EQ(numlib::RGUNIF(t.ctx), 0.833994567f);
  EXPECT_EQ(t.printed(), "");
}

TEST(Truncnorm, DrawsByInversionOfTheUniformWithinTheLimits) {
  test_support::TestRun t;
  numlib::RGSEED(t.ctx, 12345);
  const float x = driver_test::truncnorm(t.ctx, 2.0f, 0.5f, 1.5f, 3.0f);
  // U = 0.0966165215: P = U * (Phi(2) - Phi(-1)) + Phi(-1)
  const double pa = 0.5 * std::erfc(1.0 / std::sqrt(2.0));
  const double pb = 0.5 * std::erfc(-2.0 / std::sqrt(2.0));
  const double p = 0.0966165215 * (pb - pa) + pa;
  EXPECT_NEAR(x, 2.0 + 0.5 * numlib::ANORIN(t.ctx, static_cast<float>(p)), 1e-6);
  EXPECT_GT(x, 1.5f);
  EXPECT_LT(x, 3.0f);
}

TEST(Truncnorm, ProbabilitiesOutsideTheClampsAreReplacedByThem) {
  test_support::TestRun t;
  numlib::RGSEED(t.ctx, 12345);
  // Far in the upper tail both Phi values are 1: P is clamped to 0.999999.
  EXPECT_FLOAT_EQ(driver_test::truncnorm(t.ctx, 1.0f, 2.0f, 30.0f, 40.0f),
                  1.0f + 2.0f * numlib::ANORIN(t.ctx, 0.999999f));
  // Far in the lower tail both are 0: P is clamped to 0.000001.
  EXPECT_FLOAT_EQ(driver_test::truncnorm(t.ctx, 1.0f, 2.0f, -40.0f, -30.0f),
                  1.0f + 2.0f * numlib::ANORIN(t.ctx, 0.000001f));
  EXPECT_EQ(t.printed(), "");
}

TEST(Truncnorm, CrossedLimitsDrawBetweenThem) {
  test_support::TestRun t;
  numlib::RGSEED(t.ctx, 12345);
  for (int n = 0; n < 200; ++n) {
    const float x = driver_test::truncnorm(t.ctx, 0.0f, 1.0f, 0.5f, -0.5f);
    EXPECT_GE(x, -0.5f);
    EXPECT_LE(x, 0.5f);
  }
}

// Estimates with answers known in closed form. Tolerances: 5 binomial
// standard errors of the iterations used, doubled for the autocorrelation
// of the Gibbs chain.
double tolerance(double p, int32_t niter) { return 10.0 * std::sqrt(p * (1 - p) / niter) + 1e-3; }

TEST(FitSampler, OneConstraintOnABivariateNormalEstimatesPhiOfTheStandardisedDifference) {
  LoadedRun r("c\n2 1\nm\n0.30 0.10\nv\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n");
  driver::RunState& s = r.s;
  driver::set_up_matrices(s);
  driver::move_start_point(s, 1);
  driver::fit_sampler(s, 1);
  const driver::Estimates& fit = s.fit;
  const double expected = 0.5 * std::erfc(-(0.2 / std::sqrt(0.11)) / std::sqrt(2.0));
  EXPECT_EQ(fit.iterations(1), 1000);
  EXPECT_NEAR(fit.estimate(1), expected, tolerance(expected, fit.iterations(1)));
  EXPECT_EQ(fit.estimate(1), estimate(fit.hits(1), fit.iterations(1)));
  for (int m = 1; m <= 1000; ++m) {
    EXPECT_GT(fit.replicates(1, m), 0.0f);
    EXPECT_LT(fit.replicates(1, m), 1.0f);
  }
  // The progress line of the sampler is the only record it prints.
  EXPECT_EQ(r.printed(), "Constraint   1 for    fit     has been evaluated\r\n");
}

TEST(FitSampler, OrthantOfACorrelatedTrivariateNormal) {
  LoadedRun r("c\n3 3\nm\n0 0 0\nv\n1 0.5 0.3\n0.5 1 0.2\n0.3 0.2 1\n"
              "r\n1 0 0 0\n0 1 0 0\n0 0 1 0\n");
  driver::RunState& s = r.s;
  driver::set_up_matrices(s);
  double product = 1.0, var = 0.0;
  for (int k = 1; k <= 3; ++k) {
    driver::move_start_point(s, k);
    driver::fit_sampler(s, k);
    product *= s.fit.estimate(k);
    const double t = tolerance(s.fit.estimate(k), s.fit.iterations(k)) / s.fit.estimate(k);
    var += t * t;
  }
  const double pi = std::acos(-1.0);
  const double expected = 0.125 + (std::asin(0.5) + std::asin(0.3) + std::asin(0.2)) / (4 * pi);
  EXPECT_NEAR(product, expected, expected * std::sqrt(var));
}

TEST(ComplexitySampler, OrderOfThreeParametersHasComplexitiesOneHalfThenOneThird) {
  LoadedRun r("c\n3 2\nm\n0.3 0.2 0.1\nv\n1 0 0\n0 1 0\n0 0 1\nr\n1 -1 0 0\n0 1 -1 0\n");
  driver::RunState& s = r.s;
  driver::set_up_matrices(s);
  for (int k = 1; k <= 2; ++k) {
    driver::move_start_point(s, k);
    driver::fit_sampler(s, k);
    driver::complexity_sampler(s, k);
  }
  const driver::Estimates& complexity = s.complexity;
  EXPECT_NEAR(complexity.estimate(1), 0.5, tolerance(0.5, complexity.iterations(1)));
  EXPECT_NEAR(complexity.estimate(2), 1.0 / 3.0, tolerance(1.0 / 3.0, complexity.iterations(2)));
  EXPECT_EQ(complexity.iterations(2), 3000);  // 1/3 is below 0.5 and above 0.166
  EXPECT_EQ(r.printed(), test_support::Lines({"Constraint   1 for    fit     has been evaluated",
                                              "Constraint   1 for complexity has been evaluated",
                                              "Constraint   2 for    fit     has been evaluated",
                                              "Constraint   2 for complexity has been evaluated"}));
}

TEST(FitSampler, ConstraintThatNeverHoldsClimbsTheWholeLadder) {
  LoadedRun r("c\n1 1\nm\n0\nv\n0.01\nr\n1 100\n");
  driver::RunState& s = r.s;
  driver::set_up_matrices(s);
  driver::move_start_point(s, 1);
  driver::fit_sampler(s, 1);
  EXPECT_EQ(s.fit.estimate(1), 0.0f);
  EXPECT_EQ(s.fit.iterations(1), 10000000);
  EXPECT_EQ(s.fit.hits(1), 0);
  // Replicates from Beta(1, 10000001): all tiny, none zero.
  for (int m = 1; m <= 1000; ++m) {
    EXPECT_GT(s.fit.replicates(1, m), 0.0f);
    EXPECT_LT(s.fit.replicates(1, m), 2e-6f);
  }
}

// A chain reports its progress at its end at least, and a cancel ends the
// run with Status::cancelled before the sampler's progress line.
TEST(SamplerHooks, ProgressAtTheEndOfEachChainAndCancelEndsTheRun) {
  LoadedRun r("c\n2 1\nm\n0.30 0.10\nv\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n");
  driver::RunState& s = r.s;
  driver::set_up_matrices(s);
  driver::move_start_point(s, 1);
  struct Report {
    int32_t k, niter;
    driver::Sampler kind;
    int64_t done, total;
  };
  std::vector<Report> reports;
  s.hooks.progress = [&](const driver::Progress& p) {
    reports.push_back({p.constraint, p.iterations, p.sampler, p.sweeps_done, p.sweeps_total});
  };
  driver::fit_sampler(s, 1);
  ASSERT_EQ(reports.size(), 1u);  // one chain of 100 + 1000 sweeps, shorter than a poll
  EXPECT_EQ(reports[0].k, 1);
  EXPECT_EQ(reports[0].niter, 1000);
  EXPECT_TRUE(reports[0].kind == driver::Sampler::fit);
  EXPECT_EQ(reports[0].done, 1100);
  EXPECT_EQ(reports[0].total, 1100);

  s.hooks.cancel = [] { return true; };
  const test_support::Ending e = test_support::ending_of([&] { driver::complexity_sampler(s, 1); });
  EXPECT_TRUE(e.ended);
  EXPECT_EQ(e.status, Status::cancelled);
  EXPECT_EQ(e.pending, "ineqbf: the analysis was cancelled");
  EXPECT_EQ(r.printed(), "Constraint   1 for    fit     has been evaluated\r\n");
}

}  // namespace
