// ineqbf/fields.h: the fields of a result, listed once for every door that
// hands results on (the command line's JSON, the R and Python packages).
//
// visit_fields(x, v) calls v(name, value) for each field of x, in the order
// the doors show them. A door writes one visitor with an overload per kind
// of value, so that a field added here reaches every door:
//
//   double            a number of the result (for Gibbs a single-precision
//                     number held exactly in double)
//   int64_t, int32_t  a count, a constraint number, a seed
//   bool              a flag
//   std::string       a text (a warning's message, …)
//   Method            the method that computed the result
//   Constraint        a constraint row (the door writes it, as text over the
//                     parameter names and as numbers, as it likes)
//   Estimate          an estimate; its own fields again through visit_fields
//   Replicates        the replicates of a quantity, in the order drawn
//   Output            the console or report bytes (CR LF line ends)
//   const std::vector<ConstraintResult>&, const std::vector<Warning>&,
//   const std::vector<Estimate>&, const std::vector<std::vector<Estimate>>&
//                     lists of the above
//
// Names are the library's own, the same in every door; a door keeps the
// spelling it has always published for a few of them (the JSON writes the
// percentiles as percentile_2_5 and percentile_97_5, R writes an MC error
// as "error"), each door by one table of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ineqbf/ineqbf.h"

namespace ineqbf {

// The replicates of a quantity (1000 Beta or log-normal replicates), which
// a door may leave out of a compact form.
struct Replicates {
  const std::vector<double>& values;
};

// The console or report bytes of an analysis.
struct Output {
  const std::string& bytes;
};

// ---- names of the vocabulary ------------------------------------------------

constexpr std::string_view name_of(Method m) { return m == Method::integration ? "integration" : "gibbs"; }

// "gibbs" or "integration" as a Method; false, leaving `m` as it was, for
// any other text.
constexpr bool method_named(std::string_view text, Method& m) {
  for (const Method candidate : {Method::gibbs, Method::integration})
    if (text == name_of(candidate)) {
      m = candidate;
      return true;
    }
  return false;
}

// ---- the fields ----------------------------------------------------------------

template <class V>
void visit_fields(const Estimate& e, V&& v) {
  v("value", e.value);
  v("mc_error", e.mc_error);
  v("lower", e.lower);  // 2.5 percentile of the replicates
  v("upper", e.upper);  // 97.5 percentile
}

template <class V>
void visit_fields(const Warning& w, V&& v) {
  v("message", w.message);
  v("quantity", w.quantity);
  v("constraint", w.constraint);
  v("value", w.value);
  v("integrated", w.integrated);
}

// A constraint's fit and complexity are one struct twice: each field of
// Probability comes as "fit<suffix>" and "complexity<suffix>", side by side.
template <class V>
void visit_fields(const ConstraintResult& c, V&& v) {
  v("row", c.row);
  const auto both = [&](std::string_view suffix, const auto& of) {
    v(std::string("fit").append(suffix), of(c.fit));
    v(std::string("complexity").append(suffix), of(c.complexity));
  };
  both("", [](const Probability& p) { return p.value; });
  both("_mc_error", [](const Probability& p) { return p.mc_error; });
  both("_hits", [](const Probability& p) { return p.hits; });
  both("_iterations", [](const Probability& p) { return p.iterations; });
  both("_points", [](const Probability& p) { return p.points; });
  both("_replicates", [](const Probability& p) { return Replicates{p.replicates}; });
}

template <class V>
void visit_fields(const Result& r, V&& v) {
  v("method", r.method);
  v("constraints", r.constraints);
  v("total_fit", r.total_fit);
  v("total_complexity", r.total_complexity);
  v("bf_ia", r.bf_ia);
  v("bf_ic", r.bf_ic);
  v("bf_ic_infinite", r.bf_ic_infinite);
  v("warnings", r.warnings);
  v("bf_ia_replicates", Replicates{r.bf_ia_replicates});
  v("bf_ic_replicates", Replicates{r.bf_ic_replicates});
  v("seed", r.seed);
  v("console", Output{r.console});
  v("report", Output{r.report});
}

// The comparison's own fields; its hypotheses and results are the doors'
// to lay out (each result through visit_fields).
template <class V>
void visit_fields(const Comparison& c, V&& v) {
  v("bayes_factors", c.bayes_factors);
  v("posterior", c.posterior);
  v("posterior_with_unconstrained", c.posterior_with_unconstrained);
}

}  // namespace ineqbf
