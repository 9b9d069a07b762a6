#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "driver/run.h"
#include "problem.h"
#include "support/files.h"
#include "textio/textio.h"

namespace {

// The report's records, written to a unit kept in memory.
std::string render(const driver::RunState& s) {
  textio::OutputUnit out;
  out.open_memory(20, "Output.txt");
  driver::write_report(s, out);
  out.close();
  return out.text();
}

// A run with `ncon` constraints on one parameter.
std::string problem_with(int ncon) {
  std::string text = "c\n1 " + std::to_string(ncon) + "\nm\n0\nv\n1\nr\n";
  for (int k = 0; k < ncon; ++k) text += "1 0\n";
  return text;
}

TEST(Report, WorkedExampleIsEighteenRecordsOf542Bytes) {
  driver_test::LoadedRun r(problem_with(2));
  driver::RunState& s = r.s;
  s.fit.estimate(1) = 0.512f;
  s.fit.estimate(2) = 0.873f;
  s.fit.iterations(1) = 1000;
  s.fit.iterations(2) = 3000;
  s.complexity.estimate(1) = 0.25f;
  s.complexity.estimate(2) = 0.5f;
  s.complexity.iterations(1) = 9600;
  s.complexity.iterations(2) = 120000;
  s.summary.TOTALFIT = 0.446976f;
  s.summary.TOTALCOMP = 0.125f;
  s.summary.BFIA = 3.575808f;
  s.summary.BFIC = 5.6577f;
  s.summary.MCERRIA = 0.2114f;
  s.summary.MCERRIC = 0.5123f;
  s.summary.BFSAMPLE(25) = 3.1764f;
  s.summary.BFSAMPLE(975) = 3.9981f;
  s.summary.BFCSAMPLE(25) = 4.7012f;
  s.summary.BFCSAMPLE(975) = 6.8044f;
  const std::string expected = test_support::kWorkedReport;
  const std::string got = render(s);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(got.size(), 542u);
}

TEST(Report, NoConstraintsLeaveTheTablesEmptyAndBficInfinit) {
  driver_test::LoadedRun r(problem_with(0));
  driver::RunState& s = r.s;
  driver::summarise(s);
  const std::string expected =
      "Result:\r\n"
      " \r\n"
      "   Fits        numbers of iterations\r\n"
      " \r\n"
      "Complexities   numbers of iterations\r\n"
      " \r\n"
      "Total fit      Total complexity\r\n"
      "   1.000          1.000\r\n"
      " \r\n"
      "   BFia   MC error (standard deviation)   2.5percentile  97.5percentile\r\n"
      "   1.000        0.000                         1.000           1.000\r\n"
      " \r\n"
      "   BFic   MC error (standard deviation)   2.5percentile  97.5percentile\r\n"
      "   infinit\r\n";
  EXPECT_EQ(render(s), expected);
}

TEST(Report, InfiniteNanAndTooLargeValuesUseTheirTextForms) {
  driver_test::LoadedRun r(problem_with(1));
  driver::RunState& s = r.s;
  s.fit.estimate(1) = 0.5f;
  s.fit.iterations(1) = 10000000;
  s.complexity.estimate(1) = 0.0f;
  s.complexity.iterations(1) = 10000000;
  s.summary.TOTALFIT = 0.5f;
  s.summary.TOTALCOMP = 0.0f;
  s.summary.BFIA = std::numeric_limits<float>::infinity();
  s.summary.MCERRIA = std::numeric_limits<float>::quiet_NaN();
  s.summary.BFSAMPLE(25) = 12345.0f;
  s.summary.BFSAMPLE(975) = std::numeric_limits<float>::infinity();
  s.summary.BFIC = 1000.0f;
  s.summary.MCERRIC = 0.0f;
  const std::string got = render(s);
  EXPECT_NE(got.find("\r\nInfinity          NaN                     12345.000        Infinity\r\n"),
            std::string::npos)
      << got;
  EXPECT_NE(got.find("\r\n1000.000        0.000"), std::string::npos) << got;
  EXPECT_NE(got.find("   0.500       10000000\r\n"), std::string::npos) << got;
}

TEST(Report, BfiaOfTenThousandFillsItsFieldWithAsterisks) {
  driver_test::LoadedRun r(problem_with(0));
  driver::RunState& s = r.s;
  driver::summarise(s);
  s.summary.BFIA = 10000.0f;
  const std::string got = render(s);
  EXPECT_NE(got.find("\r\n********        0.000"), std::string::npos) << got;
}

}  // namespace
