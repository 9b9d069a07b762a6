// The integration method against probabilities known exactly: closed forms,
// orthants of known probability, quadrature of up to three rows; its
// invariances, the rows it must accept, its errors and warnings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "ineqbf/ineqbf.h"
#include "tests/integrate/exact.h"

namespace {

using ineqbf::Constraint;
using ineqbf::Problem;
using ineqbf::Result;

constexpr double kBig = 1661992960.0;  // the prior's standard deviation

Result integrated(const Problem& p, double precision = 1e-3, int32_t seed = ineqbf::default_seed,
                  ineqbf::ComplexityPrior prior = ineqbf::ComplexityPrior::normal) {
  ineqbf::Settings s;
  s.method = ineqbf::Method::integration;
  s.precision = precision;
  s.seed = seed;
  s.complexity_prior = prior;
  return ineqbf::analyse(p, s);
}

std::vector<double> identity(size_t n, double variance = 1.0) {
  std::vector<double> c(n * n, 0.0);
  for (size_t i = 0; i < n; ++i) c[i * n + i] = variance;
  return c;
}

std::vector<double> equicorrelated(size_t n, double rho) {
  std::vector<double> c(n * n, rho);
  for (size_t i = 0; i < n; ++i) c[i * n + i] = 1.0;
  return c;
}

Constraint row(std::vector<double> c, double rhs = 0.0) { return {std::move(c), rhs}; }

// θ1 > θ2 > … > θn.
std::vector<Constraint> order(size_t n) {
  std::vector<Constraint> rows;
  for (size_t k = 0; k + 1 < n; ++k) {
    std::vector<double> c(n, 0.0);
    c[k] = 1.0;
    c[k + 1] = -1.0;
    rows.push_back(row(c));
  }
  return rows;
}

// Every θi > 0.
std::vector<Constraint> orthant(size_t n) {
  std::vector<Constraint> rows;
  for (size_t k = 0; k < n; ++k) {
    std::vector<double> c(n, 0.0);
    c[k] = 1.0;
    rows.push_back(row(c));
  }
  return rows;
}

double exact_probability(const Problem& p, size_t rows) {
  std::vector<std::vector<double>> c;
  std::vector<double> r;
  for (size_t k = 0; k < rows; ++k) {
    c.push_back(p.constraints[k].coefficients);
    r.push_back(p.constraints[k].rhs);
  }
  return exact::probability(c, r, p.means, p.covariance);
}

Problem prior_of(const Problem& p) {
  Problem q = p;
  q.means.assign(p.means.size(), 0.0);
  q.covariance = identity(p.means.size(), kBig * kBig);
  return q;
}

// Within n stated errors, or 1e-10 relative where the value is exact.
void expect_within(double value, double error, double exact, double n, const std::string& what) {
  EXPECT_LE(std::fabs(value - exact), n * error + 1e-10 * std::fabs(exact))
      << what << ": " << value << " ± " << error << ", exact " << exact;
}

// ---- Bayes factors against exact values ----------------------------------------------

struct Case {
  std::string name;
  Problem problem;
  double fit;         // exact total fit
  double complexity;  // exact total complexity
};

std::vector<Case> cases() {
  std::vector<Case> v;
  auto add_exact = [&](std::string name, Problem p) {
    const size_t K = p.constraints.size();
    const double f = exact_probability(p, K), c = exact_probability(prior_of(p), K);
    v.push_back({std::move(name), std::move(p), f, c});
  };
  add_exact("one row, t = 2.4", Problem{{1.5}, {0.25}, {row({1.0}, 0.3)}, {}});
  for (double rho : {-0.77, 0.3, 0.95}) {
    Problem p{{0.0, 0.0}, equicorrelated(2, rho), orthant(2), {}};
    v.push_back({"bivariate orthant, rho " + std::to_string(rho), p, 0.25 + std::asin(rho) / (2 * M_PI), 0.25});
  }
  add_exact("two rows, shifted and correlated",
            Problem{{-0.8, 0.3}, {0.4, -0.25, -0.25, 0.3}, {row({-1.0, 0.0}), row({0.3, -1.0}, -0.2)}, {}});
  add_exact("three rows, uncentred slopes on scales 1 to 1000",
            Problem{{2.0, 0.004, -0.3},
                    {1.0, -0.00099, 0.05, -0.00099, 1e-6, -2e-5, 0.05, -2e-5, 0.09},
                    {row({0.0, 1.0, 0.0}), row({0.0, 1000.0, 1.0}, 3.0), row({1.0, 0.0, 0.0}, 1.5)},
                    {}});
  for (size_t n = 3; n <= 6; ++n) {
    const double f = 1.0 / std::tgamma(n + 1.0);
    v.push_back({"order of " + std::to_string(n) + " exchangeable parameters",
                 Problem{std::vector<double>(n, 0.3), identity(n), order(n), {}}, f, f});
  }
  for (size_t n = 2; n <= 6; ++n)
    v.push_back({"orthant of " + std::to_string(n) + " equicorrelated parameters, rho 1/2",
                 Problem{std::vector<double>(n, 0.0), equicorrelated(n, 0.5), orthant(n), {}}, 1.0 / (n + 1.0),
                 1.0 / std::pow(2.0, static_cast<double>(n))});
  return v;
}

TEST(Integration, BayesFactorsLieWithinFourStatedErrorsOfTheExactValues) {
  for (const Case& c : cases()) {
    const Result r = integrated(c.problem);
    EXPECT_EQ(r.method, ineqbf::Method::integration);
    expect_within(r.bf_ia.value, r.bf_ia.mc_error, c.fit / c.complexity, 4, c.name + " BFia");
    expect_within(r.total_complexity, r.total_complexity * 4e-3, c.complexity, 1, c.name + " complexity");
    EXPECT_LE(r.bf_ia.mc_error, 1e-3 * r.bf_ia.value) << c.name;
    EXPECT_TRUE(r.warnings.empty()) << c.name << ": " << r.warnings[0].message;
  }
}

TEST(Integration, FitsOfOrdersAndOrthantsAreTheKnownConditionalProbabilities) {
  // θ1 > … > θ6 exchangeable: row k holds given rows 1..k-1 with probability
  // 1/(k+1); an orthant with correlations 1/2: k/(k+1).
  // The chain's fits come from its one-dimensional recursion (no points);
  // the same rows in another order are integrated: θ1 > θ2, θ3 > θ4, then
  // θ2 > θ3, given the first two 1/6 of the orderings with both.
  const Result ord = integrated(Problem{std::vector<double>(6, 0.0), identity(6), order(6), {}});
  const Result ort = integrated(Problem{std::vector<double>(5, 0.0), equicorrelated(5, 0.5), orthant(5), {}});
  for (size_t k = 1; k <= ord.constraints.size(); ++k) {
    const ineqbf::Probability& f = ord.constraints[k - 1].fit;
    EXPECT_NEAR(f.value, 1.0 / (k + 1.0), 1e-11) << "order fit " << k;
    EXPECT_EQ(f.points, 0);
  }
  const std::vector<Constraint> chain = order(4);
  const Result mixed = integrated(Problem{{0.0, 0.0, 0.0, 0.0}, identity(4), {chain[0], chain[2], chain[1]}, {}});
  const double mixed_fits[] = {0.5, 0.5, 1.0 / 6};
  for (size_t k = 0; k < 3; ++k) {
    const ineqbf::Probability& f = mixed.constraints[k].fit;
    expect_within(f.value, f.mc_error, mixed_fits[k], 4, "rows out of order, fit " + std::to_string(k + 1));
    EXPECT_GT(f.points, 0);
  }
  for (size_t k = 1; k <= ort.constraints.size(); ++k) {
    const ineqbf::Probability& f = ort.constraints[k - 1].fit;
    expect_within(f.value, f.mc_error, k / (k + 1.0), 4, "orthant fit " + std::to_string(k));
  }
}

// ---- invariances ------------------------------------------------------------------

Problem three_rows() {
  return Problem{{0.4, 0.1, -0.2},
                 {1.0, 0.6, 0.2, 0.6, 1.0, -0.3, 0.2, -0.3, 0.5},
                 {row({1.0, -1.0, 0.0}), row({0.0, 1.0, 0.0}), row({1.0, 0.5, 1.0}, -0.1)},
                 {}};
}

void expect_same(const ineqbf::Probability& a, const ineqbf::Probability& b, const std::string& what) {
  EXPECT_LE(std::fabs(a.value - b.value), 4 * std::hypot(a.mc_error, b.mc_error) + 1e-12) << what;
}

TEST(Integration, RescalingAParameterLeavesTheFitsUnchanged) {
  const Problem p = three_rows();
  Problem q = p;
  const double s = 1000.0;  // θ2 in other units
  q.means[1] *= s;
  for (size_t i = 0; i < 3; ++i) {
    q.covariance[1 * 3 + i] *= s;
    q.covariance[i * 3 + 1] *= s;
  }
  for (Constraint& c : q.constraints) c.coefficients[1] /= s;
  const Result a = integrated(p), b = integrated(q);
  for (size_t k = 0; k < 3; ++k) expect_same(a.constraints[k].fit, b.constraints[k].fit, "fit " + std::to_string(k + 1));
}

TEST(Integration, AParameterNoRowNamesChangesNothing) {
  const Problem p = three_rows();
  Problem q;
  q.means = {p.means[0], p.means[1], 5.0, p.means[2]};
  const double extra[4] = {0.5, -0.2, 4.0, 0.1};  // covariances with the new third parameter
  q.covariance.assign(16, 0.0);
  const size_t from[4] = {0, 1, 9, 2};
  for (size_t i = 0; i < 4; ++i)
    for (size_t j = 0; j < 4; ++j)
      q.covariance[i * 4 + j] = i == 2 ? extra[j] : j == 2 ? extra[i] : p.covariance[from[i] * 3 + from[j]];
  for (const Constraint& c : p.constraints)
    q.constraints.push_back(row({c.coefficients[0], c.coefficients[1], 0.0, c.coefficients[2]}, c.rhs));
  const Result a = integrated(p), b = integrated(q);
  for (size_t k = 0; k < 3; ++k) {
    expect_same(a.constraints[k].fit, b.constraints[k].fit, "fit " + std::to_string(k + 1));
    expect_same(a.constraints[k].complexity, b.constraints[k].complexity, "complexity " + std::to_string(k + 1));
  }
}

// ---- rows of every kind ----------------------------------------------------------

struct RowsCase {
  std::string name;
  Problem problem;
  std::vector<double> fits, complexities;  // exact, per constraint
};

double phi(double x) { return 1.0 - exact::upper_tail(x); }

std::vector<RowsCase> rows_cases() {
  const double m = 0.3, s = 0.5;
  const double in_range = phi((1 - m) / s) - phi((-1 - m) / s);
  const double prior_range = std::erf(1 / (kBig * std::sqrt(2.0)));
  std::vector<RowsCase> v;
  v.push_back({"a row given twice", Problem{{0.5}, {1.0}, {row({1.0}), row({1.0})}, {}}, {phi(0.5), 1.0}, {0.5, 1.0}});
  v.push_back({"a range, -1 < theta < 1", Problem{{m}, {s * s}, {row({1.0}, -1.0), row({-1.0}, -1.0)}, {}},
               {phi((m + 1) / s), in_range / phi((m + 1) / s)}, {phi(1 / kBig), prior_range / phi(1 / kBig)}});
  v.push_back({"a row without coefficients that holds, then one with",
               Problem{{0.7, 0.0}, identity(2), {row({0.0, 0.0}, -1.0), row({1.0, 0.0})}, {}}, {1.0, phi(0.7)}, {1.0, 0.5}});
  v.push_back({"one parameter", Problem{{-0.4}, {0.16}, {row({2.0}, 0.2)}, {}}, {phi((-0.8 - 0.2) / 0.8)}, {phi(-0.2 / (2 * kBig))}});
  // θ1 - θ2 has variance 0: the first row holds surely.
  v.push_back({"a covariance of rank 1",
               Problem{{0.2, 0.2}, {1.0, 1.0, 1.0, 1.0}, {row({1.0, -1.0}, -0.5), row({1.0, 0.0})}, {}},
               {1.0, phi(0.2)},
               {phi(0.5 / (kBig * std::sqrt(2.0))),
                exact::probability({{1, -1}, {1, 0}}, {-0.5, 0}, {0, 0}, identity(2, kBig * kBig)) / phi(0.5 / (kBig * std::sqrt(2.0)))}});
  return v;
}

TEST(Integration, RedundantRowsRangesRowsWithoutCoefficientsAndDegenerateCovariances) {
  for (const RowsCase& c : rows_cases()) {
    const Result r = integrated(c.problem);
    ASSERT_EQ(r.constraints.size(), c.fits.size()) << c.name;
    for (size_t k = 0; k < c.fits.size(); ++k) {
      const ineqbf::Probability& f = r.constraints[k].fit;
      const ineqbf::Probability& q = r.constraints[k].complexity;
      expect_within(f.value, f.mc_error, c.fits[k], 4, c.name + " fit " + std::to_string(k + 1));
      expect_within(q.value, q.mc_error, c.complexities[k], 4, c.name + " complexity " + std::to_string(k + 1));
    }
  }
}

TEST(Integration, NoRowsGiveBayesFactorOneAndAnInfiniteBFic) {
  const Result r = integrated(Problem{{0.1, 0.2}, identity(2), {}, {}});
  EXPECT_EQ(r.bf_ia.value, 1.0);
  EXPECT_EQ(r.bf_ia.mc_error, 0.0);
  EXPECT_TRUE(r.bf_ic_infinite);
  EXPECT_EQ(r.bf_ia_replicates, std::vector<double>(1000, 1.0));
  EXPECT_NE(r.report.find("   infinit\r\n"), std::string::npos);
  EXPECT_TRUE(r.console.empty());
}

// ---- the boxed prior ------------------------------------------------------------

TEST(Integration, TheBoxedPriorCutsEveryParameterAtBigFromTheSecondConstraintOn) {
  // θ1 > 0, then θ1 > BIG/2: under the prior 2Φ(-1/2); inside the box
  // (Φ(1) - Φ(1/2)) / (Φ(1) - 1/2). The first constraint is untruncated in both.
  const Problem p{{1.0}, {1.0}, {row({1.0}), row({1.0}, kBig / 2)}, {}};
  const Result normal = integrated(p);
  const Result boxed = integrated(p, 1e-3, ineqbf::default_seed, ineqbf::ComplexityPrior::boxed);
  const double untruncated = 2 * phi(-0.5), in_box = (phi(1) - phi(0.5)) / (phi(1) - 0.5);
  expect_within(normal.constraints[1].complexity.value, normal.constraints[1].complexity.mc_error, untruncated, 4, "normal");
  expect_within(boxed.constraints[1].complexity.value, boxed.constraints[1].complexity.mc_error, in_box, 4, "boxed");
  EXPECT_EQ(boxed.constraints[0].complexity.value, 0.5);
  // Rows far inside the box: the two priors agree (an order of three).
  const Problem o{{0.0, 0.0, 0.0}, identity(3), order(3), {}};
  const Result ob = integrated(o, 1e-3, ineqbf::default_seed, ineqbf::ComplexityPrior::boxed);
  expect_within(ob.total_complexity, 4e-3 * ob.total_complexity, 1.0 / 6.0, 1, "boxed order");
}

// ---- repeatability, precision, replicates -------------------------------------------

TEST(Integration, TheSameSeedGivesTheSameNumbersWhateverTheThreads) {
  const Problem p = three_rows();
  ineqbf::Settings s;
  s.method = ineqbf::Method::integration;
  s.threads = 1;
  const Result a = ineqbf::analyse(p, s);
  s.threads = 2;
  const Result b = ineqbf::analyse(p, s);
  EXPECT_EQ(a.bf_ia.value, b.bf_ia.value);
  EXPECT_EQ(a.bf_ia_replicates, b.bf_ia_replicates);
  EXPECT_EQ(a.report, b.report);
  s.seed = 7;
  const Result c = ineqbf::analyse(p, s);
  EXPECT_NE(a.bf_ia.value, c.bf_ia.value);
  EXPECT_EQ(c.seed, 7);
}

TEST(Integration, AFinerPrecisionTakesMorePointsAndStatesASmallerError) {
  const Problem p{std::vector<double>(5, 0.0), equicorrelated(5, 0.5), orthant(5), {}};
  const Result coarse = integrated(p, 1e-2), fine = integrated(p, 1e-4);
  EXPECT_LE(coarse.bf_ia.mc_error, 1e-2 * coarse.bf_ia.value);
  EXPECT_LE(fine.bf_ia.mc_error, 1e-4 * fine.bf_ia.value);
  EXPECT_LT(coarse.constraints.back().fit.points, fine.constraints.back().fit.points);
}

TEST(Integration, APrecisionBeyondTheBudgetWarns) {
  const Result r = integrated(Problem{std::vector<double>(4, 0.0), equicorrelated(4, 0.5), orthant(4), {}}, 1e-12);
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_NE(r.warnings[0].message.find("not the 1e-12 aimed at"), std::string::npos) << r.warnings[0].message;
}

TEST(Integration, ReplicatesSpreadAsTheStatedErrorAndBracketTheValue) {
  const Result r = integrated(Problem{std::vector<double>(5, 0.0), equicorrelated(5, 0.5), orthant(5), {}}, 1e-2);
  ASSERT_EQ(r.bf_ia_replicates.size(), 1000u);
  ASSERT_EQ(r.bf_ic_replicates.size(), 1000u);
  double mean = 0.0, ss = 0.0;
  for (double x : r.bf_ia_replicates) mean += x / 1000;
  for (double x : r.bf_ia_replicates) ss += (x - mean) * (x - mean) / 1000;
  EXPECT_NEAR(std::sqrt(ss), r.bf_ia.mc_error, 0.15 * r.bf_ia.mc_error);
  EXPECT_LT(r.bf_ia.lower, r.bf_ia.value);
  EXPECT_GT(r.bf_ia.upper, r.bf_ia.value);
  EXPECT_LT(r.bf_ic.lower, r.bf_ic.value);
  EXPECT_GT(r.bf_ic.upper, r.bf_ic.value);
  EXPECT_EQ(r.constraints[0].fit.replicates.size(), 1000u);
}

// ---- reports, warnings and errors -----------------------------------------------

TEST(Integration, TheReportReadsAsTheProgramsWithPointsForIterations) {
  const Result r = integrated(three_rows());
  EXPECT_EQ(r.report.rfind("Result:\r\n \r\n   Fits        numbers of points\r\n", 0), 0u) << r.report;
  EXPECT_NE(r.report.find("Complexities   numbers of points\r\n"), std::string::npos);
  EXPECT_NE(r.report.find("   BFia   MC error (standard deviation)   2.5percentile  97.5percentile\r\n"), std::string::npos);
  EXPECT_EQ(r.console,
            "Constraint   1 for    fit     has been evaluated\r\nConstraint   1 for complexity has been evaluated\r\n"
            "Constraint   2 for    fit     has been evaluated\r\nConstraint   2 for complexity has been evaluated\r\n"
            "Constraint   3 for    fit     has been evaluated\r\nConstraint   3 for complexity has been evaluated\r\n");
}

TEST(Integration, AComplexityTooSmallForDoublePrecisionIsExplained) {
  const Result r = integrated(Problem{{0.0}, {1.0}, {row({1.0}, 40 * kBig)}, {}});
  EXPECT_EQ(r.constraints[0].complexity.value, 0.0);
  ASSERT_FALSE(r.warnings.empty());
  const ineqbf::Warning& w = r.warnings.back();
  EXPECT_EQ(w.quantity, "complexity");
  EXPECT_EQ(w.constraint, 1);
  EXPECT_NE(w.message.find("the complexity of constraint 1 is 0"), std::string::npos) << w.message;
}

TEST(Integration, MalformedRequestsAreUsageErrors) {
  struct Bad {
    std::string name;
    Problem problem;
    double precision;
    std::string message;
  };
  const Bad bad[] = {
      {"indefinite covariance", Problem{{0.0, 0.0}, {1.0, 2.0, 2.0, 1.0}, {row({1.0, 0.0})}, {}}, 1e-3, "not positive semidefinite"},
      {"negative variance", Problem{{0.0}, {-1.0}, {row({1.0})}, {}}, 1e-3, "negative"},
      {"zero precision", three_rows(), 0.0, "the precision must be a positive number, not 0"},
      {"a row too short", Problem{{0.0, 0.0}, identity(2), {row({1.0})}, {}}, 1e-3, "coefficients"},
  };
  for (const Bad& b : bad) {
    try {
      integrated(b.problem, b.precision);
      ADD_FAILURE() << b.name << ": no error";
    } catch (const ineqbf::Error& e) {
      EXPECT_EQ(e.status(), ineqbf::Status::usage) << b.name;
      EXPECT_NE(e.message().find(b.message), std::string::npos) << b.name << ": " << e.message();
    }
  }
}

TEST(Integration, HypothesesWrittenAsTextCompareReplicateByReplicate) {
  Problem p = three_rows();
  p.names = {"b1", "b2", "b3"};
  ineqbf::Settings s;
  s.method = ineqbf::Method::integration;
  const ineqbf::Comparison c = ineqbf::analyse(p, "b1 > b2 > 0; b1 > 0", s);
  ASSERT_EQ(c.results.size(), 2u);
  const double bf0 = c.results[0].bf_ia.value, bf1 = c.results[1].bf_ia.value;
  EXPECT_DOUBLE_EQ(c.bayes_factors[0][1].value, bf0 / bf1);
  EXPECT_DOUBLE_EQ(c.posterior[0].value, bf0 / (bf0 + bf1));
  EXPECT_NEAR(c.posterior_with_unconstrained[2].value, 1.0 / (1.0 + bf0 + bf1), 1e-15);
  EXPECT_GT(c.bayes_factors[0][1].mc_error, 0.0);
}

TEST(Integration, CancellingEndsTheAnalysis) {
  ineqbf::Settings s;
  s.method = ineqbf::Method::integration;
  s.cancel = [] { return true; };
  try {
    ineqbf::analyse(three_rows(), s);
    ADD_FAILURE() << "not cancelled";
  } catch (const ineqbf::Error& e) {
    EXPECT_EQ(e.status(), ineqbf::Status::cancelled);
    EXPECT_EQ(e.message(), "ineqbf: the analysis was cancelled");
  }
}

// ---- rare rows ----------------------------------------------------------------------

// P(θ_i > c_i, i = 1..k) for θ ~ N(0, (1-ρ)I + ρ11ᵀ): given the common factor t
// the rows are independent, which leaves one integral over t.
double equicorrelated_tail(const std::vector<double>& c, size_t k, double rho) {
  const auto given = [&](double t) {
    double p = exact::density(t);
    for (size_t i = 0; i < k; ++i) p *= exact::upper_tail((c[i] - std::sqrt(rho) * t) / std::sqrt(1.0 - rho));
    return p;
  };
  return exact::integral(given, -12.0, 12.0, 1e-20);
}

TEST(Integration, RareRowsAmongCorrelatedParametersKeepTheirAccuracy) {
  // Thresholds far out in the tail among strongly correlated parameters:
  // the rows' own order gives an integrand of large variance, which the
  // fits must not pay for in accuracy.
  struct RareCase {
    double rho;
    std::vector<double> c;
  };
  const RareCase table[] = {
      {0.9, {-1.0, 0.0, 2.5, -0.5, 3.0}},
      {0.6, {0.5, 2.8, -1.5, 3.2}},
      {0.95, {3.0, 1.0, 3.5}},
  };
  for (const RareCase& t : table) {
    const size_t n = t.c.size();
    Problem p{std::vector<double>(n, 0.0), equicorrelated(n, t.rho), {}, {}};
    for (size_t i = 0; i < n; ++i) {
      std::vector<double> a(n, 0.0);
      a[i] = 1.0;
      p.constraints.push_back(row(a, t.c[i]));
    }
    const Result r = integrated(p);
    const std::string name = "rho " + std::to_string(t.rho) + ", " + std::to_string(n) + " rows";
    for (size_t k = 1; k <= n; ++k) {
      const double exact = equicorrelated_tail(t.c, k, t.rho) / equicorrelated_tail(t.c, k - 1, t.rho);
      const ineqbf::Probability& f = r.constraints[k - 1].fit;
      expect_within(f.value, f.mc_error, exact, 4, name + ", fit " + std::to_string(k));
    }
    EXPECT_LE(r.bf_ia.mc_error, 1e-3 * r.bf_ia.value) << name;
    EXPECT_TRUE(r.warnings.empty()) << name;
  }
}

// P(0 < θ2 < θ1/c) and the like under independent standard normals: given
// θ1 = t > 0, each wedge row pair holds with probability Φ(t/c) - 1/2.
double wedge_probability(double c, int wedges, int halves) {
  const auto given = [&](double t) {
    const double inner = 0.5 * std::erf(t / c / std::sqrt(2.0));
    return exact::density(t) * std::pow(inner, wedges) * std::pow(inner + 0.5, halves);
  };
  return exact::integral(given, 0.0, 12.0, 1e-22);
}

TEST(Integration, ComplexitiesOfThinWedgesThroughTheOriginReachTheirPrecision) {
  // θ1 - cθ2 > 0, θ2 > 0, θ1 - cθ3 > 0, θ3 > 0, θ3 - θ2 > 0: two effects
  // held in wedges below θ1/c, then ordered. The prior's probabilities of
  // the prefixes: 1/2, one wedge, a wedge and a half-space, two wedges, and
  // half of that.
  for (double c : {20.0, 200.0}) {
    const double p[] = {1.0, 0.5, wedge_probability(c, 1, 0), wedge_probability(c, 1, 1), wedge_probability(c, 2, 0),
                        0.5 * wedge_probability(c, 2, 0)};
    Problem problem{{1.0, 0.0025, 0.0025}, {0.0025, 1e-5, 1e-5, 1e-5, 3.6e-7, 5e-8, 1e-5, 5e-8, 3.6e-7},
                    {row({1.0, -c, 0.0}), row({0.0, 1.0, 0.0}), row({1.0, 0.0, -c}), row({0.0, 0.0, 1.0}),
                     row({0.0, -1.0, 1.0})},
                    {}};
    const Result r = integrated(problem);
    const std::string name = "wedges below theta1/" + std::to_string(c);
    for (size_t k = 1; k <= 5; ++k) {
      const ineqbf::Probability& cx = r.constraints[k - 1].complexity;
      expect_within(cx.value, cx.mc_error, p[k] / p[k - 1], 4, name + ", complexity " + std::to_string(k));
    }
    EXPECT_LE(r.bf_ia.mc_error, 1e-3 * r.bf_ia.value) << name;
    EXPECT_TRUE(r.warnings.empty()) << name;
  }
}

}  // namespace
