// Pieces of the command line on their own: what each option does when it
// is given, malformed or given twice; the comparison table's columns; the
// warnings of a result in the JSON.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/checks.h"
#include "cli/json.h"
#include "cli/options.h"
#include "cli/print.h"

namespace {

// The library's checks before a run, each message said once: an asymmetric
// covariance the reader has named already is not added again; rows that
// cannot all hold are.
TEST(ChecksBeforeTheRun, AddTheLibrarysWarningsOnce) {
  ineqbf::Problem p;
  p.means = {0.1, 0.2};
  p.covariance = {0.04, 0.01, 0.02, 0.09};
  p.constraints = {{{1, 0}, 1}, {{-1, 0}, 0}};
  std::vector<std::string> said = {
      "the covariance matrix is not symmetric: element (1, 2) is 0.01 but (2, 1) is 0.02"};
  cli::add_checks(said, p, ineqbf::Method::gibbs);
  ASSERT_EQ(said.size(), 2u);
  EXPECT_NE(said[1].find("cannot all hold"), std::string::npos) << said[1];
  cli::add_checks(said, p, ineqbf::Method::gibbs);
  EXPECT_EQ(said.size(), 2u);
  std::vector<std::string> none;
  cli::add_checks(none, ineqbf::Problem{}, ineqbf::Method::gibbs);  // refused outright: nothing here
  EXPECT_TRUE(none.empty());
}

cli::Parsed parse(std::vector<const char*> args) {
  return cli::parse_arguments(static_cast<int>(args.size()), args.data());
}

TEST(Options, MistakesAndRepeats) {
  struct Case {
    std::vector<const char*> args;
    const char* error;  // a piece of the error; "" for none
  };
  const Case cases[] = {
      {{"--seed", "5", "--seed", "5"}, "option --seed is given twice; give it once"},
      {{"-o", "a", "--output", "b"}, "option --output is given twice"},
      {{"--names", "a,b", "--names", "a,b"}, "option --names is given twice"},
      {{"--json", "a", "--json=b"}, "option --json is given twice"},
      {{"--threads", "1", "--threads", "2"}, "option --threads is given twice"},
      {{"-q", "-q", "--no-check", "--no-check"}, ""},
      {{"--hypothesis", "a > 0", "--hypothesis", "b > 0"}, ""},
      {{"--threads", "0", "-j", "0"}, ""},
      {{"--threads", "-1"}, "--threads needs a number from 0 (every core) to 1024"},
      {{"--method", "gibs"}, "--method needs gibbs or integration, not \"gibs\""},
      {{"--precision", "0"}, "--precision needs a positive number"},
      {{"--precision", "nan"}, "--precision needs a positive number"},
      {{"--prior", "1,x"}, "--prior needs prior model probabilities as numbers"},
      {{"--names", "a,,b"}, "--names: name 2 is empty"},
      {{"--names", "a,b,a"}, "--names: \"a\" is given twice"},
      {{"--names", "a,\xc0\xaf"}, "--names: name 2 is not valid UTF-8"},  // an overlong '/'
      {{"--names", "a,\xed\xa0\x80"}, "--names: name 2 is not valid UTF-8"},  // a surrogate
      {{"--names", "\xce\xb2" "1,b"}, ""},
      {{"--no-check=1"}, "option --no-check takes no value"},
  };
  for (const Case& c : cases) {
    const cli::Parsed r = parse(c.args);
    if (std::string(c.error).empty())
      EXPECT_EQ(r.error, "") << c.args[0];
    else
      EXPECT_NE(r.error.find(c.error), std::string::npos) << c.args[0] << ": " << r.error;
  }
}

TEST(Options, ValuesTaken) {
  const cli::Parsed r = parse({"--hypothesis", "a > 0", "--hypothesis", "b > 0; c > 0", "--method", "integration",
                               "--precision", "0.002", "--prior", "1, 2,3", "--no-check", "--threads", "0"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.hypotheses, (std::vector<std::string>{"a > 0", "b > 0; c > 0"}));
  EXPECT_EQ(r.options.method, ineqbf::Method::integration);
  EXPECT_EQ(r.options.precision, 0.002);
  EXPECT_EQ(r.options.prior, (std::vector<double>{1, 2, 3}));
  EXPECT_FALSE(r.options.check);
  EXPECT_EQ(r.options.threads, 0);
  EXPECT_EQ(cli::Options{}.seed, ineqbf::default_seed);
}

// Three hypotheses, one of them with BFic reported infinite: every column's
// cells end (numbers) or start (text) at the same character on every line.
TEST(ComparisonTable, ColumnsAreAligned) {
  cli::ProblemOutcome p;
  p.hypotheses = {"theta1 > theta2", "a rather long hypothesis text that is cut short", "t > 0"};
  const double bfs[] = {1.582, 123.25, 0.5};
  ineqbf::Comparison c;
  for (int h = 0; h < 3; ++h) {
    ineqbf::Result r;
    r.bf_ia = {bfs[h], 0.05, bfs[h] - 0.1, bfs[h] + 0.1};
    r.bf_ic = {3.9, 0.4, 3.0, 4.5};
    r.bf_ic_infinite = h == 1;
    p.results.push_back(r);
    c.posterior.push_back({0.3, 0.01, 0.28, 0.32});
    c.posterior_with_unconstrained.push_back({0.25, 0.01, 0.23, 0.27});
  }
  c.posterior_with_unconstrained.push_back({0.25, 0.01, 0.23, 0.27});
  p.comparison = c;
  std::FILE* f = std::tmpfile();
  cli::print_comparison(p, f);
  std::rewind(f);
  std::vector<std::string> lines;
  char buf[512];
  while (std::fgets(buf, sizeof buf, f) != nullptr) lines.emplace_back(buf);
  std::fclose(f);
  ASSERT_EQ(lines.size(), 6u);  // a blank line, the heading, three hypotheses, Hu
  const std::string& head = lines[1];
  // The end of each heading is the end of its column's cells.
  for (const char* heading : {"BFia", "BFic", "PMP with Hu"}) {
    const size_t end = head.find(heading) + std::string(heading).size();
    for (size_t i = 2; i < 5; ++i) EXPECT_EQ(lines[i][end - 1] != ' ', true) << heading << ": " << lines[i];
    for (size_t i = 2; i < 5; ++i) EXPECT_EQ(lines[i][end], ' ') << heading << ": " << lines[i];
  }
  EXPECT_NE(lines[3].find("infinite"), std::string::npos);
  EXPECT_NE(lines[3].find("a rather long hypothesis text that is..."), std::string::npos);
  EXPECT_EQ(lines[5].substr(0, 18), "Hu (unconstrained)");
}

TEST(Json, ResultWarningsAreObjects) {
  cli::ProblemOutcome p;
  p.input = "Input.txt";
  ineqbf::Result r;
  r.constraints.resize(1);
  r.constraints[0].row.coefficients = {1.0};
  r.warnings.push_back({"the fit of constraint 1 is off: 0.119 by this run, 0.99997 integrated", "fit", 1, 0.119,
                        0.99997});
  p.names = {"b"};
  p.results.push_back(r);
  p.hypotheses.push_back("b > 0");
  const std::string doc = cli::json_document({p}, 12345);
  EXPECT_NE(doc.find("\"warnings\": [\n            {\n              \"message\": \"the fit of constraint 1 is off: "
                     "0.119 by this run, 0.99997 integrated\",\n              \"quantity\": \"fit\",\n              "
                     "\"constraint\": 1,\n              \"value\": 0.119,\n              \"integrated\": 0.99997"),
            std::string::npos)
      << doc;
}

}  // namespace
