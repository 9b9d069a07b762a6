#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "driver/run.h"
#include "problem.h"
#include "support/files.h"

namespace {

using driver::RunState;

std::string render(RunState& s) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("ineqbf-report-" + std::to_string(getpid()) + ".txt");
  {
    textio::OutputUnit out;
    out.open(20, path.string());
    driver::write_report(s, out);
    out.close();
  }
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  std::filesystem::remove(path);
  return ss.str();
}

void problem_with(RunState& s, int ncon) {
  std::string text = "c\n1 " + std::to_string(ncon) + "\nm\n0\nv\n1\nr\n";
  for (int k = 0; k < ncon; ++k) text += "1 0\n";
  driver_test::load(s, text);
}

TEST(Report, WorkedExampleIsEighteenRecordsOf542Bytes) {
  RunState s;
  problem_with(s, 2);
  s.FF(1) = 0.512f;
  s.FF(2) = 0.873f;
  s.NUMF(1) = 1000;
  s.NUMF(2) = 3000;
  s.CC(1) = 0.25f;
  s.CC(2) = 0.5f;
  s.NUMC(1) = 9600;
  s.NUMC(2) = 120000;
  s.TOTALFIT = 0.446976f;
  s.TOTALCOMP = 0.125f;
  s.BFIA = 3.575808f;
  s.BFIC = 5.6577f;
  s.MCERRIA = 0.2114f;
  s.MCERRIC = 0.5123f;
  s.BFSAMPLE(25) = 3.1764f;
  s.BFSAMPLE(975) = 3.9981f;
  s.BFCSAMPLE(25) = 4.7012f;
  s.BFCSAMPLE(975) = 6.8044f;
  const std::string expected = test_support::kWorkedReport;
  const std::string got = render(s);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(got.size(), 542u);
}

TEST(Report, NoConstraintsLeaveTheTablesEmptyAndBficInfinit) {
  RunState s;
  problem_with(s, 0);
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
  RunState s;
  problem_with(s, 1);
  s.FF(1) = 0.5f;
  s.NUMF(1) = 10000000;
  s.CC(1) = 0.0f;
  s.NUMC(1) = 10000000;
  s.TOTALFIT = 0.5f;
  s.TOTALCOMP = 0.0f;
  s.BFIA = std::numeric_limits<float>::infinity();
  s.MCERRIA = std::numeric_limits<float>::quiet_NaN();
  s.BFSAMPLE(25) = 12345.0f;
  s.BFSAMPLE(975) = std::numeric_limits<float>::infinity();
  s.BFIC = 1000.0f;
  s.MCERRIC = 0.0f;
  const std::string got = render(s);
  EXPECT_NE(got.find("\r\nInfinity          NaN                     12345.000        Infinity\r\n"),
            std::string::npos)
      << got;
  EXPECT_NE(got.find("\r\n1000.000        0.000"), std::string::npos) << got;
  EXPECT_NE(got.find("   0.500       10000000\r\n"), std::string::npos) << got;
}

TEST(Report, BfiaOfTenThousandFillsItsFieldWithAsterisks) {
  RunState s;
  problem_with(s, 0);
  driver::summarise(s);
  s.BFIA = 10000.0f;
  const std::string got = render(s);
  EXPECT_NE(got.find("\r\n********        0.000"), std::string::npos) << got;
}

}  // namespace
