// The checked examples: ordinary regressions on which the Bayes factors are
// known exactly, reproduced by integration within its stated errors.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ineqbf/ineqbf.h"
#include "tests/integrate/exact.h"
#include "tests/support/files.h"

namespace {

ineqbf::Problem example(const std::string& name) {
  return ineqbf::read_problem((std::filesystem::path(test_support::source_dir()) / "examples" / name / "Input.txt").string());
}

ineqbf::Result integrated(const ineqbf::Problem& p) {
  ineqbf::Settings s;
  s.method = ineqbf::Method::integration;
  return ineqbf::analyse(p, s);
}

// A one-row sign hypothesis on parameter j: fit Φ(±t), complexity 1/2.
double one_sign_bf(const ineqbf::Problem& p, size_t j, double sign) {
  const double t = p.means[j] / std::sqrt(p.covariance[j * p.means.size() + j]);
  return exact::upper_tail(-sign * t) / 0.5;
}

struct Checked {
  std::string name;
  double stated;  // the exact Bayes factor to six figures
  double exact;   // the same computed here from the example's estimates
  ineqbf::Problem problem;
};

std::vector<Checked> checked() {
  std::vector<Checked> v;
  const ineqbf::Problem longley = example("longley");
  v.push_back({"Longley, Year > 0", 1.99994, one_sign_bf(longley, 6, 1.0), longley});
  const ineqbf::Problem mtcars = example("mtcars");
  ineqbf::Problem hp = mtcars;
  hp.constraints.erase(hp.constraints.begin());
  v.push_back({"mtcars, hp < 0", 1.76581, one_sign_bf(mtcars, 2, -1.0), hp});
  const double both = exact::probability({mtcars.constraints[0].coefficients, mtcars.constraints[1].coefficients},
                                         {0.0, 0.0}, mtcars.means, mtcars.covariance);
  v.push_back({"mtcars, wt < 0 & hp < 0", 3.53163, both / 0.25, mtcars});
  ineqbf::Problem swapped = mtcars;
  std::swap(swapped.constraints[0], swapped.constraints[1]);
  v.push_back({"mtcars, hp < 0 & wt < 0", 3.53163, both / 0.25, swapped});
  return v;
}

TEST(CheckedExamples, IntegrationReproducesTheExactBayesFactors) {
  for (const Checked& c : checked()) {
    EXPECT_NEAR(c.exact, c.stated, 5e-6) << c.name;
    const ineqbf::Result r = integrated(c.problem);
    // Where a row holds almost surely given the others the stated error can
    // be far below 1e-7 of the value; deviations that small are not tracked.
    EXPECT_LE(std::fabs(r.bf_ia.value - c.exact), 4 * r.bf_ia.mc_error + 1e-7 * c.exact)
        << c.name << ": " << r.bf_ia.value << " ± " << r.bf_ia.mc_error << ", exact " << c.exact;
    EXPECT_NEAR(r.bf_ia.value, c.stated, 1e-3 * c.stated) << c.name;
    EXPECT_TRUE(r.warnings.empty()) << c.name;
  }
}

}  // namespace
