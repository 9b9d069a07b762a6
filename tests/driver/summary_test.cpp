#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "driver/run.h"
#include "problem.h"

namespace {

using driver::RunState;

constexpr float kInf = std::numeric_limits<float>::infinity();

// A state with `ncon` constraints whose every replicate equals the point
// estimate.
void constant_problem(RunState& s, int ncon, const float* ff, const float* cc) {
  std::string text = "c\n1 " + std::to_string(ncon) + "\nm\n0\nv\n1\nr\n";
  for (int k = 0; k < ncon; ++k) text += "1 0\n";
  driver_test::load(s, text);
  for (int k = 1; k <= ncon; ++k) {
    s.FF(k) = ff[k - 1];
    s.CC(k) = cc[k - 1];
    for (int r = 1; r <= s.NREP; ++r) {
      s.FSAMPLE(k, r) = ff[k - 1];
      s.CSAMPLE(k, r) = cc[k - 1];
    }
  }
}

TEST(Summary, PercentilePositionsAre25And975) {
  EXPECT_EQ(driver::percentile_low(1000), 25);
  EXPECT_EQ(driver::percentile_high(1000), 975);
}

TEST(Summary, NoConstraintsGiveOnesAndZeroError) {
  RunState s;
  constant_problem(s, 0, nullptr, nullptr);
  driver::summarise(s);
  EXPECT_EQ(s.TOTALFIT, 1.0f);
  EXPECT_EQ(s.TOTALCOMP, 1.0f);
  EXPECT_EQ(s.BFIA, 1.0f);
  EXPECT_EQ(s.MCERRIA, 0.0f);
  EXPECT_EQ(s.BFSAMPLE(25), 1.0f);
  EXPECT_EQ(s.BFSAMPLE(975), 1.0f);
  EXPECT_TRUE(std::isnan(s.BFIC));  // 1 / (0 / 0)
}

TEST(Summary, BayesFactorIsTheProductOfPerConstraintRatios) {
  RunState s;
  const float ff[] = {0.512f, 0.873f};
  const float cc[] = {0.25f, 0.5f};
  constant_problem(s, 2, ff, cc);
  driver::summarise(s);
  const float tf = static_cast<float>(double{0.512f} * double{0.873f});
  EXPECT_EQ(s.TOTALFIT, tf);
  EXPECT_EQ(s.TOTALCOMP, 0.125f);
  const float r1 = static_cast<float>(1.0 * (double{0.512f} / 0.25));
  const float bfia = static_cast<float>(double{r1} * (double{0.873f} / 0.5));
  EXPECT_EQ(s.BFIA, bfia);
  EXPECT_EQ(s.BFIC, static_cast<float>(double{bfia} / ((1.0 - tf) / (1.0 - 0.125))));
  EXPECT_NEAR(s.MCERRIA, 0.0f, 1e-4f);  // only the rounding of the float sums
}

TEST(Summary, TotalComplexityOfOneGivesBficZero) {
  RunState s;
  const float ff[] = {0.4f};
  const float cc[] = {1.0f};
  constant_problem(s, 1, ff, cc);
  driver::summarise(s);
  EXPECT_EQ(s.BFIC, 0.0f);
}

TEST(Summary, ZeroComplexityMakesBfiaInfiniteAndItsErrorNotFinite) {
  RunState s;
  const float ff[] = {0.4f};
  const float cc[] = {0.0f};
  constant_problem(s, 1, ff, cc);
  driver::summarise(s);
  EXPECT_EQ(s.BFIA, kInf);
  EXPECT_FALSE(std::isfinite(s.MCERRIA));
}

TEST(Summary, ReplicatesAreSortedAndTheErrorUsesTheDivisorNrep) {
  RunState s;
  const float ff[] = {0.5f};
  const float cc[] = {0.5f};
  constant_problem(s, 1, ff, cc);
  // Fit replicates 0.25 and 0.75 alternating, complexity 0.5: BFia replicates
  // alternate 0.5 and 1.5, population standard deviation exactly 0.5.
  for (int r = 1; r <= 1000; ++r) s.FSAMPLE(1, r) = (r % 2) ? 0.25f : 0.75f;
  driver::summarise(s);
  for (int r = 1; r <= 500; ++r) EXPECT_EQ(s.BFSAMPLE(r), 0.5f);
  for (int r = 501; r <= 1000; ++r) EXPECT_EQ(s.BFSAMPLE(r), 1.5f);
  EXPECT_EQ(s.MCERRIA, 0.5f);
  for (int r = 2; r <= 1000; ++r) EXPECT_LE(s.BFCSAMPLE(r - 1), s.BFCSAMPLE(r));
}

TEST(Summary, InfiniteReplicateSortsToTheTop) {
  RunState s;
  const float ff[] = {0.5f};
  const float cc[] = {0.5f};
  constant_problem(s, 1, ff, cc);
  s.CSAMPLE(1, 3) = 0.0f;
  driver::summarise(s);
  EXPECT_EQ(s.BFSAMPLE(1000), kInf);
  EXPECT_EQ(s.BFSAMPLE(999), 1.0f);
  EXPECT_FALSE(std::isfinite(s.MCERRIA));
}

}  // namespace
