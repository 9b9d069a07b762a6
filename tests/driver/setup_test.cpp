#include <gtest/gtest.h>

#include "driver/run.h"
#include "problem.h"

namespace {

using driver::BIG;
using driver::RunState;

constexpr const char* kTwoParameters =
    "counts\n2 1\nmeans\n0.50 0.20\ncovariance\n0.040 0.010\n0.010 0.090\nrows\n1 -1 0\n";

TEST(SetUp, StartingPointOfTheWorkedExampleIsMovedParameterByParameter) {
  RunState s;
  driver_test::load(s, kTwoParameters);
  driver::set_up_matrices(s);
  EXPECT_EQ(s.INITIAL(3), -1.0f);
  driver::move_start_point(s, 1);
  // theta1 - theta2 > 0: parameter 1 is bounded below by 0.2 and moved to
  // 0.2 + 0.1, although the mean 0.5 already met the row; parameter 2 is
  // then bounded above by 0.3 and moved to 0.3 - 0.1.
  EXPECT_FLOAT_EQ(s.LOWER(1), 0.2f);
  EXPECT_EQ(s.UPPER(1), BIG);
  EXPECT_FLOAT_EQ(s.INITIAL(1), 0.3f);
  EXPECT_EQ(s.LOWER(2), -BIG);
  EXPECT_FLOAT_EQ(s.UPPER(2), 0.3f);
  EXPECT_EQ(s.INITIAL(2), static_cast<float>(static_cast<double>(s.UPPER(2)) - double{0.1f}));
  EXPECT_EQ(s.INITIAL(3), -1.0f);
}

TEST(SetUp, DiagonalCovarianceGivesDiagonalPrecisionAndNoCoupling) {
  RunState s;
  driver_test::load(s, "c\n3 0\nm\n1 2 3\nv\n4 0 0\n0 0.25 0\n0 0 2\nr\n");
  driver::set_up_matrices(s);
  const float var[] = {4.0f, 0.25f, 2.0f};
  for (int i = 1; i <= 3; ++i) {
    EXPECT_FLOAT_EQ(s.INVCOV(i, i), 1.0f / var[i - 1]);
    EXPECT_FLOAT_EQ(s.INVB(i, i), var[i - 1]);
    for (int j = 1; j <= 3; ++j) {
      if (i == j) continue;
      EXPECT_EQ(s.INVCOV(i, j), 0.0f);
      EXPECT_EQ(s.C(i, j), 0.0f);
      EXPECT_EQ(s.IE(i, j), 0.0f);
    }
    EXPECT_EQ(s.IE(i, i), 1.0f);
    EXPECT_NEAR(s.C(i, i), 0.0f, 1e-6f);
  }
}

TEST(SetUp, ConditionalMeanCoefficientsAreMinusPrecisionRatios) {
  RunState s;
  driver_test::load(s, kTwoParameters);
  driver::set_up_matrices(s);
  // P = inverse of [[0.04, 0.01], [0.01, 0.09]] = [[0.09, -0.01], [-0.01, 0.04]] / 0.0035
  EXPECT_NEAR(s.C(1, 2), 0.01 / 0.09, 1e-6);
  EXPECT_NEAR(s.C(2, 1), 0.01 / 0.04, 1e-6);
  EXPECT_NEAR(s.INVCOV(1, 1), 0.09 / 0.0035, 1e-3);
}

TEST(SetUp, UnboundedParameterReturnsToItsMeanAndLaterRowsHaveNoEffect) {
  RunState s;
  // Row 1 bounds only theta1 (theta1 > 2); row 2 (theta2 > 5) is not active
  // in pass 1 although the mean 0.5 violates it.
  driver_test::load(s, "c\n3 2\nm\n1 0.5 -4\nv\n1 0 0\n0 1 0\n0 0 1\nr\n1 0 0 2\n0 1 0 5\n");
  driver::set_up_matrices(s);
  s.INITIAL(2) = 9.0f;  // a parameter that no active row bounds returns to its mean
  driver::move_start_point(s, 1);
  EXPECT_FLOAT_EQ(s.INITIAL(1), 2.1f);
  EXPECT_EQ(s.INITIAL(2), 0.5f);
  EXPECT_EQ(s.INITIAL(3), -4.0f);
  EXPECT_EQ(s.LOWER(2), -BIG);
  EXPECT_EQ(s.UPPER(2), BIG);
  driver::move_start_point(s, 2);
  EXPECT_FLOAT_EQ(s.INITIAL(2), 5.1f);
}

TEST(SetUp, BoundsOnBothSidesGiveTheMidpointEvenWhenTheyCross) {
  RunState s;
  // theta1 > 1 and -theta1 > 0 (theta1 < 0): lower 1.0, upper 0.0 crossed.
  driver_test::load(s, "c\n1 2\nm\n0.3\nv\n1\nr\n1 1\n-1 0\n");
  driver::set_up_matrices(s);
  driver::move_start_point(s, 2);
  EXPECT_EQ(s.LOWER(1), 1.0f);
  EXPECT_EQ(s.UPPER(1), 0.0f);
  EXPECT_EQ(s.INITIAL(1), 0.5f);

  // Uncrossed: (upper - lower) * 0.5 + lower, rounded once.
  driver_test::load(s, "c\n1 2\nm\n0.3\nv\n1\nr\n1 0.1\n-1 -0.7\n");
  driver::set_up_matrices(s);
  driver::move_start_point(s, 2);
  const double lo = s.LOWER(1), up = s.UPPER(1);
  EXPECT_EQ(s.INITIAL(1), static_cast<float>((up - lo) * 0.5 + lo));
}

TEST(SetUp, NotANumberCoefficientBoundsNothing) {
  RunState s;
  driver_test::load(s, "c\n1 1\nm\n0.3\nv\n1\nr\n1 0\n");
  s.R(1, 1) = std::numeric_limits<float>::quiet_NaN();
  driver::set_up_matrices(s);
  driver::move_start_point(s, 1);
  EXPECT_EQ(s.LOWER(1), -BIG);
  EXPECT_EQ(s.UPPER(1), BIG);
  EXPECT_EQ(s.INITIAL(1), 0.3f);
}

TEST(SetUpDeathTest, CovarianceThatIsNotPositiveDefiniteStopsBeforeTheFirstPass) {
  EXPECT_EXIT(
      {
        dup2(2, 1);
        RunState s;
        driver_test::load(s, "c\n2 1\nm\n0 0\nv\n1 2\n2 1\nr\n1 -1 0\n");
        driver::set_up_matrices(s);
        driver::check_precision_diagonal(s);
      },
      ::testing::ExitedWithCode(2),
      "the covariance matrix is not positive definite.*row 1 of its inverse");
}

}  // namespace
