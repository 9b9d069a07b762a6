// One analysis as a value: a run of its own (its own library context,
// console and arrays) on a problem given by the caller, returning every
// number of the run together with the console and report bytes that the
// program gives on the same problem. And several hypotheses over the same
// estimates, each its own run, compared replicate by replicate.
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "api/internal.h"
#include "driver/run.h"
#include "ineqbf/ineqbf.h"
#include "numlib/precision.h"
#include "textio/textio.h"

namespace ineqbf {

namespace {

using numlib::rounded;
using numlib::wide;

constexpr int OUTPUT_UNIT = 20;

void check_seed(int32_t seed) {
  // The generator takes any seed in 1 .. 2^31 - 2; others would fall back
  // to a seed from the clock, and the analysis would not repeat itself.
  if (seed < 1 || seed > 2147483646)
    throw Error(status_usage,
                "the seed must be between 1 and 2147483646, not " + std::to_string(seed));
}

driver::Hooks hooks_of(const Settings& settings) {
  driver::Hooks h;
  if (settings.progress) {
    h.progress = [&settings](int32_t k, driver::SamplerKind kind, int32_t niter, int64_t done,
                             int64_t total) {
      settings.progress(detail::progress_of(k, kind, niter, done, total));
    };
  }
  if (settings.cancel) h.cancel = settings.cancel;
  return h;
}

Estimate estimate_of(float value, float mc_error, const driver::Array1<float>& sorted, int32_t nrep) {
  return {value, mc_error, sorted(driver::percentile_low(nrep)), sorted(driver::percentile_high(nrep))};
}

Result collect(const driver::RunState& s, const Problem& problem, const textio::Console& console,
               std::string report, int32_t seed) {
  Result r;
  const int64_t ncon = s.problem.NCON;
  r.constraints.resize(static_cast<size_t>(ncon));
  for (int64_t k = 1; k <= ncon; ++k) {
    ConstraintResult& c = r.constraints[static_cast<size_t>(k - 1)];
    c.row = problem.constraints[static_cast<size_t>(k - 1)];
    c.fit = s.fit.estimate(k);
    c.complexity = s.complexity.estimate(k);
    c.fit_hits = s.fit.hits(k);
    c.complexity_hits = s.complexity.hits(k);
    c.fit_iterations = s.fit.iterations(k);
    c.complexity_iterations = s.complexity.iterations(k);
    c.fit_replicates.reserve(static_cast<size_t>(s.NREP));
    c.complexity_replicates.reserve(static_cast<size_t>(s.NREP));
    for (int64_t m = 1; m <= s.NREP; ++m) {
      c.fit_replicates.push_back(s.fit.replicates(k, m));
      c.complexity_replicates.push_back(s.complexity.replicates(k, m));
    }
  }
  const driver::Summary& u = s.summary;
  r.total_fit = u.TOTALFIT;
  r.total_complexity = u.TOTALCOMP;
  r.bf_ia = estimate_of(u.BFIA, u.MCERRIA, u.BFSAMPLE, s.NREP);
  r.bf_ic = estimate_of(u.BFIC, u.MCERRIC, u.BFCSAMPLE, s.NREP);
  r.bf_ic_infinite = u.TOTALFIT == 1.0f;
  r.bf_ia_replicates = u.unsorted_bf;
  r.bf_ic_replicates = u.unsorted_bfc;
  r.console = console.text();
  r.report = std::move(report);
  r.seed = seed;
  return r;
}

// ---- comparisons of hypotheses ---------------------------------------------------

// A quantity formed replicate by replicate: its value from the point
// estimates, its MC error and percentiles from the replicates as the
// program forms those of a Bayes factor (sorted ascending, with replicates
// that are not a number last).
Estimate summarise_replicates(float value, std::vector<float> replicates) {
  const auto nrep = static_cast<int32_t>(replicates.size());
  Estimate e;
  e.value = value;
  if (nrep == 0) return e;
  auto not_nan_end = std::stable_partition(replicates.begin(), replicates.end(),
                                           [](float x) { return !std::isnan(x); });
  std::stable_sort(replicates.begin(), not_nan_end);
  e.mc_error = driver::mc_error(replicates.data(), nrep);
  e.lower = replicates[static_cast<size_t>(driver::percentile_low(nrep) - 1)];
  e.upper = replicates[static_cast<size_t>(driver::percentile_high(nrep) - 1)];
  return e;
}

}  // namespace

void detail::compare(Comparison& c) {
  const size_t n = c.results.size();
  if (n == 0) return;
  const size_t nrep = c.results[0].bf_ia_replicates.size();
  auto bf = [&](size_t h) { return c.results[h].bf_ia.value; };
  auto rep = [&](size_t h, size_t s) { return c.results[h].bf_ia_replicates[s]; };

  c.bayes_factors.assign(n, std::vector<Estimate>(n));
  c.posterior.clear();
  c.posterior_with_unconstrained.clear();
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      std::vector<float> r(nrep);
      for (size_t s = 0; s < nrep; ++s) r[s] = rounded(wide(rep(i, s)) / wide(rep(j, s)));
      c.bayes_factors[i][j] = summarise_replicates(rounded(wide(bf(i)) / wide(bf(j))), std::move(r));
    }
  }

  // Posterior model probabilities with equal prior odds: BFia_i over the
  // sum of the BFia of the set, the unconstrained hypothesis counting 1.
  auto total = [&](auto value_of, bool with_unconstrained) {
    float sum = with_unconstrained ? 1.0f : 0.0f;
    for (size_t h = 0; h < n; ++h) sum = rounded(wide(sum) + wide(value_of(h)));
    return sum;
  };
  for (const bool with_u : {false, true}) {
    std::vector<Estimate>& out = with_u ? c.posterior_with_unconstrained : c.posterior;
    const float sum = total(bf, with_u);
    std::vector<float> sums(nrep);
    for (size_t s = 0; s < nrep; ++s) sums[s] = total([&](size_t h) { return rep(h, s); }, with_u);
    for (size_t h = 0; h <= n; ++h) {
      if (h == n && !with_u) break;
      // The unconstrained hypothesis has BFia 1.
      const float top = h < n ? bf(h) : 1.0f;
      std::vector<float> r(nrep);
      for (size_t s = 0; s < nrep; ++s) r[s] = rounded(wide(h < n ? rep(h, s) : 1.0f) / wide(sums[s]));
      out.push_back(summarise_replicates(rounded(wide(top) / wide(sum)), std::move(r)));
    }
  }
}

Progress detail::progress_of(int32_t k, driver::SamplerKind kind, int32_t niter, int64_t done,
                             int64_t total) {
  Progress p;
  p.constraint = k;
  p.sampler = kind == driver::SamplerKind::fit ? Sampler::fit : Sampler::complexity;
  p.iterations = niter;
  p.sweeps_done = done;
  p.sweeps_total = total;
  return p;
}

std::string_view version() { return INEQBF_VERSION; }

Result analyse(const Problem& problem, const Settings& settings) {
  detail::check_problem(problem);
  check_seed(settings.seed);
  textio::Console console(settings.console ? textio::Console::Tap(settings.console)
                                           : textio::Console::Tap());
  driver::RunState s(console);
  s.hooks = hooks_of(settings);
  s.threads = settings.threads > 0 ? settings.threads : 0;  // 0: one per core, when needed
  try {
    detail::load_problem(s.problem, problem);
    driver::start_run(s, settings.seed);
    driver::analyse(s);
    textio::OutputUnit out;
    out.open_memory(OUTPUT_UNIT, "Output.txt");
    driver::write_report(s, out);
    out.close();
    return collect(s, problem, console, out.text(), settings.seed);
  } catch (const textio::RunEnded& e) {
    driver::end_of_run(console, e);
    throw Error(e.status, console.message(), console.text());
  } catch (const std::bad_alloc&) {
    // Memory that the library's own containers could not get ends the run
    // as the arrays' allocations do.
    driver::end_of_run(console, textio::RunEnded(textio::EXIT_IO_ERROR, detail::kNoMemory));
    throw Error(textio::EXIT_IO_ERROR, console.message(), console.text());
  }
}

Comparison analyse(const Problem& problem, const std::vector<Hypothesis>& hypotheses,
                   const Settings& settings) {
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
  detail::compare(c);
  return c;
}

Comparison compare(std::vector<Hypothesis> hypotheses, std::vector<Result> results) {
  if (hypotheses.size() != results.size())
    throw Error(status_usage, std::to_string(hypotheses.size()) + " hypotheses but " +
                                  std::to_string(results.size()) + " results to compare");
  Comparison c;
  c.hypotheses = std::move(hypotheses);
  c.results = std::move(results);
  detail::compare(c);
  return c;
}

Comparison analyse(const Problem& problem, std::string_view hypotheses, const Settings& settings) {
  // The problem first: a mismatch of names and estimates is said as such,
  // not as an unknown parameter of the text.
  detail::check_problem(problem);
  const std::vector<std::string> names =
      problem.names.empty() ? default_names(problem.parameters()) : problem.names;
  return analyse(problem, parse_hypotheses(hypotheses, names), settings);
}

}  // namespace ineqbf
