#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "driver/run.h"
#include "problem.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// A run with `ncon` constraints on one parameter.
std::string problem_text(int ncon) {
  std::string text = "c\n1 " + std::to_string(ncon) + "\nm\n0\nv\n1\nr\n";
  for (int k = 0; k < ncon; ++k) text += "1 0\n";
  return text;
}

// A run whose every replicate equals the point estimate of its constraint.
struct ConstantProblem : driver_test::LoadedRun {
  ConstantProblem(int ncon, const float* ff, const float* cc) : LoadedRun(problem_text(ncon)) {
    for (int k = 1; k <= ncon; ++k) {
      s.fit.estimate(k) = ff[k - 1];
      s.complexity.estimate(k) = cc[k - 1];
      for (int r = 1; r <= s.NREP; ++r) {
        s.fit.replicates(k, r) = ff[k - 1];
        s.complexity.replicates(k, r) = cc[k - 1];
      }
    }
  }
};

TEST(Summary, PercentilePositionsAre25And975) {
  EXPECT_EQ(driver::percentile_low(1000), 25);
  EXPECT_EQ(driver::percentile_high(1000), 975);
}

TEST(Summary, NoConstraintsGiveOnesAndZeroError) {
  ConstantProblem p(0, nullptr, nullptr);
  driver::RunState& s = p.s;
  const driver::Summary& u = s.summary;
  driver::summarise(s);
  EXPECT_EQ(u.TOTALFIT, 1.0f);
  EXPECT_EQ(u.TOTALCOMP, 1.0f);
  EXPECT_EQ(u.BFIA, 1.0f);
  EXPECT_EQ(u.MCERRIA, 0.0f);
  EXPECT_EQ(u.BFSAMPLE(25), 1.0f);
  EXPECT_EQ(u.BFSAMPLE(975), 1.0f);
  EXPECT_TRUE(std::isnan(u.BFIC));  // 1 / (0 / 0)
}

TEST(Summary, BayesFactorIsTheProductOfPerConstraintRatios) {
  const float ff[] = {0.512f, 0.873f};
  const float cc[] = {0.25f, 0.5f};
  ConstantProblem p(2, ff, cc);
  driver::RunState& s = p.s;
  const driver::Summary& u = s.summary;
  driver::summarise(s);
  const float tf = static_cast<float>(double{0.512f} * double{0.873f});
  EXPECT_EQ(u.TOTALFIT, tf);
  EXPECT_EQ(u.TOTALCOMP, 0.125f);
  const float r1 = static_cast<float>(1.0 * (double{0.512f} / 0.25));
  const float bfia = static_cast<float>(double{r1} * (double{0.873f} / 0.5));
  EXPECT_EQ(u.BFIA, bfia);
  EXPECT_EQ(u.BFIC, static_cast<float>(double{bfia} / ((1.0 - tf) / (1.0 - 0.125))));
  EXPECT_NEAR(u.MCERRIA, 0.0f, 1e-4f);  // only the rounding of the float sums
}

TEST(Summary, TotalComplexityOfOneGivesBficZero) {
  const float ff[] = {0.4f};
  const float cc[] = {1.0f};
  ConstantProblem p(1, ff, cc);
  driver::RunState& s = p.s;
  const driver::Summary& u = s.summary;
  driver::summarise(s);
  EXPECT_EQ(u.BFIC, 0.0f);
}

TEST(Summary, ZeroComplexityMakesBfiaInfiniteAndItsErrorNotFinite) {
  const float ff[] = {0.4f};
  const float cc[] = {0.0f};
  ConstantProblem p(1, ff, cc);
  driver::RunState& s = p.s;
  const driver::Summary& u = s.summary;
  driver::summarise(s);
  EXPECT_EQ(u.BFIA, kInf);
  EXPECT_FALSE(std::isfinite(u.MCERRIA));
}

TEST(Summary, ReplicatesAreSortedAndTheErrorUsesTheDivisorNrep) {
  const float ff[] = {0.5f};
  const float cc[] = {0.5f};
  ConstantProblem p(1, ff, cc);
  driver::RunState& s = p.s;
  const driver::Summary& u = s.summary;
  // Fit replicates 0.25 and 0.75 alternating, complexity 0.5: BFia replicates
  // alternate 0.5 and 1.5, population standard deviation exactly 0.5.
  for (int r = 1; r <= 1000; ++r) s.fit.replicates(1, r) = (r % 2) ? 0.25f : 0.75f;
  driver::summarise(s);
  for (int r = 1; r <= 500; ++r) EXPECT_EQ(u.BFSAMPLE(r), 0.5f);
  for (int r = 501; r <= 1000; ++r) EXPECT_EQ(u.BFSAMPLE(r), 1.5f);
  EXPECT_EQ(u.MCERRIA, 0.5f);
  for (int r = 2; r <= 1000; ++r) EXPECT_LE(u.BFCSAMPLE(r - 1), u.BFCSAMPLE(r));
  // The replicates stay available in the order drawn as well.
  ASSERT_EQ(u.unsorted_bf.size(), 1000u);
  ASSERT_EQ(u.unsorted_bfc.size(), 1000u);
  for (int r = 1; r <= 1000; ++r) EXPECT_EQ(u.unsorted_bf[r - 1], (r % 2) ? 0.5f : 1.5f);
}

TEST(Summary, McErrorIsThePopulationStandardDeviation) {
  const float alternating[] = {1.0f, 3.0f, 1.0f, 3.0f};
  EXPECT_EQ(driver::mc_error(alternating, 4), 1.0f);
  const float constant[] = {2.0f, 2.0f, 2.0f};
  EXPECT_EQ(driver::mc_error(constant, 3), 0.0f);
}

TEST(Summary, InfiniteReplicateSortsToTheTop) {
  const float ff[] = {0.5f};
  const float cc[] = {0.5f};
  ConstantProblem p(1, ff, cc);
  driver::RunState& s = p.s;
  const driver::Summary& u = s.summary;
  s.complexity.replicates(1, 3) = 0.0f;
  driver::summarise(s);
  EXPECT_EQ(u.BFSAMPLE(1000), kInf);
  EXPECT_EQ(u.BFSAMPLE(999), 1.0f);
  EXPECT_FALSE(std::isfinite(u.MCERRIA));
}

}  // namespace
