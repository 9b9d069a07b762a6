// The R binding of the ineqbf library: problems from R vectors, hypotheses
// parsed over R's parameter names, analyses that R's interrupt can stop and
// that report their progress to an R function, and results as plain R
// lists that the R code dresses as an "ineqbf" object.
//
// No R error may jump over a C++ frame: every call into R made while the
// engine runs goes through R_ToplevelExec, and an engine error comes back
// as a list (error = TRUE, status, message, console) for the R side to
// signal as a classed condition. An interrupt is signalled again by Rcpp
// once every C++ object of the analysis is gone.
#include <Rcpp.h>
#include <R_ext/Utils.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "ineqbf/ineqbf.h"

namespace {

using Rcpp::List;
using Rcpp::Named;
using Rcpp::NumericMatrix;
using Rcpp::NumericVector;

// ---- R callbacks while the engine runs --------------------------------------------

void check_interrupt(void*) { R_CheckUserInterrupt(); }

struct ProgressCall {
  SEXP function;
  double value;
};

void call_progress(void* data) {
  const auto* p = static_cast<const ProgressCall*>(data);
  SEXP value = PROTECT(Rf_ScalarReal(p->value));
  SEXP call = PROTECT(Rf_lang2(p->function, value));
  Rf_eval(call, R_GlobalEnv);
  UNPROTECT(2);
}

// The progress of a run of several hypotheses as a fraction of its chains:
// each constraint has a fit and a complexity sampler, and the current chain
// counts by the share of its sweeps done. A chain that is redone longer
// (the iteration ladder) starts its share again; the fraction shown never
// goes back. R is called from R's own thread only: a report or a poll from
// another thread of the engine is skipped (it polls again soon).
class Watch {
 public:
  // steps_before[h]: the samplers of the hypotheses before hypothesis h (2
  // per constraint); the last element is those of the whole run.
  Watch(SEXP progress, std::vector<int64_t> steps_before)
      : progress_(progress), steps_before_(std::move(steps_before)) {}

  ineqbf::Settings settings(int32_t seed) {
    ineqbf::Settings s;
    s.seed = seed;
    s.cancel = [this] { return poll(); };
    if (!Rf_isNull(progress_))
      s.progress = [this](const ineqbf::Progress& p) { report(p); };
    return s;
  }

  bool interrupted() const { return interrupted_; }

 private:
  bool on_r_thread() const { return std::this_thread::get_id() == r_thread_; }

  bool poll() {
    if (!interrupted_ && on_r_thread() && !R_ToplevelExec(check_interrupt, nullptr)) interrupted_ = true;
    return interrupted_;
  }

  void report(const ineqbf::Progress& p) {
    if (interrupted_ || !on_r_thread()) return;
    const size_t last = steps_before_.size() >= 2 ? steps_before_.size() - 2 : 0;
    const size_t h = std::min(static_cast<size_t>(std::max(p.hypothesis, 0)), last);
    const int64_t steps = steps_before_.back();
    const int64_t key = steps_before_[h] + 2 * int64_t{std::max(p.constraint - 1, 0)} +
                        (p.sampler == ineqbf::Sampler::complexity);
    const double chain = p.sweeps_total > 0 ? double(p.sweeps_done) / double(p.sweeps_total) : 1.0;
    const double fraction = steps > 0 ? std::min(1.0, (double(key) + chain) / double(steps)) : 1.0;
    if (fraction <= shown_) return;
    shown_ = fraction;
    ProgressCall call{progress_, fraction};
    if (!R_ToplevelExec(call_progress, &call)) interrupted_ = true;
  }

  SEXP progress_;
  std::vector<int64_t> steps_before_;
  std::thread::id r_thread_ = std::this_thread::get_id();
  double shown_ = 0.0;
  bool interrupted_ = false;
};

// ---- conversions ------------------------------------------------------------------

List error_list(const ineqbf::Error& e) {
  return List::create(Named("error") = true, Named("status") = e.status(),
                      Named("message") = e.message(), Named("console") = e.console());
}

// A caller's value as the error the engine would give for a malformed
// request.
[[noreturn]] void usage(const std::string& message) { throw ineqbf::Error(ineqbf::status_usage, message); }

std::vector<std::string> strings(const Rcpp::CharacterVector& v) {
  std::vector<std::string> out;
  out.reserve(v.size());
  for (R_xlen_t i = 0; i < v.size(); ++i) out.emplace_back(Rcpp::as<std::string>(v[i]));
  return out;
}

std::vector<ineqbf::Constraint> rows_of(const NumericMatrix& m) {
  std::vector<ineqbf::Constraint> rows(static_cast<size_t>(m.nrow()));
  const int npar = m.ncol() - 1;
  for (int i = 0; i < m.nrow(); ++i) {
    for (int j = 0; j < npar; ++j) rows[i].coefficients.push_back(m(i, j));
    rows[i].rhs = m(i, npar);
  }
  return rows;
}

NumericMatrix matrix_of(const std::vector<ineqbf::Constraint>& rows, int npar) {
  NumericMatrix m(static_cast<int>(rows.size()), npar + 1);
  for (size_t i = 0; i < rows.size(); ++i) {
    for (int j = 0; j < npar; ++j) m(i, j) = rows[i].coefficients[j];
    m(i, npar) = rows[i].rhs;
  }
  return m;
}

NumericVector estimate(const ineqbf::Estimate& e) {
  return NumericVector::create(e.value, e.mc_error, e.lower, e.upper);
}

NumericVector floats(const std::vector<double>& v) { return NumericVector(v.begin(), v.end()); }

const char* method_name(ineqbf::Method m) { return m == ineqbf::Method::integration ? "integration" : "gibbs"; }

ineqbf::Method method_of(const std::string& name) {
  if (name == "gibbs") return ineqbf::Method::gibbs;
  if (name == "integration") return ineqbf::Method::integration;
  usage("the method must be \"integration\" or \"gibbs\", not \"" + name + "\"");
}

// The warnings of a result as columns (message, quantity, constraint,
// value, integrated), for the R side to show and keep.
List warning_list(const std::vector<ineqbf::Warning>& ws) {
  const size_t n = ws.size();
  Rcpp::CharacterVector message(n), quantity(n);
  Rcpp::IntegerVector constraint(n);
  NumericVector value(n), integrated(n);
  for (size_t i = 0; i < n; ++i) {
    message[i] = ws[i].message;
    quantity[i] = ws[i].quantity;
    constraint[i] = ws[i].constraint;
    value[i] = ws[i].value;
    integrated[i] = ws[i].integrated;
  }
  return List::create(Named("message") = message, Named("quantity") = quantity,
                      Named("constraint") = constraint, Named("value") = value,
                      Named("integrated") = integrated);
}

// Per constraint: the row as text, fit and complexity with their MC errors,
// hits and iterations (Gibbs) and points (integration).
List constraint_columns(const std::vector<ineqbf::ConstraintResult>& cs,
                        const std::vector<std::string>& names) {
  const size_t n = cs.size();
  Rcpp::CharacterVector text(n);
  NumericVector fit(n), complexity(n), fit_error(n), complexity_error(n);
  Rcpp::IntegerVector fit_hits(n), complexity_hits(n), fit_iterations(n), complexity_iterations(n);
  NumericVector fit_points(n), complexity_points(n);
  for (size_t k = 0; k < n; ++k) {
    const ineqbf::ConstraintResult& c = cs[k];
    text[k] = ineqbf::constraint_text(c.row, names);
    fit[k] = c.fit.value;
    complexity[k] = c.complexity.value;
    fit_error[k] = c.fit.mc_error;
    complexity_error[k] = c.complexity.mc_error;
    fit_hits[k] = static_cast<int>(c.fit.hits);
    complexity_hits[k] = static_cast<int>(c.complexity.hits);
    fit_iterations[k] = static_cast<int>(c.fit.iterations);
    complexity_iterations[k] = static_cast<int>(c.complexity.iterations);
    fit_points[k] = static_cast<double>(c.fit.points);
    complexity_points[k] = static_cast<double>(c.complexity.points);
  }
  return List::create(
      Named("text") = text, Named("fit") = fit, Named("complexity") = complexity,
      Named("fit_error") = fit_error, Named("complexity_error") = complexity_error,
      Named("fit_hits") = fit_hits, Named("complexity_hits") = complexity_hits,
      Named("fit_iterations") = fit_iterations, Named("complexity_iterations") = complexity_iterations,
      Named("fit_points") = fit_points, Named("complexity_points") = complexity_points);
}

List result_list(const ineqbf::Result& r, const std::vector<std::string>& names) {
  std::vector<ineqbf::Constraint> rows;
  for (const ineqbf::ConstraintResult& c : r.constraints) rows.push_back(c.row);
  return List::create(
      Named("method") = method_name(r.method),
      Named("rows") = matrix_of(rows, static_cast<int>(names.size())),
      Named("constraints") = constraint_columns(r.constraints, names),
      Named("total_fit") = r.total_fit, Named("total_complexity") = r.total_complexity,
      Named("bf_ia") = estimate(r.bf_ia), Named("bf_ic") = estimate(r.bf_ic),
      Named("bf_ic_infinite") = r.bf_ic_infinite, Named("bf_ia_replicates") = floats(r.bf_ia_replicates),
      Named("bf_ic_replicates") = floats(r.bf_ic_replicates),
      Named("warnings") = warning_list(r.warnings), Named("report") = r.report,
      Named("console") = r.console, Named("seed") = r.seed);
}

// An n × n × 4 array (value, MC error, 2.5 and 97.5 percentiles) of the
// Bayes factors between hypotheses.
NumericVector bayes_factor_array(const std::vector<std::vector<ineqbf::Estimate>>& bf) {
  const int n = static_cast<int>(bf.size());
  NumericVector a(static_cast<R_xlen_t>(n) * n * 4);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const ineqbf::Estimate& e = bf[i][j];
      const double parts[4] = {e.value, e.mc_error, e.lower, e.upper};
      for (int q = 0; q < 4; ++q) a[i + n * j + n * n * q] = parts[q];
    }
  a.attr("dim") = Rcpp::IntegerVector::create(n, n, 4);
  return a;
}

NumericMatrix estimate_matrix(const std::vector<ineqbf::Estimate>& v) {
  NumericMatrix m(static_cast<int>(v.size()), 4);
  for (size_t i = 0; i < v.size(); ++i) {
    m(i, 0) = v[i].value;
    m(i, 1) = v[i].mc_error;
    m(i, 2) = v[i].lower;
    m(i, 3) = v[i].upper;
  }
  return m;
}

ineqbf::Problem problem_of(const NumericVector& means, const NumericMatrix& covariance,
                           const std::vector<std::string>& names) {
  ineqbf::Problem p;
  p.means.assign(means.begin(), means.end());
  const int npar = static_cast<int>(means.size());
  if (covariance.nrow() != npar || covariance.ncol() != npar)
    usage("the covariance matrix is " + std::to_string(covariance.nrow()) + " x " +
          std::to_string(covariance.ncol()) + "; " + std::to_string(npar) + " estimates need " +
          std::to_string(npar) + " x " + std::to_string(npar));
  for (int i = 0; i < npar; ++i)
    for (int j = 0; j < npar; ++j) p.covariance.push_back(covariance(i, j));
  p.names = names;
  return p;
}

// The parser lists the parameters it knows when a name is unknown; the
// aliases are other spellings of the same parameters, so the list names
// each parameter once, as the result does.
ineqbf::Error without_aliases(const ineqbf::Error& e, const std::vector<std::string>& names) {
  static constexpr std::string_view list = "; parameters are ";
  const size_t at = e.message().find(list);
  if (at == std::string::npos) return e;
  std::string message = e.message().substr(0, at + list.size());
  for (size_t i = 0; i < names.size(); ++i) message += (i ? ", " : "") + names[i];
  return ineqbf::Error(e.status(), message, e.console());
}

}  // namespace

// Parses hypotheses over the parameters `names` and, where a name had to be
// changed to be written bare, also over its original spelling (`aliases`,
// the original of parameter alias_of[i], 1-based): the rows over the
// aliases are added to those of the parameters they stand for. Returns a
// list of hypotheses (text, rows) or an error list.
// [[Rcpp::export(.parse, rng = false)]]
List parse_hypotheses(std::string text, Rcpp::CharacterVector names, Rcpp::CharacterVector aliases,
                      Rcpp::IntegerVector alias_of) {
  try {
    std::vector<std::string> all = strings(names);
    const size_t npar = all.size();
    for (const std::string& a : strings(aliases)) all.push_back(a);
    std::vector<ineqbf::Hypothesis> hs = ineqbf::parse_hypotheses(text, all);
    List out(hs.size());
    for (size_t h = 0; h < hs.size(); ++h) {
      std::vector<ineqbf::Constraint>& rows = hs[h].constraints;
      for (size_t k = 0; k < rows.size(); ++k) {
        std::vector<double>& c = rows[k].coefficients;
        for (size_t a = 0; a < c.size() - npar; ++a) c[alias_of[a] - 1] += c[npar + a];
        c.resize(npar);
        // A parameter less its own alias is no constraint.
        if (std::all_of(c.begin(), c.end(), [](double v) { return static_cast<float>(v) == 0.0f; }))
          usage("constraint " + std::to_string(k + 1) + " of hypothesis \"" + hs[h].text +
                "\" involves no parameter");
      }
      out[h] = List::create(Named("text") = hs[h].text,
                            Named("rows") = matrix_of(rows, static_cast<int>(npar)));
    }
    return List::create(Named("error") = false, Named("hypotheses") = out);
  } catch (const ineqbf::Error& e) {
    return error_list(without_aliases(e, strings(names)));
  }
}

// Analyses hypotheses (a list of lists with text and rows) over the
// estimates and their covariance matrix, then compares them.
// [[Rcpp::export(.analyse, rng = false)]]
List analyse_hypotheses(NumericVector means, NumericMatrix covariance, Rcpp::CharacterVector names,
                        List hypotheses, int seed, SEXP progress, std::string method, double precision,
                        NumericVector prior) {
  List out;
  bool interrupted = false;
  {
    try {
      const std::vector<std::string> name_list = strings(names);
      const ineqbf::Problem problem = problem_of(means, covariance, name_list);
      std::vector<ineqbf::Hypothesis> hs;
      std::vector<int64_t> steps_before{0};
      for (R_xlen_t h = 0; h < hypotheses.size(); ++h) {
        const List one = hypotheses[h];
        ineqbf::Hypothesis hyp;
        hyp.text = Rcpp::as<std::string>(one["text"]);
        const NumericMatrix rows = one["rows"];
        if (rows.ncol() != static_cast<int>(means.size()) + 1)
          usage("the rows of hypothesis " + std::to_string(h + 1) + " have " +
                std::to_string(rows.ncol()) + " columns; " + std::to_string(means.size()) +
                " parameters need " + std::to_string(means.size() + 1) +
                " (the coefficients, then the right-hand side)");
        hyp.constraints = rows_of(rows);
        steps_before.push_back(steps_before.back() + 2 * static_cast<int64_t>(hyp.constraints.size()));
        hs.push_back(std::move(hyp));
      }
      Watch watch(progress, std::move(steps_before));
      ineqbf::Settings settings = watch.settings(seed);
      settings.method = method_of(method);
      settings.precision = precision;
      settings.prior.assign(prior.begin(), prior.end());
      const ineqbf::Comparison c = ineqbf::analyse(problem, hs, settings);
      interrupted = watch.interrupted();
      List results(c.results.size());
      for (size_t h = 0; h < c.results.size(); ++h) results[h] = result_list(c.results[h], name_list);
      out = List::create(Named("error") = false, Named("results") = results,
                         Named("bayes_factors") = bayes_factor_array(c.bayes_factors),
                         Named("posterior") = estimate_matrix(c.posterior),
                         Named("posterior_with_unconstrained") = estimate_matrix(c.posterior_with_unconstrained));
    } catch (const ineqbf::Error& e) {
      interrupted = e.status() == ineqbf::status_cancelled;
      if (!interrupted) out = error_list(e);
    }
  }
  if (interrupted) throw Rcpp::internal::InterruptedException();
  return out;
}

// A file in the Input.txt format (or a folder holding one), read and
// analysed as the program does.
// [[Rcpp::export(.analyse_file, rng = false)]]
List analyse_file(std::string path, int seed, SEXP progress) {
  List out;
  bool interrupted = false;
  {
    try {
      const ineqbf::Problem problem = ineqbf::read_problem(path);
      Watch watch(progress, {0, 2 * static_cast<int64_t>(problem.constraints.size())});
      const ineqbf::Result r = ineqbf::analyse(problem, watch.settings(seed));
      interrupted = watch.interrupted();
      out = List::create(Named("error") = false,
                         Named("result") = result_list(r, ineqbf::default_names(problem.parameters())),
                         Named("means") = NumericVector(problem.means.begin(), problem.means.end()),
                         Named("covariance") = NumericVector(problem.covariance.begin(), problem.covariance.end()));
    } catch (const ineqbf::Error& e) {
      interrupted = e.status() == ineqbf::status_cancelled;
      if (!interrupted) out = error_list(e);
    }
  }
  if (interrupted) throw Rcpp::internal::InterruptedException();
  return out;
}

// [[Rcpp::export(.version, rng = false)]]
std::string engine_version() { return std::string(ineqbf::version()); }
