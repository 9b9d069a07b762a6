// Complexities of rows that order parameters or give their signs: the
// probabilities of the orderings that satisfy them, exactly, as the
// integration method uses them.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ineqbf/ineqbf.h"
#include "integrate/orders.h"

namespace {

using integrate::RowSet;

// Rows over `dim` parameters given as (coefficients, rhs).
RowSet rows(int32_t dim, const std::vector<std::pair<std::vector<double>, double>>& given) {
  RowSet r;
  r.dim = dim;
  for (const auto& [a, b] : given) r.add(a.data(), b);
  return r;
}

TEST(OrderProbabilities, KnownCountsOfOrderings) {
  struct Case {
    const char* what;
    RowSet theta;
    std::vector<double> want;  // prefixes 0 .. K
  };
  const Case cases[] = {
      {"chain of four", rows(4, {{{1, -1, 0, 0}, 0}, {{0, 1, -1, 0}, 0}, {{0, 0, 1, -1}, 0}}),
       {1, 1.0 / 2, 1.0 / 6, 1.0 / 24}},
      {"one above two", rows(3, {{{1, -1, 0}, 0}, {{1, 0, -1}, 0}}), {1, 1.0 / 2, 1.0 / 3}},
      {"two separate pairs", rows(4, {{{1, -1, 0, 0}, 0}, {{0, 0, -1, 1}, 0}}), {1, 1.0 / 2, 1.0 / 4}},
      {"a redundant row", rows(3, {{{1, -1, 0}, 0}, {{0, 1, -1}, 0}, {{1, 0, -1}, 0}}),
       {1, 1.0 / 2, 1.0 / 6, 1.0 / 6}},
      {"scaled and reversed rows", rows(3, {{{2.5, -2.5, 0}, 0}, {{0, -1e-3, 1e-3}, 0}}), {1, 1.0 / 2, 1.0 / 3}},
      {"no rows", rows(2, {}), {1}},
      // With signs: given the signs (fair coins), every ordering of the
      // magnitudes is equally likely.
      {"a sign", rows(2, {{{0, -3}, 0}}), {1, 1.0 / 2}},
      {"an order above 0", rows(2, {{{1, -1}, 0}, {{0, 1}, 0}}), {1, 1.0 / 2, 1.0 / 8}},
      {"an orthant", rows(3, {{{1, 0, 0}, 0}, {{0, 1, 0}, 0}, {{0, 0, 1}, 0}}), {1, 1.0 / 2, 1.0 / 4, 1.0 / 8}},
      {"a chain down to 0", rows(3, {{{1, -1, 0}, 0}, {{0, 1, -1}, 0}, {{0, 0, 1}, 0}}),
       {1, 1.0 / 2, 1.0 / 6, 1.0 / 48}},
      {"0 between two", rows(2, {{{1, 0}, 0}, {{0, -1}, 0}, {{1, -1}, 0}}), {1, 1.0 / 2, 1.0 / 4, 1.0 / 4}},
  };
  for (const Case& c : cases) {
    const std::optional<std::vector<double>> got = integrate::order_probabilities(c.theta);
    ASSERT_TRUE(got.has_value()) << c.what;
    ASSERT_EQ(got->size(), c.want.size()) << c.what;
    for (size_t k = 0; k < c.want.size(); ++k) EXPECT_DOUBLE_EQ((*got)[k], c.want[k]) << c.what << " prefix " << k;
  }
}

TEST(OrderProbabilities, OtherRowsAreLeftToIntegration) {
  const std::pair<const char*, RowSet> cases[] = {
      {"a right-hand side", rows(2, {{{1, -1}, 0.5}})},
      {"a sign with a right-hand side", rows(2, {{{1, 0}, -1}})},
      {"unequal coefficients", rows(2, {{{1, -2}, 0}})},
      {"equal signs", rows(2, {{{1, 1}, 0}})},
      {"three parameters", rows(3, {{{1, -1, 1}, 0}})},
      {"after an order row", rows(3, {{{1, -1, 0}, 0}, {{0, 1, 1}, 0}})},
      {"rows that cannot all hold", rows(2, {{{1, -1}, 0}, {{-1, 1}, 0}})},
  };
  for (const auto& [what, theta] : cases) EXPECT_FALSE(integrate::order_probabilities(theta).has_value()) << what;
  // Seventeen parameters in a chain: beyond what is counted.
  RowSet chain;
  chain.dim = 17;
  for (int32_t i = 0; i + 1 < 17; ++i) {
    std::vector<double> a(17, 0.0);
    a[static_cast<size_t>(i)] = 1;
    a[static_cast<size_t>(i) + 1] = -1;
    chain.add(a.data(), 0.0);
  }
  EXPECT_FALSE(integrate::order_probabilities(chain).has_value());
  chain.dim = 17;
  chain.a.resize(15 * 17);
  chain.b.resize(15);
  EXPECT_TRUE(integrate::order_probabilities(chain).has_value());  // sixteen parameters are
}

TEST(OrderProbabilities, AnalysesGiveTheExactComplexitiesUnderEitherPrior) {
  ineqbf::Problem p;
  p.means = {0.3, 0.1, 0.2, -0.1};
  p.covariance = {0.04, 0.01, 0, 0, 0.01, 0.04, 0, 0, 0, 0, 0.04, 0.01, 0, 0, 0.01, 0.09};
  p.constraints = {{{1, -1, 0, 0}, 0}, {{1, 0, -1, 0}, 0}, {{0, 0, 1, -1}, 0}, {{0, 0, 0, 1}, 0}};
  // 1/2, 1/3 and 1/8 of all orderings; then θ4 > 0 as well: all four
  // positive (1/16) with θ1 on top and θ3 above θ4 (3 of 24 orderings), or
  // θ2 alone negative (1/16) with θ1 > θ3 > θ4 (1 of 6): 1/128 + 1/96.
  const double want[] = {1.0 / 2, 2.0 / 3, 3.0 / 8, (7.0 / 384) / (1.0 / 8)};
  for (const ineqbf::ComplexityPrior prior : {ineqbf::ComplexityPrior::normal, ineqbf::ComplexityPrior::boxed}) {
    ineqbf::Settings s;
    s.method = ineqbf::Method::integration;
    s.complexity_prior = prior;
    const ineqbf::Result r = ineqbf::analyse(p, s);
    for (size_t k = 0; k < 4; ++k) {
      EXPECT_DOUBLE_EQ(r.constraints[k].complexity.value, want[k]);
      EXPECT_EQ(r.constraints[k].complexity.mc_error, 0.0);
      EXPECT_EQ(r.constraints[k].complexity.points, 0);
    }
    EXPECT_DOUBLE_EQ(r.total_complexity, 7.0 / 384);
    EXPECT_LE(r.bf_ia.mc_error, 1e-3 * r.bf_ia.value);
  }
}

}  // namespace
