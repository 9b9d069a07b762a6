// The checks around an analysis: rows that cannot hold or that bound the
// region (against regions worked out by hand), the covariance matrix, the
// rule that says a Gibbs estimate is off, and notes on values that are not
// finite.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "api/checks.h"
#include "ineqbf/ineqbf.h"

namespace {

using ineqbf::Constraint;
using ineqbf::detail::judge_rows;
using Rows = std::vector<Constraint>;
using Set = std::vector<size_t>;

constexpr double kInf = std::numeric_limits<double>::infinity();

struct RowsCase {
  const char* what;
  Rows rows;
  Set conflicting;
  Set bounding;
};

TEST(Checks, RowsThatCannotHoldAndRowsThatBound) {
  const std::vector<RowsCase> cases = {
      {"a > b > a", {{{1, -1}, 0}, {{-1, 1}, 0}}, {0, 1}, {}},
      {"b1 > 1 & b1 < 0", {{{1}, 1}, {{-1}, 0}}, {0, 1}, {}},
      {"b1 > 1 & b1 < 1: no room, strictly", {{{1}, 1}, {{-1}, -1}}, {0, 1}, {}},
      {"a > b > c > a", {{{1, -1, 0}, 0}, {{0, 1, -1}, 0}, {{-1, 0, 1}, 0}}, {0, 1, 2}, {}},
      {"a spare row is not named", {{{1, 0}, 1}, {{0, 1}, 0}, {{-1, 0}, 0}}, {0, 2}, {}},
      {"0 > 1 never holds", {{{1, 0}, 0}, {{0, 0}, 1}}, {1}, {}},
      {"0 > 0 never holds", {{{0, 0}, 0}}, {0}, {}},
      {"0 > -1 always holds", {{{0, 0}, -1}, {{1, -1}, 0}}, {}, {}},
      {"an order", {{{1, -1, 0}, 0}, {{0, 1, -1}, 0}}, {}, {}},
      {"no rows", {}, {}, {}},
      {"-1 < b < 1", {{{1}, -1}, {{-1}, -1}}, {}, {0, 1}},
      {"a band in one of two parameters", {{{1, 0}, -1}, {{-1, 0}, -1}}, {}, {0, 1}},
      {"an order inside a range", {{{1, -1, 0}, 0}, {{0, 1, -1}, 0}, {{1, 0, 0}, -1}, {{-1, 0, 0}, -1}}, {}, {2, 3}},
      {"a thin band far out", {{{1}, 1e8}, {{-1}, -1e8 - 16}}, {}, {0, 1}},
      {"a band thin for its distance from 0", {{{1}, 1e8}, {{-1}, -1e8 - 0.01}}, {}, {0, 1}},
      {"a thin band near 0", {{{1}, 0}, {{-1}, -1e-6}}, {}, {0, 1}},
      {"a triangle", {{{1, 0}, 0}, {{0, 1}, 0}, {{-1, -1}, -1}}, {}, {0, 1, 2}},
      {"rows on different scales", {{{0, -1, 0}, 0}, {{0, 606.47, -9.03}, 0}}, {}, {}},
  };
  for (const RowsCase& c : cases) {
    const auto v = judge_rows(c.rows);
    EXPECT_EQ(v.conflicting, c.conflicting) << c.what;
    EXPECT_EQ(v.bounding, c.bounding) << c.what;
  }
}

// The largest margin t of a_i·x − t ≥ c_i, t ≤ 1, rows of unit length.
TEST(Checks, LargestMarginOfUnitRows) {
  struct Case {
    std::vector<std::vector<double>> a;
    std::vector<double> c;
    double t;
  };
  const double h = std::sqrt(0.5);
  const std::vector<Case> cases = {
      {{{1}, {-1}}, {0, -2}, 1.0},          // 0 < x < 2: x = 1
      {{{1}, {-1}}, {0, -1}, 0.5},          // 0 < x < 1
      {{{1}, {-1}}, {1, 0}, -0.5},          // x > 1 and x < 0
      {{{1}}, {5}, 1.0},                    // capped at 1
      {{{h, h}, {-h, -h}}, {0, 0}, 0.0},    // x1 + x2 > 0 and < 0
      {{{1, 0}, {0, 1}, {-h, -h}}, {0, 0, -h}, 1.0 / (2.0 + std::sqrt(2.0))},  // inscribed circle
  };
  for (const Case& c : cases) {
    const auto t = ineqbf::detail::largest_margin(c.a, c.c);
    ASSERT_TRUE(t.has_value());
    EXPECT_NEAR(*t, c.t, 1e-12);
  }
}

ineqbf::Problem two_parameters() {
  ineqbf::Problem p;
  p.means = {0.5, 0.2};
  p.covariance = {0.04, 0.01, 0.01, 0.09};
  p.names = {"b1", "b2"};
  return p;
}

std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const ineqbf::Error& e) {
    return std::to_string(ineqbf::exit_code(e.status())) + ": " + e.message();
  }
  return "no error";
}

// Hypotheses whose rows cannot all hold are refused before any run, by
// either method; a problem's own rows only under integration (Gibbs runs
// them as the program does, and warns).
TEST(Checks, ConflictingRowsAreRefusedNamingThem) {
  const ineqbf::Problem p = two_parameters();
  ineqbf::Settings integration;
  integration.method = ineqbf::Method::integration;
  const std::string conflict = "the constraints cannot all hold: rows 1 and 2 (b1 > 1, -b1 > 0) contradict each other";
  EXPECT_EQ(error_of([&] { ineqbf::analyse(p, "b1 > 1 & b1 < 0"); }),
            "4: hypothesis 1 (b1 > 1 & b1 < 0): " + conflict);
  EXPECT_EQ(error_of([&] { ineqbf::analyse(p, "b1 > b2; b2 > b1 > b2", integration); }),
            "4: hypothesis 2 (b2 > b1 > b2): the constraints cannot all hold: rows 1 and 2 "
            "(-b1 + b2 > 0, b1 - b2 > 0) contradict each other");
  EXPECT_EQ(error_of([&] { ineqbf::check_hypotheses(p, ineqbf::parse_hypotheses("b1 > 0; b1 > 1 & b1 < 0", p.names)); }),
            "4: hypothesis 2 (b1 > 1 & b1 < 0): " + conflict);
  ineqbf::Problem own = p;
  own.constraints = {{{1, 0}, 1}, {{-1, 0}, 0}};
  EXPECT_EQ(error_of([&] { ineqbf::analyse(own, integration); }), "4: " + conflict);
  const auto warnings = ineqbf::check(own);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].message, conflict);
}

TEST(Checks, BoundedRegionWarnsNamingTheRows) {
  ineqbf::Problem p = two_parameters();
  p.constraints = {{{1, -1}, 0}, {{1, 0}, -1}, {{-1, 0}, -1}};
  const auto warnings = ineqbf::check(p);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].message.substr(0, 58), "rows 2 and 3 (b1 > -1, -b1 > -1) enclose the parameters on");
}

TEST(Checks, AsymmetricCovarianceOnePolicy) {
  struct Case {
    std::vector<double> covariance;
    std::vector<std::string> messages;
  };
  const std::string prefix = "the covariance matrix is not symmetric: ";
  const std::vector<Case> cases = {
      {{0.04, 0.01, 0.02, 0.09}, {prefix + "element (1, 2) is 0.01 but (2, 1) is 0.02"}},
      {{0.04, 0.01, 0.01, 0.09}, {}},
      // Below single precision's resolution: the rounding of a symmetric matrix.
      {{0.04, 0.01, 0.01 * (1 + 1e-12), 0.09}, {}},
      {{0.04, 0.01, 0.01 * (1 + 1e-6), 0.09}, {prefix + "element (1, 2) is 0.01 but (2, 1) is 0.01000001"}},
  };
  for (const Case& c : cases) {
    ineqbf::Problem p = two_parameters();
    p.covariance = c.covariance;
    std::vector<std::string> got;
    for (const auto& w : ineqbf::check(p)) got.push_back(w.message);
    EXPECT_EQ(got, c.messages);
    ineqbf::Settings integration;
    integration.method = ineqbf::Method::integration;
    got.clear();
    for (const auto& w : ineqbf::check(p, integration)) got.push_back(w.message);
    EXPECT_EQ(got, c.messages) << "the same through integration";
  }
  // Seven pairs differ in a 5 × 5 matrix: five named, then the count.
  ineqbf::Problem p;
  p.means.assign(5, 0.0);
  p.covariance.assign(25, 0.0);
  for (int i = 0; i < 5; ++i) p.covariance[i * 5 + i] = 1.0;
  for (int k = 1; k < 8; ++k) p.covariance[k <= 4 ? k : 5 * (k - 3) + 1] = 0.001 * k;
  const auto w = ineqbf::detail::asymmetry_warnings(p);
  ASSERT_EQ(w.size(), 6u);
  EXPECT_EQ(w.back().message, "and 2 more pairs that differ");
}

TEST(Checks, ConditionOfTheCorrelationMatrix) {
  struct Case {
    std::vector<double> covariance;
    double condition;
  };
  const double r = 1.0 - 1e-8;
  const std::vector<Case> cases = {
      {{1, 0, 0, 1}, 1.0},
      {{1e-6, 0, 0, 1e6}, 1.0},  // scales alone are no trouble for single precision
      {{4, 1, 1, 1}, (1 + 0.5) / (1 - 0.5)},
      {{1, r, r, 1}, (1 + r) / (1 - r)},
      {{1, 1, 1, 1}, kInf},
  };
  for (const Case& c : cases) {
    ineqbf::Problem p;
    p.means = {0, 0};
    p.covariance = c.covariance;
    const auto kappa = ineqbf::detail::correlation_condition(p);
    ASSERT_TRUE(kappa.has_value());
    if (std::isinf(c.condition))
      EXPECT_TRUE(std::isinf(*kappa) || *kappa > 1e15);
    else
      EXPECT_NEAR(*kappa / c.condition, 1.0, 1e-6);
  }
  ineqbf::Problem p = two_parameters();
  p.covariance = {1, 1 - 1e-7, 1 - 1e-7, 1};  // condition 2e7
  const auto w = ineqbf::check(p);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_NE(w[0].message.find("too ill-conditioned for single precision"), std::string::npos);
  ineqbf::Settings integration;
  integration.method = ineqbf::Method::integration;
  EXPECT_TRUE(ineqbf::check(p, integration).empty()) << "integration computes in double";
}

// Off means both beyond four MC errors and beyond 2 % of the integrated value.
TEST(Checks, OffItsIntegratedValue) {
  struct Case {
    double value, mc_error, integrated;
    bool off;
    double integrated_error = 0.0;
  };
  const std::vector<Case> cases = {
      {0.119, 0.0005, 0.99997, true},   // the chain never left its start
      {1.308, 0.040, 1.76581, true},    // 11 MC errors and 26 % off
      {1.76, 0.040, 1.76581, false},    // within its error
      {0.50, 0.001, 0.505, false},      // 5 errors but 1 %
      {0.50, 0.003, 0.52, true},        // 4 % and 6.7 errors
      {0.50, 0.006, 0.52, false},       // 4 % but 3.3 errors
      {0.50, 0.004, 0.52, true},        // 4 % and 5 errors
      {0.0, 0.0, 0.0, false},
      {0.0, 0.0, 0.03, true},           // no hit at all where 3 % of draws should hit
      {kInf, 1.0, 2.0, false},          // not finite: noted elsewhere
      {2.0, 0.01, std::nan(""), false},
      {3.0, 0.02, 3.5, true, 0.05},     // 0.5 beyond 4 × (0.02 + 0.05)
      {3.0, 0.02, 3.5, false, 0.2},     // an integration short of its precision
  };
  for (const Case& c : cases)
    EXPECT_EQ(ineqbf::detail::off_integrated(c.value, c.mc_error, c.integrated, c.integrated_error), c.off)
        << c.value << " ± " << c.mc_error << " against " << c.integrated;
}

// A result made by hand: a complexity of 0, a total fit of 1.
ineqbf::Result with(double fit, double complexity) {
  ineqbf::Result r;
  r.constraints.resize(2);
  r.constraints[0].fit.value = 1.0;
  r.constraints[0].complexity.value = 0.5;
  r.constraints[1].fit.value = fit;
  r.constraints[1].complexity.value = complexity;
  r.total_fit = fit;
  r.total_complexity = 0.5 * complexity;
  r.bf_ia = {fit / r.total_complexity, 0.1, 1.0, 3.0};
  r.bf_ic = {r.bf_ia.value / ((1 - fit) / (1 - r.total_complexity)), 0.1, 1.0, 3.0};
  return r;
}

TEST(Checks, NotFiniteValuesAreNoted) {
  struct Case {
    ineqbf::Result r;
    std::vector<std::string> messages;
  };
  std::vector<Case> cases = {
      {with(0.5, 0.5), {}},
      {with(0.5, 0.0),
       {"BFia is inf: the complexity of constraint 2 is 0: no draw of the prior met the constraint",
        "BFic is inf: BFia is not finite"}},
      {with(1.0, 0.5),
       {"BFic is inf: the total fit is 1: no draw of the posterior fell outside the hypothesis, so its "
        "complement has no support"}},
  };
  // Integration names a complexity of 0 itself: not said twice.
  ineqbf::Result integrated = with(0.5, 0.0);
  integrated.method = ineqbf::Method::integration;
  integrated.warnings.push_back({"the complexity of constraint 2 is 0: …", "complexity", 2, 0.0, 0.0});
  cases.push_back({integrated, {}});
  for (const Case& c : cases) {
    std::vector<std::string> got;
    for (const auto& w : ineqbf::detail::not_finite_warnings(c.r)) got.push_back(w.message);
    EXPECT_EQ(got, c.messages);
  }
}

TEST(Checks, ComparisonsWithAHypothesisOfBfiaZeroAreNoted) {
  std::vector<ineqbf::Result> results(2);
  for (auto& r : results) {
    r.bf_ia = {1.0, 0.0, 1.0, 1.0};
    r.bf_ia_replicates.assign(10, 1.0);
  }
  results[1].bf_ia = {0.0, 0.0, 0.0, 0.0};
  results[1].bf_ia_replicates.assign(10, 0.0);
  results[1].method = results[0].method = ineqbf::Method::integration;
  const auto c = ineqbf::compare({{"a", {}}, {"b", {}}}, results);
  // Ten replicates: the 2.5 percentile is the smallest of them.
  EXPECT_EQ(c.bayes_factors[0][0].lower, 1.0);
  EXPECT_TRUE(c.results[0].warnings.empty());
  ASSERT_EQ(c.results[1].warnings.size(), 1u);
  EXPECT_EQ(c.results[1].warnings[0].message,
            "the Bayes factors of other hypotheses against hypothesis 2 are not finite: its BFia is 0 (a fit of "
            "0: no draw of the posterior met its constraints)");
}

}  // namespace

namespace {

// What check() says comes first among an analysis's warnings, so that a
// caller that showed it at once shows the rest after the run.
TEST(Checks, AnalysisWarningsStartWithTheChecks) {
  ineqbf::Problem p = two_parameters();
  p.covariance = {0.04, 0.01, 0.02, 0.09};
  p.constraints = {{{1, -1}, 0}};
  const auto before = ineqbf::check(p);
  ASSERT_EQ(before.size(), 1u);
  const ineqbf::Result r = ineqbf::analyse(p);
  ASSERT_GE(r.warnings.size(), 1u);
  EXPECT_EQ(r.warnings[0].message, before[0].message);
}

}  // namespace

namespace {

// A warning names the quantity, the constraint, both values and the remedy.
TEST(Checks, OffWarningsNameTheQuantityAndBothValues) {
  ineqbf::Result gibbs, integrated;
  gibbs.constraints.resize(2);
  integrated.constraints.resize(2);
  gibbs.constraints[0].fit = {0.119f, 0.0005, 0, 0, 0, {}};
  integrated.constraints[0].fit.value = 0.99997;
  gibbs.constraints[1].complexity = {0.5f, 0.001, 0, 0, 0, {}};
  integrated.constraints[1].complexity.value = 0.5003;  // within its error
  gibbs.bf_ia = {0.231f, 0.007, 0, 0};
  integrated.bf_ia.value = 1.99994;
  const auto w = ineqbf::detail::off_warnings(gibbs, integrated);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].message,
            "constraint 1: the Gibbs fit 0.119 (MC error 0.0005) is off its integrated value 0.99997 by more than 4 "
            "MC errors; use --method integration (method = \"integration\" in R and Python)");
  EXPECT_EQ(w[0].quantity, "fit");
  EXPECT_EQ(w[0].constraint, 1);
  EXPECT_EQ(w[0].value, static_cast<double>(0.119f));
  EXPECT_EQ(w[0].integrated, 0.99997);
  EXPECT_EQ(w[1].quantity, "bf_ia");
  EXPECT_EQ(w[1].constraint, 0);
  EXPECT_EQ(w[1].message.substr(0, 60), "the Gibbs BFia 0.231 (MC error 0.007) is off its integrated ");
}

}  // namespace

namespace {

// Random rows around a point they all hold at never conflict; one more row
// that reverses a positive combination of some of them always does, and
// every row named is needed for it. Parameters on scales from 1e-4 to 1e4.
TEST(Checks, RandomRowsWithAKnownAnswer) {
  std::mt19937 g(7);
  std::normal_distribution<double> normal;
  auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g); };
  for (int round = 0; round < 3000; ++round) {
    const int n = between(1, 8), m = between(1, 10);
    std::vector<double> point(n), scale(n);
    for (int j = 0; j < n; ++j) scale[j] = std::pow(10.0, between(-4, 4));
    for (double& v : point) v = normal(g) * std::pow(10.0, between(-3, 3));
    Rows rows(m);
    for (Constraint& r : rows) {
      for (int j = 0; j < n; ++j) r.coefficients.push_back(normal(g) * scale[j]);
      double at = 0.0;
      for (int j = 0; j < n; ++j) at += r.coefficients[j] * point[j];
      r.rhs = at - std::fabs(normal(g)) - 1e-6;
    }
    ASSERT_TRUE(judge_rows(rows).conflicting.empty()) << "round " << round;
    Constraint reverse{std::vector<double>(n, 0.0), 1.0 + std::fabs(normal(g))};
    for (int i = 0, k = between(1, m); i < k; ++i) {
      const double w = std::fabs(normal(g)) + 0.1;
      for (int j = 0; j < n; ++j) reverse.coefficients[j] -= w * rows[i].coefficients[j];
      reverse.rhs -= w * rows[i].rhs;
    }
    rows.push_back(reverse);
    const Set named = judge_rows(rows).conflicting;
    ASSERT_FALSE(named.empty()) << "round " << round;
    for (size_t d = 0; d < named.size(); ++d) {
      Rows fewer;
      for (size_t e = 0; e < named.size(); ++e)
        if (e != d) fewer.push_back(rows[named[e]]);
      EXPECT_TRUE(judge_rows(fewer).conflicting.empty()) << "round " << round;
    }
  }
}

}  // namespace
