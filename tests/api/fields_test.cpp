// The vocabulary every door shares: the fields of a result in their order,
// each of a constraint's fit and complexity, the statuses and their names,
// the methods and samplers by name.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "ineqbf/fields.h"

namespace {

// The names a visit gives, with a letter for the kind of each value.
struct Names {
  std::vector<std::string> seen;

  template <class T>
  void operator()(std::string_view name, const T&) {
    std::string kind = std::is_same_v<T, double>                    ? "d"
                       : std::is_same_v<T, int64_t> || std::is_same_v<T, int32_t> ? "n"
                       : std::is_same_v<T, ineqbf::Replicates>      ? "r"
                       : std::is_same_v<T, ineqbf::Output>          ? "o"
                                                                    : "x";
    seen.push_back(std::string(name) + ":" + kind);
  }
};

template <class Value>
std::vector<std::string> names_of(const Value& v) {
  Names n;
  ineqbf::visit_fields(v, n);
  return n.seen;
}

TEST(Fields, ConstraintFitAndComplexityComeSideBySide) {
  const std::vector<std::string> want = {
      "row:x",          "fit:d",           "complexity:d",           "fit_mc_error:d", "complexity_mc_error:d",
      "fit_hits:n",     "complexity_hits:n", "fit_iterations:n",     "complexity_iterations:n",
      "fit_points:n",   "complexity_points:n", "fit_replicates:r",   "complexity_replicates:r"};
  EXPECT_EQ(names_of(ineqbf::ConstraintResult{}), want);
}

TEST(Fields, ValuesAreTheResultsOwn) {
  ineqbf::ConstraintResult c;
  c.fit = {0.25, 0.01, 250, 1000, 0, {0.2, 0.3}};
  c.complexity = {0.5, 0.02, 500, 1000, 0, {0.4}};
  std::vector<double> numbers;
  std::vector<size_t> replicates;
  ineqbf::visit_fields(c, [&](std::string_view, const auto& value) {
    using T = std::decay_t<decltype(value)>;
    if constexpr (std::is_same_v<T, double>) numbers.push_back(value);
    if constexpr (std::is_same_v<T, ineqbf::Replicates>) replicates.push_back(value.values.size());
  });
  EXPECT_EQ(numbers, (std::vector<double>{0.25, 0.5, 0.01, 0.02}));
  EXPECT_EQ(replicates, (std::vector<size_t>{2, 1}));
}

TEST(Fields, ResultEstimateWarningAndComparison) {
  EXPECT_EQ(names_of(ineqbf::Estimate{}), (std::vector<std::string>{"value:d", "mc_error:d", "lower:d", "upper:d"}));
  EXPECT_EQ(names_of(ineqbf::Warning{}), (std::vector<std::string>{"message:x", "quantity:x", "constraint:n",
                                                                    "value:d", "integrated:d"}));
  EXPECT_EQ(names_of(ineqbf::Result{}),
            (std::vector<std::string>{"method:x", "constraints:x", "total_fit:d", "total_complexity:d", "bf_ia:x",
                                      "bf_ic:x", "bf_ic_infinite:x", "warnings:x", "bf_ia_replicates:r",
                                      "bf_ic_replicates:r", "seed:n", "console:o", "report:o"}));
  EXPECT_EQ(names_of(ineqbf::Comparison{}),
            (std::vector<std::string>{"bayes_factors:x", "posterior:x", "posterior_with_unconstrained:x"}));
}

TEST(Vocabulary, StatusesAreListedOnceInOrder) {
  int expected = 0;
  for (const ineqbf::StatusName& s : ineqbf::status_names) EXPECT_EQ(ineqbf::exit_code(s.status), expected++);
  EXPECT_EQ(expected, 6);
  EXPECT_EQ(ineqbf::status_names[4].name, "usage");
  const ineqbf::Error e(ineqbf::Status::cancelled, "stopped");
  EXPECT_EQ(e.status(), ineqbf::Status::cancelled);
  EXPECT_EQ(ineqbf::exit_code(e.status()), 5);
}

TEST(Vocabulary, MethodsAndSamplersByName) {
  for (const ineqbf::Method m : {ineqbf::Method::gibbs, ineqbf::Method::integration}) {
    ineqbf::Method back = m == ineqbf::Method::gibbs ? ineqbf::Method::integration : ineqbf::Method::gibbs;
    EXPECT_TRUE(ineqbf::method_named(ineqbf::name_of(m), back));
    EXPECT_EQ(back, m);
  }
  ineqbf::Method kept = ineqbf::Method::integration;
  for (const std::string_view bad : {"", "Gibbs", "integrate", "gibbs "}) {
    EXPECT_FALSE(ineqbf::method_named(bad, kept)) << bad;
    EXPECT_EQ(kept, ineqbf::Method::integration);
  }
  EXPECT_EQ(ineqbf::name_of(ineqbf::Sampler::fit), "fit");
  EXPECT_EQ(ineqbf::name_of(ineqbf::Sampler::complexity), "complexity");
}

}  // namespace
