// One analysis as a value: a run of its own (its own library context,
// console and arrays) on a problem given by the caller, returning every
// number of the run together with the console and report bytes that the
// program gives on the same problem. And several hypotheses over the same
// estimates, each its own run, compared replicate by replicate.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "api/checks.h"
#include "api/internal.h"
#include "driver/run.h"
#include "ineqbf/ineqbf.h"
#include "numlib/float_environment.h"
#include "numlib/precision.h"
#include "textio/textio.h"

namespace ineqbf {

namespace {

using numlib::rounded;
using numlib::wide;


void check_seed(int32_t seed) {
  if (seed < min_seed || seed > max_seed)
    throw Error(Status::usage, "the seed must be between " + std::to_string(min_seed) + " and " +
                                   std::to_string(max_seed) + ", not " + std::to_string(seed));
}

driver::Hooks hooks_of(const Settings& settings) {
  driver::Hooks h;
  if (settings.progress) h.progress = settings.progress;
  if (settings.cancel) h.cancel = settings.cancel;
  return h;
}

Estimate estimate_of(float value, float mc_error, const driver::Array1<float>& sorted, int32_t nrep) {
  return {value, mc_error, sorted(driver::percentile_low(nrep)), sorted(driver::percentile_high(nrep))};
}

// A fit or complexity of constraint k from a sampler's estimates.
Probability probability_of(const driver::Estimates& e, int64_t k, int32_t nrep) {
  Probability p;
  p.value = e.estimate(k);
  p.hits = e.hits(k);
  p.iterations = e.iterations(k);
  p.replicates.reserve(static_cast<size_t>(nrep));
  for (int64_t m = 1; m <= nrep; ++m) p.replicates.push_back(e.replicates(k, m));
  std::vector<float> r(p.replicates.begin(), p.replicates.end());
  p.mc_error = nrep > 0 ? driver::mc_error(r.data(), nrep) : 0.0f;
  return p;
}

Result collect(const driver::RunState& s, const Problem& problem, const textio::Console& console,
               std::string report, int32_t seed) {
  Result r;
  r.method = Method::gibbs;
  const int64_t ncon = s.problem.NCON;
  r.constraints.resize(static_cast<size_t>(ncon));
  for (int64_t k = 1; k <= ncon; ++k) {
    ConstraintResult& c = r.constraints[static_cast<size_t>(k - 1)];
    c.row = problem.constraints[static_cast<size_t>(k - 1)];
    c.fit = probability_of(s.fit, k, s.NREP);
    c.complexity = probability_of(s.complexity, k, s.NREP);
  }
  const driver::Summary& u = s.summary;
  r.total_fit = u.TOTALFIT;
  r.total_complexity = u.TOTALCOMP;
  r.bf_ia = estimate_of(u.BFIA, u.MCERRIA, u.BFSAMPLE, s.NREP);
  r.bf_ic = estimate_of(u.BFIC, u.MCERRIC, u.BFCSAMPLE, s.NREP);
  r.bf_ic_infinite = u.TOTALFIT == 1.0f;
  r.bf_ia_replicates.assign(u.unsorted_bf.begin(), u.unsorted_bf.end());
  r.bf_ic_replicates.assign(u.unsorted_bfc.begin(), u.unsorted_bfc.end());
  r.console = console.text();
  r.report = std::move(report);
  r.seed = seed;
  return r;
}

// ---- comparisons of hypotheses ---------------------------------------------------

// The arithmetic of a comparison: Gibbs results are compared in single
// precision, every operation rounded once to float as the program's Bayes
// factors are formed; integration results in double.
struct Arithmetic {
  bool single = true;
  double operator()(double x) const { return single ? wide(rounded(x)) : x; }
};

// The standard deviation of the replicates, in the comparison's arithmetic.
double spread(const std::vector<double>& v, Arithmetic a) {
  if (a.single) {
    std::vector<float> f(v.begin(), v.end());
    return driver::mc_error(f.data(), static_cast<int32_t>(f.size()));
  }
  double sum = 0.0;
  for (double x : v) sum += x;
  const double mean = sum / static_cast<double>(v.size());
  double ss = 0.0;
  for (double x : v) ss += (x - mean) * (x - mean);
  return std::sqrt(ss / static_cast<double>(v.size()));
}

// A quantity formed replicate by replicate: its value from the point
// estimates, its MC error and percentiles from the replicates as the
// program forms those of a Bayes factor (sorted ascending, with replicates
// that are not a number last).
Estimate summarise_replicates(double value, std::vector<double> replicates, Arithmetic a) {
  const auto nrep = static_cast<int32_t>(replicates.size());
  Estimate e;
  e.value = value;
  if (nrep == 0) return e;
  auto not_nan_end = std::stable_partition(replicates.begin(), replicates.end(),
                                           [](double x) { return !std::isnan(x); });
  std::stable_sort(replicates.begin(), not_nan_end);
  e.mc_error = spread(replicates, a);
  // The program's positions, kept within the replicates when a caller's
  // results have fewer than 40 (the 2.5 percentile's position is then 0).
  auto at = [&](int32_t position) { return replicates[static_cast<size_t>(std::clamp(position, 1, nrep) - 1)]; };
  e.lower = at(driver::percentile_low(nrep));
  e.upper = at(driver::percentile_high(nrep));
  return e;
}

// The prior model probabilities as weights: n values (the hypotheses) or
// n + 1 (the unconstrained hypothesis last); none gives equal weights. With
// n values the unconstrained hypothesis, where it takes part, weighs as much
// as their mean.
}  // namespace

std::vector<double> detail::prior_weights(const std::vector<double>& prior, size_t n) {
  if (prior.empty()) return std::vector<double>(n + 1, 1.0);
  if (prior.size() != n && prior.size() != n + 1)
    throw Error(Status::usage, "the prior model probabilities number " + std::to_string(prior.size()) +
                                  "; give one per hypothesis (" + std::to_string(n) +
                                  "), or one more for the unconstrained hypothesis (" +
                                  std::to_string(n + 1) + ")");
  double sum = 0.0;
  for (double w : prior) {
    if (!(w > 0.0) || !std::isfinite(w))
      throw Error(Status::usage, "the prior model probabilities must be positive finite numbers");
    sum += w;
  }
  std::vector<double> w = prior;
  if (w.size() == n) w.push_back(sum / static_cast<double>(n));
  return w;
}

namespace {

void compare_pair_wise(Comparison& c, Arithmetic a) {
  const size_t n = c.results.size();
  const size_t nrep = c.results[0].bf_ia_replicates.size();
  c.bayes_factors.assign(n, std::vector<Estimate>(n));
  for (size_t i = 0; i < n; ++i) {
    const Result& x = c.results[i];
    for (size_t j = 0; j < n; ++j) {
      const Result& y = c.results[j];
      std::vector<double> r(nrep);
      for (size_t s = 0; s < nrep; ++s) r[s] = a(x.bf_ia_replicates[s] / y.bf_ia_replicates[s]);
      c.bayes_factors[i][j] = summarise_replicates(a(x.bf_ia.value / y.bf_ia.value), std::move(r), a);
    }
  }
}

// Posterior model probabilities: w_h·BFia_h over the sum of w·BFia over the
// set, the unconstrained hypothesis with BFia 1. With equal weights the
// weights are left out, so that the arithmetic is the program's.
std::vector<Estimate> posterior_of(const Comparison& c, const std::vector<double>& w, bool equal,
                                   bool with_u, Arithmetic a) {
  const size_t n = c.results.size();
  const size_t nrep = c.results[0].bf_ia_replicates.size();
  const size_t m = with_u ? n + 1 : n;
  auto term = [&](size_t h, double bf) { return equal ? bf : a(w[h] * bf); };
  auto bf = [&](size_t h) { return h < n ? c.results[h].bf_ia.value : 1.0; };
  auto rep = [&](size_t h, size_t s) { return h < n ? c.results[h].bf_ia_replicates[s] : 1.0; };
  // The unconstrained hypothesis first in the sum, as the program adds it.
  auto total = [&](auto value_of) {
    double sum = with_u ? term(n, 1.0) : 0.0;
    for (size_t h = 0; h < n; ++h) sum = a(sum + term(h, value_of(h)));
    return sum;
  };
  const double sum = total(bf);
  std::vector<double> sums(nrep);
  for (size_t s = 0; s < nrep; ++s) sums[s] = total([&](size_t h) { return rep(h, s); });
  std::vector<Estimate> out;
  for (size_t h = 0; h < m; ++h) {
    std::vector<double> r(nrep);
    for (size_t s = 0; s < nrep; ++s) r[s] = a(term(h, rep(h, s)) / sums[s]);
    out.push_back(summarise_replicates(a(term(h, bf(h)) / sum), std::move(r), a));
  }
  return out;
}

}  // namespace

void detail::compare(Comparison& c, const std::vector<double>& prior) {
  const size_t n = c.results.size();
  if (n == 0) return;
  const std::vector<double> w = detail::prior_weights(prior, n);
  Arithmetic a;
  for (const Result& r : c.results) a.single = a.single && r.method == Method::gibbs;
  for (const Result& r : c.results)
    if (r.bf_ia_replicates.size() != c.results[0].bf_ia_replicates.size())
      throw Error(Status::usage, "the results to compare have different numbers of replicates");
  compare_pair_wise(c, a);
  const bool equal = prior.empty();
  c.posterior = posterior_of(c, w, equal, false, a);
  c.posterior_with_unconstrained = posterior_of(c, w, equal, true, a);
}

void detail::end_run(textio::Console& console, const textio::RunEnded& e) {
  driver::end_of_run(console, e);
  throw Error(e.status, console.message(), console.text());
}

void detail::end_run_out_of_memory(textio::Console& console) {
  end_run(console, textio::RunEnded(Status::io_error, kNoMemory));
}

std::string_view version() { return INEQBF_VERSION; }

void check_prior(const std::vector<double>& prior, size_t hypotheses) {
  (void)detail::prior_weights(prior, hypotheses);
}

namespace {

// The program's run on a problem: its numbers, console and report.
Result run_gibbs(const Problem& problem, const Settings& settings) {
  textio::Console console(settings.console);
  driver::RunState s(console);
  s.hooks = hooks_of(settings);
  s.threads = settings.threads > 0 ? settings.threads : 0;  // 0: one per core, when needed
  try {
    detail::load_problem(s.problem, problem);
    driver::start_run(s, settings.seed);
    driver::analyse(s);
    textio::OutputUnit out;
    out.open_memory(textio::REPORT_UNIT, "Output.txt");
    driver::write_report(s, out);
    out.close();
    return collect(s, problem, console, out.text(), settings.seed);
  } catch (const textio::RunEnded& e) {
    detail::end_run(console, e);
  } catch (const std::bad_alloc&) {
    // Memory that the library's own containers could not get ends the run
    // as the arrays' allocations do.
    detail::end_run_out_of_memory(console);
  }
}

void append(std::vector<Warning>& to, std::vector<Warning> more) {
  for (Warning& w : more) to.push_back(std::move(w));
}

// The warnings of a finished analysis: those said before the run, then,
// for Gibbs, the check against integration, then the notes on values that
// are not finite. Nothing here may lose the result the run gave.
void add_warnings(Result& r, std::vector<Warning> before, const Problem& problem, const Settings& settings,
                  double seconds) {
  append(before, std::move(r.warnings));
  r.warnings = std::move(before);
  try {
    if (r.method == Method::gibbs && settings.check)
      append(r.warnings, detail::gibbs_check(problem, r, settings, seconds));
    append(r.warnings, detail::not_finite_warnings(r));
  } catch (...) {
  }
}

}  // namespace

Result analyse(const Problem& problem, const Settings& settings) {
  numlib::DefaultFloatEnvironment in_default;
  detail::check_problem(problem);
  check_seed(settings.seed);
  std::vector<Warning> before = check(problem, settings);
  const auto start = std::chrono::steady_clock::now();
  Result r = settings.method == Method::integration ? detail::integrate(problem, settings)
                                                     : run_gibbs(problem, settings);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  add_warnings(r, std::move(before), problem, settings, took.count());
  return r;
}

Comparison analyse_hypotheses(const Problem& problem, const std::vector<Hypothesis>& hypotheses,
                   const Settings& settings) {
  numlib::DefaultFloatEnvironment in_default;
  check_prior(settings.prior, hypotheses.size());
  check_hypotheses(problem, hypotheses, settings);
  Comparison c;
  c.hypotheses = hypotheses;
  Problem one = problem;
  Settings each = settings;
  for (size_t h = 0; h < hypotheses.size(); ++h) {
    if (settings.progress) {
      each.progress = [&settings, h, n = hypotheses.size()](const Progress& p) {
        Progress q = p;
        q.hypothesis = static_cast<int32_t>(h);
        q.hypotheses = static_cast<int32_t>(n);
        settings.progress(q);
      };
    }
    one.constraints = hypotheses[h].constraints;
    c.results.push_back(analyse(one, each));
  }
  detail::compare(c, settings.prior);
  detail::note_not_finite(c);
  return c;
}

Comparison compare(std::vector<Hypothesis> hypotheses, std::vector<Result> results,
                   const std::vector<double>& prior) {
  numlib::DefaultFloatEnvironment in_default;
  if (hypotheses.size() != results.size())
    throw Error(Status::usage, std::to_string(hypotheses.size()) + " hypotheses but " +
                                  std::to_string(results.size()) + " results to compare");
  Comparison c;
  c.hypotheses = std::move(hypotheses);
  c.results = std::move(results);
  detail::compare(c, prior);
  detail::note_not_finite(c);
  return c;
}

Comparison analyse_hypotheses(const Problem& problem, std::string_view hypotheses, const Settings& settings) {
  numlib::DefaultFloatEnvironment in_default;
  // The problem first: a mismatch of names and estimates is said as such,
  // not as an unknown parameter of the text.
  detail::check_problem(problem);
  const std::vector<std::string> names =
      problem.names.empty() ? default_names(problem.parameters()) : problem.names;
  return analyse_hypotheses(problem, parse_hypotheses(hypotheses, names), settings);
}

}  // namespace ineqbf
