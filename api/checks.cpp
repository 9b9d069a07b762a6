// The checks made before an analysis (the covariance matrix, the rows) and
// the notes on values that are not finite after it.
#include "api/checks.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "api/internal.h"
#include "numlib/float_environment.h"

namespace ineqbf {

namespace {

// At most this many warnings about the pairs of the covariance matrix, then
// how many more there are.
constexpr size_t kMaxPairs = 5;

// The shortest text that reads back to the same float.
std::string shortest(float v) { return number_text(v); }

std::string number(double v) { return detail::number_text(v); }

Warning plain(std::string message) {
  Warning w;
  w.message = std::move(message);
  return w;
}

float single(double v) { return static_cast<float>(v); }

std::vector<double> singles(const std::vector<double>& v) {
  std::vector<double> out;
  out.reserve(v.size());
  for (double x : v) out.push_back(single(x));
  return out;
}

bool finite(const Estimate& e) {
  return std::isfinite(e.value) && std::isfinite(e.mc_error) && std::isfinite(e.lower) && std::isfinite(e.upper);
}

// "BFia is inf", "the MC error of BFic is nan", …: the first part of an
// estimate that is not finite.
std::string not_finite_part(const Estimate& e, const std::string& name) {
  if (!std::isfinite(e.value)) return name + " is " + number(e.value);
  if (!std::isfinite(e.mc_error)) return "the MC error of " + name + " is " + number(e.mc_error);
  if (!std::isfinite(e.lower)) return "the 2.5 percentile of " + name + " is " + number(e.lower);
  return "the 97.5 percentile of " + name + " is " + number(e.upper);
}

// The first constraint whose complexity (or one of its replicates) is 0.
std::string zero_complexity_cause(const Result& r) {
  for (size_t k = 0; k < r.constraints.size(); ++k)
    if (r.constraints[k].complexity.value == 0.0)
      return "the complexity of constraint " + std::to_string(k + 1) +
             " is 0: no draw of the prior met the constraint";
  for (size_t k = 0; k < r.constraints.size(); ++k)
    for (double v : r.constraints[k].complexity.replicates)
      if (v == 0.0)
        return "a replicate of the complexity of constraint " + std::to_string(k + 1) +
               " is 0: few draws of the prior met the constraint";
  return "its replicates divide by a complexity of 0";
}

std::string bfic_cause(const Result& r) {
  if (r.constraints.empty()) return "there are no constraints, so the hypothesis has no complement";
  if (r.total_fit == 1.0)
    return "the total fit is 1: no draw of the posterior fell outside the hypothesis, so its complement "
           "has no support";
  if (r.total_complexity == 1.0) return "the total complexity is 1: the complement has no prior support";
  if (!finite(r.bf_ia)) return "BFia is not finite";
  return "some replicates of the total fit are 1 or of the total complexity 0";
}

}  // namespace

std::string detail::number_text(double v) {
  if (std::isnan(v)) return "nan";  // whatever its sign bit
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

std::vector<std::string> detail::names_of(const Problem& p) {
  return p.names.empty() ? default_names(p.parameters()) : p.names;
}

Constraint detail::rounded_row(const Constraint& row) {
  return {singles(row.coefficients), single(row.rhs)};
}

Problem detail::rounded_problem(const Problem& p) {
  Problem q = p;
  q.means = singles(p.means);
  q.covariance = singles(p.covariance);
  for (Constraint& row : q.constraints) row = rounded_row(row);
  return q;
}

std::vector<Warning> detail::asymmetry_warnings(const Problem& p) {
  // Elements are compared as single precision holds them: the Gibbs method
  // computes from those, and differences below their resolution are the
  // rounding of a matrix computed as symmetric, not an asymmetry.
  const size_t n = p.means.size();
  std::vector<Warning> out;
  size_t more = 0;
  if (p.covariance.size() != n * n) return out;
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j) {
      const float a = single(p.covariance[i * n + j]), b = single(p.covariance[j * n + i]);
      if (a == b) continue;
      if (out.size() == kMaxPairs) {
        ++more;
        continue;
      }
      out.push_back(plain("the covariance matrix is not symmetric: element (" + std::to_string(i + 1) + ", " +
                          std::to_string(j + 1) + ") is " + shortest(a) + " but (" + std::to_string(j + 1) +
                          ", " + std::to_string(i + 1) + ") is " + shortest(b)));
    }
  if (more > 0) out.push_back(plain("and " + std::to_string(more) + " more pairs that differ"));
  return out;
}

std::vector<Warning> detail::not_finite_warnings(const Result& r) {
  std::vector<Warning> out;
  // Integration says itself which fit or complexity is 0 and what that
  // makes of the Bayes factors; it is not said twice.
  for (const Warning& w : r.warnings)
    if (r.method == Method::integration && (w.quantity == "fit" || w.quantity == "complexity") && w.value <= 0.0)
      return out;
  if (!finite(r.bf_ia)) out.push_back(plain(not_finite_part(r.bf_ia, "BFia") + ": " + zero_complexity_cause(r)));
  if (!finite(r.bf_ic)) out.push_back(plain(not_finite_part(r.bf_ic, "BFic") + ": " + bfic_cause(r)));
  return out;
}

void detail::note_not_finite(Comparison& c) {
  const size_t n = c.results.size();
  auto add = [&](size_t h, std::string message) { c.results[h].warnings.push_back(plain(std::move(message))); };
  for (size_t j = 0; j < n; ++j) {
    // A hypothesis of BFia 0 (or not finite) makes the Bayes factors against
    // it infinite (or not numbers): one note on it, not one per pair.
    bool against = false;
    for (size_t i = 0; i < n && j < c.bayes_factors.size(); ++i) against = against || !finite(c.bayes_factors[i][j]);
    if (!against) continue;
    const double bf = c.results[j].bf_ia.value;
    add(j, "the Bayes factors of other hypotheses against hypothesis " + std::to_string(j + 1) +
               " are not finite: its BFia is " + number(bf) +
               (bf == 0.0 ? " (a fit of 0: no draw of the posterior met its constraints)" : ""));
  }
  auto posterior_note = [&](const std::vector<Estimate>& pmp, const std::string& which) {
    for (size_t h = 0; h < pmp.size() && h < n; ++h) {
      if (finite(pmp[h])) continue;
      add(h, not_finite_part(pmp[h], "the posterior model probability " + which) +
                 ": the BFia of every hypothesis is 0, or that of one is not finite");
    }
  };
  posterior_note(c.posterior, "over the hypotheses");
  posterior_note(c.posterior_with_unconstrained, "with the unconstrained hypothesis");
}

void detail::refuse_conflicting(const Hypothesis& h, size_t index, const std::vector<std::string>& names) {
  const RowsVerdict v = judge_rows(h.constraints);
  if (v.conflicting.empty()) return;
  const std::string which =
      "hypothesis " + std::to_string(index + 1) + (h.text.empty() ? std::string() : " (" + h.text + ")");
  throw Error(Status::usage, which + ": " + conflict_message(h.constraints, v.conflicting, names));
}

void check_hypotheses(const Problem& problem, const std::vector<Hypothesis>& hypotheses, const Settings& settings) {
  numlib::DefaultFloatEnvironment in_default;
  // Judged on the rows as the method computes with them.
  const std::vector<std::string> names = detail::names_of(problem);
  for (size_t h = 0; h < hypotheses.size(); ++h) {
    Hypothesis as_used = hypotheses[h];
    if (settings.method == Method::gibbs)
      for (Constraint& row : as_used.constraints) row = detail::rounded_row(row);
    detail::refuse_conflicting(as_used, h, names);
  }
}

std::vector<Warning> check(const Problem& problem, const Settings& settings) {
  numlib::DefaultFloatEnvironment in_default;
  const bool gibbs = settings.method == Method::gibbs;
  detail::check_problem(problem);
  // The Gibbs method computes from the values rounded to single precision.
  const Problem p = gibbs ? detail::rounded_problem(problem) : problem;
  const std::vector<std::string> names = detail::names_of(p);
  std::vector<Warning> out = detail::asymmetry_warnings(problem);
  if (gibbs) {
    // A matrix that is not positive definite is the run's to refuse: it
    // inverts the matrix and stops where it is singular or indefinite.
    const std::optional<double> kappa = detail::correlation_condition(p);
    if (kappa && std::isfinite(*kappa) && *kappa > detail::kSingleConditionLimit)
      out.push_back(plain(
          "the covariance matrix is too ill-conditioned for single precision: its correlation matrix has "
          "condition number " + number(*kappa) + ", beyond 1/FLT_EPSILON = 8.4e+06, so the Gibbs method may "
          "give wrong numbers; use --method integration (method = \"integration\" in R and Python)"));
  }
  const detail::RowsVerdict v = detail::judge_rows(p.constraints);
  if (!v.conflicting.empty()) {
    const std::string message = detail::conflict_message(p.constraints, v.conflicting, names);
    if (!gibbs) throw Error(Status::usage, message);
    out.push_back(plain(message));
  }
  if (!v.bounding.empty()) out.push_back(plain(detail::bounded_message(p.constraints, v.bounding, names)));
  return out;
}

}  // namespace ineqbf
