// The library's API: analyses as values in one process (in threads, in a
// row, failing or not), errors as values, problems checked, hypotheses as
// text, comparisons of hypotheses, and what the settings do.
#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ineqbf/ineqbf.h"
#include "support/files.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace {

using test_support::GoldenCase;

struct Outcome {
  int status = 0;
  std::string console, report;
};

// A golden case as a caller of the library runs it: read the folder, analyse.
Outcome analyse_case(const GoldenCase& c) {
  Outcome o;
  try {
    const ineqbf::Result r = ineqbf::analyse(ineqbf::read_problem(c.dir.string()));
    o.console = r.console;
    o.report = r.report;
  } catch (const ineqbf::Error& e) {
    o.status = ineqbf::exit_code(e.status());
    o.console = e.console();
  }
  return o;
}

std::vector<GoldenCase> quick_cases() {
  std::vector<GoldenCase> cases;
  for (const GoldenCase& c : test_support::golden_cases(test_support::source_dir()))
    if (c.dir.filename() != "deep") cases.push_back(c);  // ten seconds on its own
  return cases;
}

void expect_golden(const GoldenCase& c, const Outcome& o) {
  EXPECT_EQ(o.status, c.status()) << c.name;
  EXPECT_EQ(o.console, c.console()) << c.name;
  EXPECT_EQ(o.report, c.output()) << c.name;
}

// Every golden case analysed at the same time as the others, twice over, in
// threads of one process: the bytes and status of a process of its own.
TEST(Analyse, GoldenCasesInThreadsGiveTheProgramsBytes) {
  const std::vector<GoldenCase> cases = quick_cases();
  ASSERT_GT(cases.size(), 40u);
  std::vector<Outcome> outcomes(2 * cases.size());
  std::atomic<size_t> next{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (size_t i; (i = next++) < outcomes.size();) outcomes[i] = analyse_case(cases[i % cases.size()]);
    });
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < outcomes.size(); ++i) expect_golden(cases[i % cases.size()], outcomes[i]);
}

// One after another in one thread, the failing ones among them: no run
// leaves anything behind for the next.
TEST(Analyse, GoldenCasesInARowGiveTheProgramsBytes) {
  for (const GoldenCase& c : quick_cases()) expect_golden(c, analyse_case(c));
}

// Everything a result holds, to the bit.
void expect_same_result(const ineqbf::Result& a, const ineqbf::Result& b, const std::string& name) {
  auto same = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
  auto same_estimate = [&](const ineqbf::Estimate& x, const ineqbf::Estimate& y) {
    return same(x.value, y.value) && same(x.mc_error, y.mc_error) && same(x.lower, y.lower) &&
           same(x.upper, y.upper);
  };
  auto same_floats = [&](const std::vector<double>& x, const std::vector<double>& y) {
    return x.size() == y.size() && (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0);
  };
  auto same_probability = [&](const ineqbf::Probability& x, const ineqbf::Probability& y) {
    return same(x.value, y.value) && same(x.mc_error, y.mc_error) && x.hits == y.hits &&
           x.iterations == y.iterations && x.points == y.points && same_floats(x.replicates, y.replicates);
  };
  EXPECT_EQ(a.report, b.report) << name;
  EXPECT_EQ(a.console, b.console) << name;
  ASSERT_EQ(a.constraints.size(), b.constraints.size()) << name;
  for (size_t k = 0; k < a.constraints.size(); ++k) {
    const ineqbf::ConstraintResult& x = a.constraints[k];
    const ineqbf::ConstraintResult& y = b.constraints[k];
    EXPECT_TRUE(same_probability(x.fit, y.fit)) << name << " k " << k + 1;
    EXPECT_TRUE(same_probability(x.complexity, y.complexity)) << name << " k " << k + 1;
  }
  EXPECT_TRUE(same(a.total_fit, b.total_fit) && same(a.total_complexity, b.total_complexity)) << name;
  EXPECT_TRUE(same_estimate(a.bf_ia, b.bf_ia) && same_estimate(a.bf_ic, b.bf_ic)) << name;
  EXPECT_TRUE(same_floats(a.bf_ia_replicates, b.bf_ia_replicates)) << name;
  EXPECT_TRUE(same_floats(a.bf_ic_replicates, b.bf_ic_replicates)) << name;
}

// One thread or several: the same analysis to the bit, and the same stops.
// The report of `free` shows its fit as 0.000; the hit count of its final fit
// chain, 499, was recorded before the chains ran ahead of time.
TEST(Analyse, ThreadsChangeNoBit) {
  int free_seen = 0;
  for (const GoldenCase& c : quick_cases()) {
    const ineqbf::Problem p = [&] {
      try {
        return ineqbf::read_problem(c.dir.string());
      } catch (const ineqbf::Error&) {
        return ineqbf::Problem{};
      }
    }();
    if (p.means.empty()) continue;  // not read: no analysis to compare
    ineqbf::Settings one, two;
    one.threads = 1;
    two.threads = 2;
    Outcome outcomes[2];
    ineqbf::Result results[2];
    for (int t = 0; t < 2; ++t) {
      try {
        results[t] = ineqbf::analyse(p, t == 0 ? one : two);
      } catch (const ineqbf::Error& e) {
        outcomes[t].status = ineqbf::exit_code(e.status());
        outcomes[t].console = e.console();
        outcomes[t].report = e.message();
      }
    }
    EXPECT_EQ(outcomes[0].status, outcomes[1].status) << c.name;
    EXPECT_EQ(outcomes[0].console, outcomes[1].console) << c.name;
    EXPECT_EQ(outcomes[0].report, outcomes[1].report) << c.name;
    expect_same_result(results[0], results[1], c.name);
    if (c.dir.filename() == "free") {
      ++free_seen;
      ASSERT_EQ(results[0].constraints.size(), 1u);
      EXPECT_EQ(results[0].constraints[0].fit.hits, 499);
      EXPECT_EQ(results[0].constraints[0].fit.iterations, 10000000);
    }
  }
  EXPECT_EQ(free_seen, 1);
}

ineqbf::Problem two_parameters() {
  return ineqbf::read_problem(test_support::source_dir() + "/examples/two-parameters");
}

// A bad problem is an error value carrying the status and the exact message;
// the host goes on.
TEST(Analyse, ErrorsAreValuesWithTheMessage) {
  struct Case {
    const char* what;
    std::vector<double> covariance;
    ineqbf::Status status;
    std::string message;
  };
  const Case cases[] = {
      {"singular", {1, 1, 1, 1}, ineqbf::Status::numerical_stop,
       " *** FATAL ERROR 2 from LINRG.  The input matrix is singular.  Some of\n"
       " ***          the diagonal elements of the upper triangular matrix U\n"
       " ***          of the LU factorization are close to zero."},
      {"not positive definite", {-1, 0, 0, 1}, ineqbf::Status::numerical_stop,
       "ineqbf: the covariance matrix is not positive definite.\n"
       "ineqbf: row 1 of its inverse has the diagonal element -1, which is not positive, so no "
       "conditional variance exists; no report was written."},
  };
  for (const Case& c : cases) {
    ineqbf::Problem p = two_parameters();
    p.covariance = c.covariance;
    try {
      ineqbf::analyse(p);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const ineqbf::Error& e) {
      EXPECT_EQ(e.status(), c.status) << c.what;
      EXPECT_EQ(e.message(), c.message) << c.what;
      EXPECT_EQ(e.what(), c.message) << c.what;
    }
  }
  EXPECT_EQ(ineqbf::analyse(two_parameters()).report,
            test_support::read_file(test_support::source_dir() + "/examples/two-parameters/Output.txt"));
}

TEST(Analyse, MalformedProblemsAreRefused) {
  struct Case {
    void (*spoil)(ineqbf::Problem&);
    std::string message;
  };
  const Case cases[] = {
      {[](ineqbf::Problem& p) { p.covariance.pop_back(); },
       "the covariance matrix has 3 values; 2 parameters need 4"},
      {[](ineqbf::Problem& p) { p.constraints[1].coefficients.push_back(1); },
       "constraint 2 has 3 coefficients; there are 2 parameters"},
      {[](ineqbf::Problem& p) { p.means[1] = NAN; }, "estimate 2 is not a finite number"},
      {[](ineqbf::Problem& p) { p.constraints[0].rhs = 1e39; },
       "constraint 1, right-hand side (1e+39) is beyond the range of single precision, about 3.4e38"},
      {[](ineqbf::Problem& p) { p.names = {"a", "a"}; }, "the parameter name \"a\" is given twice"},
      {[](ineqbf::Problem& p) { p.names = {"a"}; }, "there are 1 names for 2 parameters"},
  };
  for (const Case& c : cases) {
    ineqbf::Problem p = two_parameters();
    c.spoil(p);
    try {
      ineqbf::analyse(p);
      ADD_FAILURE() << c.message << ": no error";
    } catch (const ineqbf::Error& e) {
      EXPECT_EQ(e.status(), ineqbf::Status::usage);
      EXPECT_EQ(e.message(), c.message);
    }
  }
}

// A hypothesis as text gives the bytes of the same rows written by hand.
TEST(Analyse, HypothesisTextGivesTheReportOfTheRowsByHand) {
  const std::string order4 = test_support::source_dir() + "/examples/order4";
  ineqbf::Problem p = ineqbf::read_problem(order4);
  const std::string expected = test_support::read_file(order4 + "/Output.txt");
  EXPECT_EQ(ineqbf::analyse(p, "theta1 > theta2 > theta3 > theta4").results.at(0).report, expected);
  p.names = {"a", "b", "c", "d"};
  EXPECT_EQ(ineqbf::analyse(p, "b < a & c < b & d < c").results.at(0).report, expected);
}

TEST(Analyse, ComparisonOfHypotheses) {
  ineqbf::Problem p = ineqbf::read_problem(test_support::source_dir() + "/examples/order4");
  const ineqbf::Comparison c = ineqbf::analyse(p, "theta1 > theta2 > theta3 > theta4; theta1 > theta4");
  ASSERT_EQ(c.results.size(), 2u);
  // Progress says which hypothesis is under way.
  ineqbf::Settings s;
  std::vector<int32_t> seen;
  s.progress = [&](const ineqbf::Progress& pr) {
    if (seen.empty() || seen.back() != pr.hypothesis) seen.push_back(pr.hypothesis);
    EXPECT_EQ(pr.hypotheses, 2);
  };
  ineqbf::analyse(p, c.hypotheses, s);
  EXPECT_EQ(seen, (std::vector<int32_t>{0, 1}));
  // Each hypothesis is a run of its own with the same seed; the comparison
  // of runs made by the caller is the same.
  p.constraints = c.hypotheses[1].constraints;
  EXPECT_EQ(c.results[1].report, ineqbf::analyse(p).report);
  const ineqbf::Comparison again = ineqbf::compare(c.hypotheses, c.results);
  EXPECT_EQ(again.posterior_with_unconstrained[1].upper, c.posterior_with_unconstrained[1].upper);
  EXPECT_THROW(ineqbf::compare(c.hypotheses, {}), ineqbf::Error);

  const float bf0 = static_cast<float>(c.results[0].bf_ia.value);
  const float bf1 = static_cast<float>(c.results[1].bf_ia.value);
  EXPECT_EQ(c.bayes_factors[0][0].value, 1.0f);
  EXPECT_EQ(c.bayes_factors[0][0].mc_error, 0.0f);
  EXPECT_EQ(c.bayes_factors[0][1].value, static_cast<float>(double{bf0} / bf1));
  EXPECT_LE(c.bayes_factors[0][1].lower, c.bayes_factors[0][1].upper);
  ASSERT_EQ(c.posterior.size(), 2u);
  ASSERT_EQ(c.posterior_with_unconstrained.size(), 3u);
  EXPECT_NEAR(c.posterior[0].value + c.posterior[1].value, 1.0, 1e-6);
  EXPECT_NEAR(c.posterior_with_unconstrained[2].value, 1.0 / (1.0 + bf0 + bf1), 1e-6);
  EXPECT_GT(c.posterior_with_unconstrained[0].mc_error, 0.0f);
}

// Prior model probabilities weigh each hypothesis's Bayes factor: known
// values from two results made by hand, and the counts and signs refused.
TEST(Analyse, PriorModelProbabilities) {
  auto result = [](double bf) {
    ineqbf::Result r;
    r.method = ineqbf::Method::integration;
    r.bf_ia.value = bf;
    r.bf_ia_replicates.assign(1000, bf);
    return r;
  };
  const std::vector<ineqbf::Hypothesis> h(2);
  struct Case {
    std::vector<double> prior;
    double pmp0, pmp0_with_u, pmp_u;
  };
  // BFia 2 and 4: equal odds 2/6 and 2/7; weights 3:1 give 6/10; with a
  // weight for Hu of 2, 6/(6 + 4 + 2); with two weights Hu weighs their mean.
  for (const Case& c : {Case{{}, 2.0 / 6, 2.0 / 7, 1.0 / 7}, Case{{3, 1}, 0.6, 6.0 / 12, 2.0 / 12},
                        Case{{3, 1, 2}, 0.6, 6.0 / 12, 2.0 / 12}, Case{{0.3, 0.1, 0.6}, 0.6, 0.6 / 1.6, 0.6 / 1.6}}) {
    const ineqbf::Comparison k = ineqbf::compare(h, {result(2), result(4)}, c.prior);
    EXPECT_NEAR(k.posterior[0].value, c.pmp0, 1e-12);
    EXPECT_NEAR(k.posterior_with_unconstrained[0].value, c.pmp0_with_u, 1e-12);
    EXPECT_NEAR(k.posterior_with_unconstrained[2].value, c.pmp_u, 1e-12);
    EXPECT_NEAR(k.posterior_with_unconstrained[2].lower, c.pmp_u, 1e-12);
  }
  for (const std::vector<double>& bad : {std::vector<double>{1}, {1, 2, 3, 4}, {1, 0}, {1, -1, 1}, {1, NAN}}) {
    try {
      (void)ineqbf::compare(h, {result(2), result(4)}, bad);
      ADD_FAILURE() << "prior accepted";
    } catch (const ineqbf::Error& e) {
      EXPECT_EQ(e.status(), ineqbf::Status::usage);
      EXPECT_NE(e.message().find("prior model probabilities"), std::string::npos) << e.message();
    }
  }
}

// analyse(p, {}) is one analysis with the default settings; hypotheses
// given as rows or as text are compared.
TEST(Analyse, BracesMeanDefaultSettings) {
  const ineqbf::Problem p = two_parameters();
  const ineqbf::Result r = ineqbf::analyse(p, {});
  EXPECT_EQ(r.report, ineqbf::analyse(p).report);
  const std::string text = "theta1 > theta2";
  const std::vector<ineqbf::Hypothesis> rows = ineqbf::parse_hypotheses(text, ineqbf::default_names(2));
  EXPECT_EQ(ineqbf::analyse(p, text).results.at(0).report, ineqbf::analyse(p, rows).results.at(0).report);
}

TEST(Analyse, SettingsSeedProgressCancelAndConsole) {
  const ineqbf::Problem p = two_parameters();
  ineqbf::Settings s;
  std::vector<ineqbf::Progress> seen;
  std::string tapped;
  s.progress = [&](const ineqbf::Progress& pr) { seen.push_back(pr); };
  s.console = [&](std::string_view record) { tapped += record; };
  const ineqbf::Result r = ineqbf::analyse(p, s);
  EXPECT_EQ(tapped, r.console);
  ASSERT_FALSE(seen.empty());
  // Every chain reports its end: two constraints, a fit and a complexity each.
  int ends = 0;
  for (const ineqbf::Progress& pr : seen) ends += pr.sweeps_done == pr.sweeps_total;
  EXPECT_GE(ends, 4);
  EXPECT_EQ(seen.back().constraint, 2);
  EXPECT_EQ(seen.back().sampler, ineqbf::Sampler::complexity);

  s.seed = 777;
  EXPECT_NE(ineqbf::analyse(p, s).report, r.report);
  s.seed = 0;
  EXPECT_THROW(ineqbf::analyse(p, s), ineqbf::Error);

  ineqbf::Settings cancelling;
  cancelling.cancel = [] { return true; };
  try {
    ineqbf::analyse(p, cancelling);
    ADD_FAILURE() << "not cancelled";
  } catch (const ineqbf::Error& e) {
    EXPECT_EQ(e.status(), ineqbf::Status::cancelled);
    EXPECT_EQ(e.message(), "ineqbf: the analysis was cancelled");
  }
}

}  // namespace

namespace {

// The x86 flush-to-zero (bit 15) and denormals-are-zero (bit 6) bits.
constexpr unsigned kFtzDaz = 0x8040u;

// Sets rounding upward and, on x86, FTZ and DAZ, as a host may have set
// them; says whether they are all still set.
struct HostileEnvironment {
  HostileEnvironment() {
    std::fegetenv(&saved);
    std::fesetround(FE_UPWARD);
#if defined(__SSE__) || defined(__x86_64__)
    _mm_setcsr(_mm_getcsr() | kFtzDaz);
#endif
  }
  ~HostileEnvironment() { std::fesetenv(&saved); }
  bool still_set() const {
#if defined(__SSE__) || defined(__x86_64__)
    if ((_mm_getcsr() & kFtzDaz) != kFtzDaz) return false;
#endif
    return std::fegetround() == FE_UPWARD;
  }
  std::fenv_t saved;
};

}  // namespace

// A caller that rounds upward and flushes subnormals to zero gets the
// program's bytes all the same (read, analysed, in worker threads too), and
// its own environment back.
TEST(Analyse, CallersFloatingPointEnvironmentChangesNoByte) {
  for (const GoldenCase& c : quick_cases()) {
    const std::string dir = c.dir.filename().string();
    if (dir != "two-parameters" && dir != "order4" && dir != "light" && dir != "ladder-second-row") continue;
    HostileEnvironment hostile;
    Outcome o;
    try {
      ineqbf::Settings two;
      two.threads = 2;
      const ineqbf::Result r = ineqbf::analyse(ineqbf::read_problem(c.dir.string()), two);
      o.console = r.console;
      o.report = r.report;
    } catch (const ineqbf::Error& e) {
      o.status = ineqbf::exit_code(e.status());
      o.console = e.console();
    }
    EXPECT_TRUE(hostile.still_set()) << c.name;
    expect_golden(c, o);
  }
}

// The check against integration adds warnings at most: the bytes and
// numbers of a Gibbs run are those without it.
TEST(Analyse, CheckAgainstIntegrationLeavesTheGibbsRun) {
  for (const GoldenCase& c : quick_cases()) {
    if (c.name.rfind("examples", 0) != 0 && c.dir.filename() != "every-fit-one") continue;
    const ineqbf::Problem p = ineqbf::read_problem(c.dir.string());
    ineqbf::Settings with, without;
    without.check = false;
    const ineqbf::Result a = ineqbf::analyse(p, with), b = ineqbf::analyse(p, without);
    EXPECT_EQ(a.console, c.console()) << c.name;
    EXPECT_EQ(a.report, c.output()) << c.name;
    expect_same_result(a, b, c.name);
    ASSERT_LE(b.warnings.size(), a.warnings.size()) << c.name;
    for (size_t i = 0; i < b.warnings.size(); ++i) EXPECT_EQ(a.warnings[i].message, b.warnings[i].message);
  }
}
