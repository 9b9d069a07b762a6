#include <gtest/gtest.h>

#include <limits>
#include <regex>
#include <string>

#include "driver/run.h"
#include "numlib/errors.h"
#include "problem.h"
#include "support/run.h"
#include "support/stop.h"
#include "textio/textio.h"

namespace {

using driver::BIG;
using driver_test::LoadedRun;

constexpr const char* kTwoParameters =
    "counts\n2 1\nmeans\n0.50 0.20\ncovariance\n0.040 0.010\n0.010 0.090\nrows\n1 -1 0\n";

TEST(SetUp, StartingPointOfTheWorkedExampleIsMovedParameterByParameter) {
  LoadedRun r(kTwoParameters);
  driver::RunState& s = r.s;
  const driver::StartPoint& st = s.start;
  driver::set_up_matrices(s);
  EXPECT_EQ(st.INITIAL(3), -1.0f);
  driver::move_start_point(s, 1);
  // theta1 - theta2 > 0: parameter 1 is bounded below by 0.2 and moved to
  // 0.2 + 0.1, although the mean 0.5 already met the row; parameter 2 is
  // then bounded above by 0.3 and moved to 0.3 - 0.1.
  EXPECT_FLOAT_EQ(st.LOWER(1), 0.2f);
  EXPECT_EQ(st.UPPER(1), BIG);
  EXPECT_FLOAT_EQ(st.INITIAL(1), 0.3f);
  EXPECT_EQ(st.LOWER(2), -BIG);
  EXPECT_FLOAT_EQ(st.UPPER(2), 0.3f);
  EXPECT_EQ(st.INITIAL(2), static_cast<float>(static_cast<double>(st.UPPER(2)) - double{0.1f}));
  EXPECT_EQ(st.INITIAL(3), -1.0f);
  EXPECT_EQ(r.printed(), "");
}

TEST(SetUp, DiagonalCovarianceGivesDiagonalPrecisionAndNoCoupling) {
  LoadedRun r("c\n3 0\nm\n1 2 3\nv\n4 0 0\n0 0.25 0\n0 0 2\nr\n");
  driver::set_up_matrices(r.s);
  const driver::Approximations& a = r.s.approx;
  const float var[] = {4.0f, 0.25f, 2.0f};
  for (int i = 1; i <= 3; ++i) {
    EXPECT_FLOAT_EQ(a.INVCOV(i, i), 1.0f / var[i - 1]);
    EXPECT_FLOAT_EQ(a.INVB(i, i), var[i - 1]);
    for (int j = 1; j <= 3; ++j) {
      if (i == j) continue;
      EXPECT_EQ(a.INVCOV(i, j), 0.0f);
      EXPECT_EQ(a.C(i, j), 0.0f);
      EXPECT_EQ(a.IE(i, j), 0.0f);
    }
    EXPECT_EQ(a.IE(i, i), 1.0f);
    EXPECT_NEAR(a.C(i, i), 0.0f, 1e-6f);
  }
}

TEST(SetUp, ConditionalMeanCoefficientsAreMinusPrecisionRatios) {
  LoadedRun r(kTwoParameters);
  driver::set_up_matrices(r.s);
  const driver::Approximations& a = r.s.approx;
  // P = inverse of [[0.04, 0.01], [0.01, 0.09]] = [[0.09, -0.01], [-0.01, 0.04]] / 0.0035
  EXPECT_NEAR(a.C(1, 2), 0.01 / 0.09, 1e-6);
  EXPECT_NEAR(a.C(2, 1), 0.01 / 0.04, 1e-6);
  EXPECT_NEAR(a.INVCOV(1, 1), 0.09 / 0.0035, 1e-3);
}

TEST(SetUp, UnboundedParameterReturnsToItsMeanAndLaterRowsHaveNoEffect) {
  // Row 1 bounds only theta1 (theta1 > 2); row 2 (theta2 > 5) is not active
  // in pass 1 although the mean 0.5 violates it.
  LoadedRun r("c\n3 2\nm\n1 0.5 -4\nv\n1 0 0\n0 1 0\n0 0 1\nr\n1 0 0 2\n0 1 0 5\n");
  driver::RunState& s = r.s;
  const driver::StartPoint& st = s.start;
  driver::set_up_matrices(s);
  s.start.INITIAL(2) = 9.0f;  // a parameter that no active row bounds returns to its mean
  driver::move_start_point(s, 1);
  EXPECT_FLOAT_EQ(st.INITIAL(1), 2.1f);
  EXPECT_EQ(st.INITIAL(2), 0.5f);
  EXPECT_EQ(st.INITIAL(3), -4.0f);
  EXPECT_EQ(st.LOWER(2), -BIG);
  EXPECT_EQ(st.UPPER(2), BIG);
  driver::move_start_point(s, 2);
  EXPECT_FLOAT_EQ(st.INITIAL(2), 5.1f);
}

TEST(SetUp, BoundsOnBothSidesGiveTheMidpointEvenWhenTheyCross) {
  {
    // theta1 > 1 and -theta1 > 0 (theta1 < 0): lower 1.0, upper 0.0 crossed.
    LoadedRun r("c\n1 2\nm\n0.3\nv\n1\nr\n1 1\n-1 0\n");
    driver::set_up_matrices(r.s);
    driver::move_start_point(r.s, 2);
    const driver::StartPoint& st = r.s.start;
    EXPECT_EQ(st.LOWER(1), 1.0f);
    EXPECT_EQ(st.UPPER(1), 0.0f);
    EXPECT_EQ(st.INITIAL(1), 0.5f);
  }
  {
    // Uncrossed: (upper - lower) * 0.5 + lower, rounded once.
    LoadedRun r("c\n1 2\nm\n0.3\nv\n1\nr\n1 0.1\n-1 -0.7\n");
    driver::set_up_matrices(r.s);
    driver::move_start_point(r.s, 2);
    const driver::StartPoint& st = r.s.start;
    const double lo = st.LOWER(1), up = st.UPPER(1);
    EXPECT_EQ(st.INITIAL(1), static_cast<float>((up - lo) * 0.5 + lo));
  }
}

TEST(SetUp, NotANumberCoefficientBoundsNothing) {
  LoadedRun r("c\n1 1\nm\n0.3\nv\n1\nr\n1 0\n");
  driver::RunState& s = r.s;
  s.problem.R(1, 1) = std::numeric_limits<float>::quiet_NaN();
  driver::set_up_matrices(s);
  driver::move_start_point(s, 1);
  EXPECT_EQ(s.start.LOWER(1), -BIG);
  EXPECT_EQ(s.start.UPPER(1), BIG);
  EXPECT_EQ(s.start.INITIAL(1), 0.3f);
}

// The run ends with the library's stop status and the two lines of the
// message pending, before the first pass and before anything is printed;
// the end of the run then prints them.
TEST(SetUpError, CovarianceThatIsNotPositiveDefiniteEndsTheRunBeforeTheFirstPass) {
  LoadedRun r("c\n2 1\nm\n0 0\nv\n1 2\n2 1\nr\n1 -1 0\n");
  driver::set_up_matrices(r.s);
  const test_support::Ending e =
      test_support::ending_of([&] { driver::check_precision_diagonal(r.s); });
  ASSERT_TRUE(e.ended);
  EXPECT_EQ(e.status, Status::numerical_stop);
  EXPECT_TRUE(std::regex_match(
      e.pending, std::regex("ineqbf: the covariance matrix is not positive definite\\.\n"
                            "ineqbf: row 1 of its inverse has the diagonal element -0\\.333333[0-9]*, "
                            "which is not positive, so no conditional variance exists; no report "
                            "was written\\.")))
      << e.pending;
  EXPECT_EQ(r.printed(), "");

  EXPECT_EQ(driver::end_of_run(r.console, textio::RunEnded(e.status, e.pending)),
            Status::numerical_stop);
  const size_t cut = e.pending.find('\n');
  EXPECT_EQ(r.printed(), test_support::Lines({e.pending.substr(0, cut), e.pending.substr(cut + 1)}));
  EXPECT_EQ(r.console.message(), e.pending);
}

}  // namespace
