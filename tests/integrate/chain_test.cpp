// Fits of chains of orders over independent estimates, by one-dimensional
// recursion: against exact probabilities of up to three rows, the
// exchangeable chain's 1/(k+1), and the chain read upside down.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "ineqbf/ineqbf.h"
#include "integrate/chain.h"
#include "tests/integrate/exact.h"

namespace {

using integrate::RowSet;

struct Chain {
  std::string what;
  std::vector<double> mean, covariance;
  std::vector<std::vector<double>> rows;
  std::vector<double> rhs;
};

RowSet rowset(const Chain& c) {
  RowSet r;
  r.dim = static_cast<int32_t>(c.mean.size());
  for (size_t k = 0; k < c.rows.size(); ++k) r.add(c.rows[k].data(), c.rhs[k]);
  return r;
}

std::vector<double> conditionals(const Chain& c, double tolerance = 1e-10) {
  const std::optional<std::vector<double>> got =
      integrate::chain_conditionals(rowset(c), c.mean, c.covariance, tolerance);
  EXPECT_TRUE(got.has_value()) << c.what;
  return got.value_or(std::vector<double>(c.rows.size(), NAN));
}

// Variances on the diagonal plus a common covariance a.
std::vector<double> covariance(const std::vector<double>& d, double a) {
  const size_t n = d.size();
  std::vector<double> c(n * n, a);
  for (size_t i = 0; i < n; ++i) c[i * n + i] = d[i] + a;
  return c;
}

TEST(ChainFits, EqualTheExactProbabilitiesOfUpToThreeRows) {
  const Chain cases[] = {
      {"two independent means", {0.3, 0.1}, covariance({0.04, 0.09}, 0), {{1, -1}}, {0}},
      {"three, common covariance", {0.5, 0.49, 0.48}, covariance({0.028, 0.028, 0.028}, 0.012),
       {{1, -1, 0}, {0, 1, -1}}, {0, 0}},
      {"four, thresholds and scales", {2.0, -1.0, 0.5, 0.4}, covariance({1.0, 0.25, 4.0, 0.01}, -0.004),
       {{0, 3, -3, 0}, {0, 0, 0.5, -0.5}, {-2, 0, 0, 2}}, {-1.5, 0.05, -7.0}},
      {"a climbing chain", {0.0, 1.0, 2.0}, covariance({1.0, 2.0, 0.5}, 0), {{-1, 1, 0}, {0, -1, 1}}, {0.2, 0.1}},
      {"far apart: the chain against the data", {0.0, 8.0, 16.0}, covariance({1.0, 1.0, 1.0}, 0),
       {{1, -1, 0}, {0, 1, -1}}, {0, 0}},
      {"down to a bound", {0.5, 0.3, 0.2}, covariance({0.04, 0.02, 0.09}, 0.03), {{1, -1, 0}, {0, 1, -1}, {0, 0, 2}},
       {0, 0, 0.2}},
      {"climbing to an upper bound", {0.1, 0.4, 1.2}, covariance({0.5, 0.3, 0.2}, 0.25),
       {{-1, 1, 0}, {0, -1, 1}, {0, 0, -1}}, {0, 0.1, -1.5}},
      {"independent, above 0", {0.2, 0.1}, covariance({0.01, 0.04}, 0), {{1, -1}, {0, 1}}, {0, 0}},
  };
  for (const Chain& c : cases) {
    const std::vector<double> got = conditionals(c);
    double before = 1.0;
    for (size_t k = 1; k <= c.rows.size(); ++k) {
      const std::vector<std::vector<double>> rows(c.rows.begin(), c.rows.begin() + static_cast<ptrdiff_t>(k));
      const std::vector<double> rhs(c.rhs.begin(), c.rhs.begin() + static_cast<ptrdiff_t>(k));
      const double p = exact::probability(rows, rhs, c.mean, c.covariance);
      EXPECT_NEAR(got[k - 1], p / before, 1e-9 * (p / before)) << c.what << ", row " << k;
      before = p;
    }
  }
}

TEST(ChainFits, ExchangeableChainsAndChainsReadUpsideDown) {
  Chain equal{"ten equal means", std::vector<double>(10, 0.2), covariance(std::vector<double>(10, 0.5), 0.3), {}, {}};
  Chain shifted{"eight means", {0.9, 0.1, 0.5, -0.2, 0.3, 0.0, 0.7, -0.4},
                covariance({0.1, 0.2, 0.05, 0.3, 0.1, 0.15, 0.2, 0.08}, 0.02), {}, {}};
  for (Chain* c : {&equal, &shifted}) {
    const size_t n = c->mean.size();
    for (size_t k = 0; k + 1 < n; ++k) {
      std::vector<double> a(n, 0.0);
      a[k] = 1.0;
      a[k + 1] = -1.0;
      c->rows.push_back(a);
      c->rhs.push_back(c == &shifted && k % 3 == 0 ? 0.1 : 0.0);
    }
  }
  const std::vector<double> e = conditionals(equal);
  for (size_t k = 1; k <= e.size(); ++k) EXPECT_NEAR(e[k - 1], 1.0 / (k + 1.0), 1e-10) << "row " << k;
  // θ1 > θ2 > … read from the bottom: −θ8 > −θ7 > … with the means negated
  // and the thresholds in reverse order; only the total is the same.
  Chain flipped = shifted;
  const size_t n = shifted.mean.size();
  for (size_t i = 0; i < n; ++i) flipped.mean[i] = -shifted.mean[n - 1 - i];
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j) flipped.covariance[i * n + j] = shifted.covariance[(n - 1 - i) * n + (n - 1 - j)];
  for (size_t k = 0; k + 1 < n; ++k) flipped.rhs[k] = shifted.rhs[n - 2 - k];
  double a = 1.0, b = 1.0;
  for (const double c : conditionals(shifted)) a *= c;
  for (const double c : conditionals(flipped)) b *= c;
  EXPECT_NEAR(a, b, 1e-9 * a);
}

TEST(ChainFits, OtherRowsAndCovariancesAreLeftToIntegration) {
  const std::vector<double> mean{0.1, 0.2, 0.3};
  const std::vector<double> independent = covariance({1, 1, 1}, 0);
  std::vector<double> unequal = independent;
  unequal[1] = unequal[3] = 0.2;  // θ1 and θ2 covary, θ3 does not
  const Chain cases[] = {
      {"a branch, not a chain", mean, independent, {{1, -1, 0}, {1, 0, -1}}, {0, 0}},
      {"a gap in the chain", mean, independent, {{1, -1, 0}, {0, 0, 1}}, {0, 0}},
      {"back to the top", mean, independent, {{1, -1, 0}, {0, 1, -1}, {-1, 0, 1}}, {0, 0, 0}},
      {"unequal coefficients", mean, independent, {{1, -2, 0}}, {0}},
      {"unequal covariances", mean, unequal, {{1, -1, 0}, {0, 1, -1}}, {0, 0}},
      {"no variance of its own", mean, covariance({0, 1, 1}, 0), {{1, -1, 0}}, {0}},
      {"a bound on another parameter", mean, independent, {{1, -1, 0}, {0, 1, -1}, {1, 0, 0}}, {0, 0, 0}},
      {"a bound before the end", mean, independent, {{1, -1, 0}, {0, 0, 1}, {0, 1, -1}}, {0, 0, 0}},
      {"a bound with a negative common covariance", mean, covariance({1, 1, 1}, -0.1), {{1, -1, 0}, {0, 1, 0}},
       {0, 0}},
  };
  for (const Chain& c : cases)
    EXPECT_FALSE(integrate::chain_conditionals(rowset(c), c.mean, c.covariance, 1e-10).has_value()) << c.what;
}

// Equal covariances so negative that the matrix is indefinite: the chain's
// differences alone would not show it, and the analysis refuses it as it
// refuses any indefinite covariance.
TEST(ChainFits, AnIndefiniteCovarianceIsStillRefused) {
  ineqbf::Problem p;
  p.means = {0.1, 0.2, 0.3};
  p.covariance = covariance({1, 1, 1}, -0.9);  // eigenvalue 1 - 0.9·3 < 0 along (1, 1, 1)
  p.constraints = {{{1, -1, 0}, 0}, {{0, 1, -1}, 0}};
  ineqbf::Settings s;
  s.method = ineqbf::Method::integration;
  try {
    (void)ineqbf::analyse(p, s);
    ADD_FAILURE() << "an indefinite covariance was analysed";
  } catch (const ineqbf::Error& e) {
    EXPECT_EQ(e.status(), ineqbf::Status::usage);
    EXPECT_NE(e.message().find("not positive semidefinite"), std::string::npos) << e.message();
  }
}

}  // namespace
