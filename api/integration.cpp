// Analyses by integration: the fit of constraint k is P(rows 1..k) /
// P(rows 1..k-1) under N(means, covariance) and its complexity the same
// under the prior N(0, BIG²·I), each probability a multivariate normal
// integral computed by the separation of variables with randomly shifted
// lattice rules (integrate/), in double precision from the values as given.
//
// Where every row adds a direction of its own, one integral gives the
// probabilities of all the prefixes of the rows at once; rows that repeat
// a direction (ranges, redundant rows) are integrated prefix by prefix from
// the first of them on. The boxed prior restricts every parameter to ±BIG
// for constraints 2 and on, as the Gibbs sampler's complexity chains do
// (constraint 1 is drawn from the untruncated prior there too). Rows that
// only order parameters or give their signs have complexities known
// exactly, under either prior (integrate/orders.h); a chain of orders over
// independent estimates has fits by one-dimensional recursion
// (integrate/chain.h).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/integration.h"
#include "api/internal.h"
#include "driver/run.h"
#include "integrate/chain.h"
#include "integrate/estimate.h"
#include "integrate/lattice.h"
#include "integrate/orders.h"
#include "integrate/plan.h"
#include "integrate/rows.h"
#include "textio/textio.h"

namespace ineqbf {

namespace {

using integrate::Plan;
using integrate::RowSet;

// The prior's standard deviation, the program's BIG.
constexpr double kPriorSd = static_cast<double>(driver::BIG);
constexpr const char* kCancelled = "ineqbf: the analysis was cancelled";

// The caller cancelled the analysis between two lattice rules.
struct Cancelled {};

struct Integral {
  Plan plan;
  integrate::Estimates estimates;
};

// An output of one of a side's integrals; integral -1 stands for a value
// known exactly.
struct Ref {
  int32_t integral = -1;
  int32_t output = 0;
  double value = 1.0;  // integral -1: the value
};

// The fits (or the complexities): the integrals, and per constraint k the
// probabilities of rows 1..k and 1..k-1 whose quotient it is.
struct Side {
  std::vector<Integral> integrals;
  std::vector<Ref> numerator, denominator;
};

// Runs the integrals of an analysis: one target, one seed, a stream each.
struct Runner {
  const Settings& settings;
  double target;
  uint64_t side;

  // The estimate of a plan with shift stream `stream` of this side, up to
  // the rule last_level.
  integrate::Estimates run(const Plan& plan, uint64_t stream, int32_t last_level) const {
    integrate::Controls c;
    c.target = target;
    c.watch = plan.outputs() - 1;
    c.seed = static_cast<uint64_t>(static_cast<uint32_t>(settings.seed));
    c.stream = side << 32 | stream;
    c.cancel = settings.cancel;
    c.last_level = last_level;
    integrate::Estimates e = integrate::estimate(plan, c);
    if (e.cancelled) throw Cancelled{};
    return e;
  }

  Ref add(Side& s, Plan plan, int32_t output, integrate::Estimates e) const {
    s.integrals.push_back({std::move(plan), std::move(e)});
    return {static_cast<int32_t>(s.integrals.size()) - 1, output};
  }

  Ref add(Side& s, Plan plan, int32_t output) const {
    integrate::Estimates e = run(plan, s.integrals.size(), integrate::kLevels - 1);
    return add(s, std::move(plan), output, std::move(e));
  }
};

// The largest rule of the trial that decides between one integral in the
// rows' own order and one prioritised integral per prefix.
constexpr int32_t kTrialLevel = 2;
// The streams of the trial's prioritised integrals, apart from those of the
// integrals kept.
constexpr uint64_t kTrialStream = uint64_t{1} << 31;

double relative_error(const integrate::Estimates& e) {
  const int32_t o = e.outputs - 1;
  return e.error(o) / std::fabs(e.mean(o));
}

// Whether the prefixes of `rows` (all adding a direction of their own)
// are better integrated one by one with their variables prioritised than
// all at once in the rows' order. The running products of the rows' order
// give every prefix from one integral, but for rare rows its variance can
// be far larger than that of the prioritised order. Both are tried on
// small rules: the given order is kept when it meets the target there
// (its estimate is returned in `given`) or when the prioritised order is
// not clearly better.
bool prioritise_prefixes(const RowSet& rows, const Plan& plan, const Runner& run, integrate::Estimates& given) {
  given = run.run(plan, 0, kTrialLevel);
  if (given.reached) return false;
  const integrate::Estimates trial =
      run.run(integrate::reduce(rows, integrate::Order::prioritised), kTrialStream, kTrialLevel);
  // An estimate of exactly 0 has no error but says nothing of the order.
  if (!(trial.mean(trial.outputs - 1) > 0.0)) return false;
  return trial.reached || relative_error(trial) < 0.5 * relative_error(given);
}

RowSet prefix(const RowSet& r, int32_t k) {
  RowSet p;
  p.dim = r.dim;
  p.a.assign(r.a.begin(), r.a.begin() + static_cast<ptrdiff_t>(k) * r.dim);
  p.b.assign(r.b.begin(), r.b.begin() + k);
  return p;
}

void set_quotients(Side& s, const std::vector<Ref>& probability) {
  for (size_t k = 1; k < probability.size(); ++k) {
    s.numerator.push_back(probability[k]);
    s.denominator.push_back(probability[k - 1]);
  }
}

// The probability of `rows` in prioritised order; when that misses the
// target on the small rules of the trial, the same with a free first
// variable along an axis inside the rows' region is tried there too and
// kept when it halves the error (thin wedges through the origin, such as
// complexities of rows whose right-hand sides vanish beside BIG).
Ref add_prioritised(Side& s, const RowSet& rows, const Runner& run) {
  Plan plan = integrate::reduce(rows, integrate::Order::prioritised);
  const uint64_t stream = s.integrals.size();
  integrate::Estimates trial = run.run(plan, stream, kTrialLevel);
  if (trial.reached) return run.add(s, std::move(plan), 0, std::move(trial));
  Plan axis = integrate::reduce(rows, integrate::Order::axis_first);
  if (axis.vars > 0 && axis.first[1] == 0) {  // a first variable without rows: an axis was found
    const integrate::Estimates other = run.run(axis, kTrialStream | stream, kTrialLevel);
    if (other.mean(0) > 0.0 && (other.reached || relative_error(other) < 0.5 * relative_error(trial))) {
      // Estimated before the plan is handed over: the order in which a
      // call's arguments are evaluated is the compiler's to choose.
      integrate::Estimates full = run.run(axis, stream, integrate::kLevels - 1);
      return run.add(s, std::move(axis), 0, std::move(full));
    }
  }
  return run.add(s, std::move(plan), 0);
}

// The probabilities of every prefix of the standardised rows: the rows up
// to the first that repeats a direction in one integral (in their order, so
// that the running products give every prefix), the longer prefixes one
// integral each, their variables prioritised.
Side prefix_side(const RowSet& rows, const Runner& run) {
  Side s;
  const int32_t K = rows.rows();
  std::vector<Ref> probability(1);  // P(no rows) = 1
  // The longest prefix whose rows each add a direction, and its plan.
  int32_t nested = 0;
  Plan plan;
  while (nested < K) {
    Plan next = integrate::reduce(prefix(rows, nested + 1));
    if (!next.nested) break;
    plan = std::move(next);
    ++nested;
  }
  int32_t first_prioritised = nested + 1;
  if (nested > 0) {
    const RowSet together = prefix(rows, nested);
    integrate::Estimates trial;
    if (nested > 1 && prioritise_prefixes(together, plan, run, trial)) {
      first_prioritised = 1;
    } else {
      // The trial's estimate when it met the target, else the full one.
      const Ref all = trial.reached && nested > 1 ? run.add(s, std::move(plan), 0, std::move(trial))
                                                  : run.add(s, std::move(plan), 0);
      for (int32_t k = 0; k < nested; ++k) probability.push_back({all.integral, k});
    }
  }
  for (int32_t k = first_prioritised; k <= K; ++k) probability.push_back(add_prioritised(s, prefix(rows, k), run));
  set_quotients(s, probability);
  return s;
}

// The prior restricted to |z_i| < 1 (z = θ/BIG) for constraints 2 and on.
Side boxed_side(const RowSet& rows, const Runner& run) {
  Side s;
  const int32_t K = rows.rows();
  if (K == 0) return s;
  const Ref first = run.add(s, integrate::reduce(prefix(rows, 1)), 0);
  // The box's 2·dim rows, then rows 1..k, one more for each k.
  RowSet box;
  box.dim = rows.dim;
  std::vector<double> unit(static_cast<size_t>(rows.dim), 0.0);
  for (int32_t i = 0; i < rows.dim; ++i) {
    unit[static_cast<size_t>(i)] = 1.0;
    box.add(unit.data(), -1.0);
    unit[static_cast<size_t>(i)] = -1.0;
    box.add(unit.data(), -1.0);
    unit[static_cast<size_t>(i)] = 0.0;
  }
  std::vector<Ref> boxed(1);
  for (int32_t k = 1; k <= K; ++k) {
    box.add(rows.row(k - 1), rows.b[static_cast<size_t>(k - 1)]);
    boxed.push_back(run.add(s, integrate::reduce(box), 0));
  }
  s.numerator.push_back(first);
  s.denominator.push_back(Ref{});
  for (int32_t k = 2; k <= K; ++k) {
    s.numerator.push_back(boxed[static_cast<size_t>(k)]);
    s.denominator.push_back(boxed[static_cast<size_t>(k - 1)]);
  }
  return s;
}

// Conditional probabilities known without lattice rules, of constraints
// 1 .. K.
Side exact_side(const std::vector<double>& conditional) {
  Side s;
  for (const double c : conditional) {
    s.numerator.push_back(Ref{-1, 0, c});
    s.denominator.push_back(Ref{});
  }
  return s;
}

// The conditionals of prefix probabilities 1, P1, P2, …
std::vector<double> conditionals_of(const std::vector<double>& probability) {
  std::vector<double> c;
  for (size_t k = 1; k < probability.size(); ++k) c.push_back(probability[k] / probability[k - 1]);
  return c;
}

// ---- combining the estimates -------------------------------------------------------

detail::Linearised linearised(const Side& s, Ref r) {
  detail::Linearised q;
  q.deviation.assign(integrate::kShifts, 0.0);
  if (r.integral < 0) {
    q.value = r.value;
    return q;
  }
  const integrate::Estimates& e = s.integrals[static_cast<size_t>(r.integral)].estimates;
  q.value = e.mean(r.output);
  if (q.value == 0.0) return q;
  for (int32_t k = 0; k < integrate::kShifts; ++k)
    q.deviation[static_cast<size_t>(k)] = e.per_shift[static_cast<size_t>(r.output * integrate::kShifts + k)] / q.value - 1.0;
  return q;
}

detail::Linearised combine(const detail::Linearised& a, const detail::Linearised& b, int sign) {
  detail::Linearised q = a;
  q.value = sign > 0 ? a.value * b.value : a.value / b.value;
  for (size_t k = 0; k < q.deviation.size(); ++k) q.deviation[k] += sign * b.deviation[k];
  return q;
}

// BFic = (TF/TC) / ((1 - TF)/(1 - TC)); to first order its relative
// deviation is δTF/(1 - TF) - δTC/(1 - TC).
detail::Linearised against_complement(const detail::Linearised& tf, const detail::Linearised& tc) {
  detail::Linearised q;
  q.value = (tf.value / tc.value) / ((1.0 - tf.value) / (1.0 - tc.value));
  q.deviation.assign(tf.deviation.size(), 0.0);
  for (size_t k = 0; k < q.deviation.size(); ++k) {
    const double d = tf.deviation[k] / (1.0 - tf.value) - tc.deviation[k] / (1.0 - tc.value);
    q.deviation[k] = std::isfinite(d) ? d : 0.0;
  }
  return q;
}

Probability probability_of(const Side& s, size_t k, const detail::Linearised& q, const detail::Replicator& rep) {
  Probability p;
  p.value = q.value;
  p.mc_error = std::fabs(q.value) * q.error();
  const Ref num = s.numerator[k];
  if (num.integral >= 0) p.points = s.integrals[static_cast<size_t>(num.integral)].estimates.points;
  p.replicates = rep.replicates(q);
  return p;
}

int64_t largest_rule(const Side& s) {
  int64_t n = 0;
  for (const Integral& i : s.integrals) n = std::max(n, i.estimates.points);
  return n;
}

struct Sides {
  Side fit, complexity;
};

// Whether every integral of a side came out the same under every shift
// (closed forms, rows needing no points).
bool exact(const Side& s) {
  for (const Integral& i : s.integrals)
    for (int32_t o = 0; o < i.estimates.outputs; ++o)
      if (i.estimates.error(o) != 0.0) return false;
  return true;
}

Sides integrate_sides(const Problem& problem, const Settings& settings) {
  const size_t npar = problem.means.size();
  RowSet theta;
  theta.dim = static_cast<int32_t>(npar);
  for (const Constraint& c : problem.constraints) theta.add(c.coefficients.data(), c.rhs);
  const bool boxed = settings.complexity_prior == ComplexityPrior::boxed;
  // Complexities of orders and signs counted; fits of a chain of orders
  // over independent estimates by one-dimensional recursion, to far below
  // any precision a Bayes factor is shown with; the rest integrated.
  const std::optional<std::vector<double>> orders = integrate::order_probabilities(theta);
  const double recursion_tolerance = std::min(1e-11, settings.precision * 1e-2);
  const std::optional<std::vector<double>> chain =
      integrate::chain_conditionals(theta, problem.means, problem.covariance, recursion_tolerance);
  // The error of BFia adds those of the integrals it rests on: the fit's
  // last one, and one (normal prior) or two (boxed) of the complexity's.
  const double integrals = (chain ? 0.0 : 1.0) + (orders ? 0.0 : boxed ? 2.0 : 1.0);
  const double target = settings.precision / std::sqrt(std::max(integrals, 1.0));
  // Standardised whether or not it is integrated: an indefinite covariance
  // is refused either way.
  const RowSet posterior = integrate::standardise(theta, problem.means, problem.covariance);
  Sides s;
  s.fit = chain ? exact_side(*chain) : prefix_side(posterior, Runner{settings, target, 1});
  const RowSet prior = integrate::standardise_isotropic(theta, kPriorSd);
  s.complexity = orders  ? exact_side(conditionals_of(*orders))
                 : boxed ? boxed_side(prior, Runner{settings, target, 2})
                         : prefix_side(prior, Runner{settings, target, 2});
  return s;
}

void check_precision(double precision) {
  if (!(precision > 0.0) || !std::isfinite(precision)) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", precision);
    throw Error(Status::usage, std::string("the precision must be a positive number, not ") + text);
  }
}

Result assemble(const Sides& s, const Settings& settings) {
  Result r;
  r.method = Method::integration;
  r.seed = settings.seed;
  // Quantities without spread have replicates equal to their value; when
  // all are such the deviates are not drawn.
  const bool none_spread = exact(s.fit) && exact(s.complexity);
  const detail::Replicator rep(settings.seed, none_spread ? 0 : integrate::kShifts);
  detail::Linearised tf = linearised(s.fit, Ref{}), tc = tf;
  for (size_t k = 0; k < s.fit.numerator.size(); ++k) {
    const detail::Linearised f = combine(linearised(s.fit, s.fit.numerator[k]), linearised(s.fit, s.fit.denominator[k]), -1);
    const detail::Linearised c = combine(linearised(s.complexity, s.complexity.numerator[k]),
                                         linearised(s.complexity, s.complexity.denominator[k]), -1);
    ConstraintResult cr;
    cr.fit = probability_of(s.fit, k, f, rep);
    cr.complexity = probability_of(s.complexity, k, c, rep);
    r.constraints.push_back(std::move(cr));
    tf = combine(tf, f, 1);
    tc = combine(tc, c, 1);
  }
  const detail::Linearised bf = combine(tf, tc, -1);
  const detail::Linearised bfc = against_complement(tf, tc);
  r.total_fit = tf.value;
  r.total_complexity = tc.value;
  r.bf_ia_replicates = rep.replicates(bf);
  r.bf_ic_replicates = rep.replicates(bfc);
  r.bf_ia = detail::estimate_of(bf, r.bf_ia_replicates);
  r.bf_ic = detail::estimate_of(bfc, r.bf_ic_replicates);
  r.bf_ic_infinite = r.total_fit == 1.0;
  const int64_t largest = std::max(largest_rule(s.fit), largest_rule(s.complexity));
  detail::integration_warnings(r, settings.precision, bf.error(), largest);
  return r;
}

}  // namespace

Result detail::integrate(const Problem& problem, const Settings& settings) {
  check_precision(settings.precision);
  try {
    const Sides s = integrate_sides(problem, settings);
    Result r = assemble(s, settings);
    for (size_t k = 0; k < r.constraints.size(); ++k) r.constraints[k].row = problem.constraints[k];
    integration_console(r, settings);
    r.report = integration_report(r);
    return r;
  } catch (const std::domain_error& e) {
    throw Error(Status::usage, e.what());
  } catch (const Cancelled&) {
    textio::Console console(settings.console);
    console.write_message_line(kCancelled);
    throw Error(Status::cancelled, console.message(), console.text());
  } catch (const std::bad_alloc&) {
    throw Error(Status::io_error, detail::kNoMemory);
  }
}

}  // namespace ineqbf
