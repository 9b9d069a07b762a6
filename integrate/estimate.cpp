// The rules are run one after the other, each with fresh shifts, until one
// meets the target; only the last one's estimates are kept (the rules are
// not embedded in one another).
#include "integrate/estimate.h"

#include <algorithm>
#include <cmath>

#include "integrate/elementary.h"
#include "integrate/lattice.h"

namespace integrate {

namespace {

// Working storage of one estimate, allocated once.
struct Work {
  std::vector<int64_t> generator, index;
  std::vector<double> shift, w, z, out, sums;
};

// The baker's (tent) transform, which makes the integrand periodic in
// effect and lifts the lattice rule's order of convergence.
double tent(double x) { return 1.0 - std::fabs(2.0 * x - 1.0); }

void korobov_generator(const KorobovRule& rule, int32_t dim, std::vector<int64_t>& g) {
  int64_t power = 1;
  for (int32_t j = 0; j < dim; ++j) {
    g[static_cast<size_t>(j)] = power;
    power = power * rule.multiplier % rule.points;
  }
}

// One rule under one shift: the mean of every output over its points.
void run_shift(const Plan& plan, const KorobovRule& rule, Work& wk, double* means) {
  const int32_t dim = plan.dimension();
  const int32_t nout = plan.outputs();
  const double n = rule.points;
  for (int32_t o = 0; o < nout; ++o) means[o] = 0.0;
  for (int32_t j = 0; j < dim; ++j) wk.index[static_cast<size_t>(j)] = 0;
  for (int32_t i = 0; i < rule.points; ++i) {
    for (int32_t j = 0; j < dim; ++j) {
      const size_t jj = static_cast<size_t>(j);
      double x = static_cast<double>(wk.index[jj]) / n + wk.shift[jj];
      if (x >= 1.0) x -= 1.0;
      wk.w[jj] = tent(x);
      wk.index[jj] += wk.generator[jj];
      if (wk.index[jj] >= rule.points) wk.index[jj] -= rule.points;
    }
    evaluate(plan, wk.w.data(), wk.z.data(), wk.out.data());
    for (int32_t o = 0; o < nout; ++o) means[o] += wk.out[static_cast<size_t>(o)];
  }
  for (int32_t o = 0; o < nout; ++o) means[o] /= n;
}

void run_rule(const Plan& plan, const Controls& c, int32_t level, Work& wk, Estimates& e) {
  const KorobovRule& rule = kKorobovRules[level];
  const int32_t dim = plan.dimension();
  korobov_generator(rule, dim, wk.generator);
  ShiftStream shifts(c.seed, c.stream, static_cast<uint64_t>(level));
  for (int32_t s = 0; s < kShifts; ++s) {
    for (int32_t j = 0; j < dim; ++j) wk.shift[static_cast<size_t>(j)] = shifts.uniform();
    run_shift(plan, rule, wk, wk.sums.data());
    for (int32_t o = 0; o < e.outputs; ++o)
      e.per_shift[static_cast<size_t>(o * kShifts + s)] = wk.sums[static_cast<size_t>(o)];
  }
  e.points = static_cast<int64_t>(rule.points) * kShifts;
}

bool met(const Estimates& e, const Controls& c) {
  const double m = e.mean(c.watch);
  const double err = e.error(c.watch);
  return err == 0.0 || err <= c.target * std::fabs(m);
}

// The relative error of the watched output (infinite when its mean is 0).
double relative_error(const Estimates& e, const Controls& c) {
  return e.error(c.watch) / std::fabs(e.mean(c.watch));
}

// log2(x) for the choice of a rule, from the method's own logarithm, so
// that the rules run are the same on every platform.
double log2_of(double x) {
  constexpr double kLn2 = 0.69314718055994530942;
  return integrate::log(x) / kLn2;
}

// The order of convergence the errors of two rules show, error ∝ n^-rate,
// kept within [0.5, 1]: no better than a lattice rule's usual n^-1 on
// these integrands, no worse than plain Monte Carlo. 1 (the usual order)
// when there is no earlier rule or its error was not larger.
double observed_rate(int32_t earlier, double earlier_error, int32_t level, double error) {
  if (earlier < 0 || !(earlier_error > error) || !(error > 0.0) || !std::isfinite(earlier_error)) return 1.0;
  const double r = log2_of(earlier_error / error) /
                   log2_of(static_cast<double>(kKorobovRules[level].points) / kKorobovRules[earlier].points);
  return std::clamp(r, 0.5, 1.0);
}

// The rule to run after `level` missed the target: as many doublings as
// the error would need if it kept falling at the rate the rules so far
// show (after the first rule, as 1/points, and at most three doublings);
// but none whose work passes the cap; kLevels when no larger rule is
// within it.
int32_t next_level(const Plan& plan, const Controls& c, const Estimates& e, int32_t level, int32_t earlier,
                   double earlier_error) {
  const double error = relative_error(e, c);
  const double ratio = error / c.target;
  int32_t steps = 3;
  if (earlier >= 0 || ratio < 8.0) {
    const double needed = log2_of(ratio) / observed_rate(earlier, earlier_error, level, error);
    steps = needed < kLevels ? std::max(1, static_cast<int32_t>(std::ceil(needed))) : kLevels;
  }
  int32_t next = std::min(level + steps, std::min(kLevels - 1, c.last_level));
  while (next > level && static_cast<int64_t>(kKorobovRules[next].points) * kShifts * plan.cost() > c.work_cap) --next;
  return next > level ? next : kLevels;
}

}  // namespace

double Estimates::mean(int32_t o) const {
  double s = 0.0;
  for (int32_t k = 0; k < kShifts; ++k) s += per_shift[static_cast<size_t>(o * kShifts + k)];
  return s / kShifts;
}

double Estimates::error(int32_t o) const {
  const double m = mean(o);
  double ss = 0.0;
  for (int32_t k = 0; k < kShifts; ++k) {
    const double d = per_shift[static_cast<size_t>(o * kShifts + k)] - m;
    ss += d * d;
  }
  return std::sqrt(ss / (kShifts * (kShifts - 1.0)));
}

Estimates estimate(const Plan& plan, const Controls& c) {
  Estimates e;
  e.outputs = plan.outputs();
  e.per_shift.assign(static_cast<size_t>(e.outputs) * kShifts, 0.0);
  const size_t dim = static_cast<size_t>(plan.dimension());
  Work wk{std::vector<int64_t>(dim), std::vector<int64_t>(dim), std::vector<double>(dim),
          std::vector<double>(dim), std::vector<double>(static_cast<size_t>(plan.vars) + 1),
          std::vector<double>(static_cast<size_t>(e.outputs)), std::vector<double>(static_cast<size_t>(e.outputs))};
  if (dim == 0) {
    // Nothing to integrate over: one evaluation is exact, under every shift.
    evaluate(plan, nullptr, wk.z.data(), wk.sums.data());
    for (int32_t o = 0; o < e.outputs; ++o)
      for (int32_t s = 0; s < kShifts; ++s) e.per_shift[static_cast<size_t>(o * kShifts + s)] = wk.sums[static_cast<size_t>(o)];
    e.points = 1;
    return e;
  }
  int32_t earlier = -1;
  double earlier_error = 0.0;
  for (int32_t level = 0; level < kLevels;) {
    if (c.cancel && c.cancel()) {
      e.cancelled = true;
      return e;
    }
    run_rule(plan, c, level, wk, e);
    if (met(e, c)) return e;
    const int32_t next = next_level(plan, c, e, level, earlier, earlier_error);
    earlier = level;
    earlier_error = relative_error(e, c);
    level = next;
  }
  e.reached = false;
  return e;
}

}  // namespace integrate
