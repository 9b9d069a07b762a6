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
#include <type_traits>
#include <utility>
#include <vector>

#include "ineqbf/fields.h"
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
  return List::create(Named("error") = true, Named("status") = ineqbf::exit_code(e.status()),
                      Named("message") = e.message(), Named("console") = e.console());
}

// A caller's value as the error the engine would give for a malformed
// request.
[[noreturn]] void usage(const std::string& message) { throw ineqbf::Error(ineqbf::Status::usage, message); }

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

NumericVector floats(const std::vector<double>& v) { return NumericVector(v.begin(), v.end()); }

ineqbf::Method method_of(const std::string& name) {
  ineqbf::Method m{};
  if (!ineqbf::method_named(name, m)) usage("the method must be \"gibbs\" or \"integration\", not \"" + name + "\"");
  return m;
}

// R names a Monte Carlo error "error", as its tables always have; every
// other field keeps the library's name (ineqbf/fields.h).
std::string r_name(std::string_view name) {
  std::string s(name);
  const size_t at = s.find("mc_error");
  if (at != std::string::npos) s.replace(at, 8, "error");
  return s;
}

// An estimate as a named numeric vector: value, error, lower, upper.
NumericVector estimate(const ineqbf::Estimate& e) {
  std::vector<double> values;
  Rcpp::CharacterVector names;
  ineqbf::visit_fields(e, [&](std::string_view name, double x) {
    values.push_back(x);
    names.push_back(r_name(name));
  });
  NumericVector v(values.begin(), values.end());
  v.attr("names") = names;
  return v;
}

// The number of fields of an estimate.
int estimate_fields() {
  int n = 0;
  ineqbf::visit_fields(ineqbf::Estimate{}, [&](std::string_view, double) { ++n; });
  return n;
}

// Estimates as a matrix, one row each, and a matrix of them as an
// n x n x 4 array (the value, error, lower and upper as the third index).
NumericMatrix estimate_matrix(const std::vector<ineqbf::Estimate>& list) {
  NumericMatrix m(static_cast<int>(list.size()), estimate_fields());
  for (size_t i = 0; i < list.size(); ++i) {
    int q = 0;
    ineqbf::visit_fields(list[i], [&](std::string_view, double x) { m(static_cast<int>(i), q++) = x; });
  }
  return m;
}

NumericVector estimate_array(const std::vector<std::vector<ineqbf::Estimate>>& bf) {
  const int n = static_cast<int>(bf.size());
  const int fields = estimate_fields();
  NumericVector a(static_cast<R_xlen_t>(n) * n * fields);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      int q = 0;
      ineqbf::visit_fields(bf[i][j], [&](std::string_view, double x) { a[i + n * j + n * n * q++] = x; });
    }
  a.attr("dim") = Rcpp::IntegerVector::create(n, n, fields);
  return a;
}

// The items of a list (constraints, warnings) as the columns of a data
// frame, one per field: numbers and counts as numeric (R has no 64-bit
// integer), constraint numbers as integer, a row as its text. Replicates
// stay out of a table.
class Columns {
 public:
  template <class Item>
  static List of(const std::vector<Item>& items, const std::vector<std::string>& names) {
    Columns c(names);
    const Item blank{};
    c.row(blank, false);  // the columns, even of no items
    for (const Item& item : items) c.row(item, true);
    List out(c.columns_.size());
    Rcpp::CharacterVector labels(c.columns_.size());
    for (size_t i = 0; i < c.columns_.size(); ++i) {
      out[i] = c.columns_[i].values();
      labels[i] = c.columns_[i].name;
    }
    out.attr("names") = labels;
    return out;
  }

  template <class T>
  void operator()(std::string_view name, const T& value) {
    if constexpr (!std::is_same_v<T, ineqbf::Replicates>) {
      if (at_ == columns_.size()) columns_.push_back({r_name(name == "row" ? "text" : name), kind_of(value), {}, {}, {}});
      if (keep_) add(columns_[at_], value);
      ++at_;
    }
  }

 private:
  enum class Kind { number, integer, flag, text };
  struct Column {
    std::string name;
    Kind kind;
    std::vector<double> numbers;
    std::vector<int> integers;  // also the flags
    std::vector<std::string> texts;

    SEXP values() const {
      switch (kind) {
        case Kind::integer: return Rcpp::wrap(integers);
        case Kind::flag: return Rcpp::LogicalVector(integers.begin(), integers.end());
        case Kind::text: return Rcpp::wrap(texts);
        default: return Rcpp::wrap(numbers);
      }
    }
  };
  explicit Columns(const std::vector<std::string>& names) : names_(names) {}

  template <class Item>
  void row(const Item& item, bool keep) {
    at_ = 0;
    keep_ = keep;
    ineqbf::visit_fields(item, *this);
  }
  template <class T>
  static Kind kind_of(const T&) {
    if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, ineqbf::Constraint>) return Kind::text;
    else if constexpr (std::is_same_v<T, int32_t>) return Kind::integer;
    else if constexpr (std::is_same_v<T, bool>) return Kind::flag;
    else return Kind::number;
  }
  void add(Column& c, const ineqbf::Constraint& row) const { c.texts.push_back(ineqbf::constraint_text(row, names_)); }
  void add(Column& c, const std::string& text) const { c.texts.push_back(text); }
  void add(Column& c, int32_t n) const { c.integers.push_back(n); }
  void add(Column& c, bool b) const { c.integers.push_back(b ? 1 : 0); }
  void add(Column& c, int64_t n) const { c.numbers.push_back(static_cast<double>(n)); }
  void add(Column& c, double x) const { c.numbers.push_back(x); }

  const std::vector<std::string>& names_;
  std::vector<Column> columns_;
  size_t at_ = 0;
  bool keep_ = false;
};

// A result as a named list, a field each (ineqbf/fields.h): the rows as a
// matrix and the constraints as columns, estimates as named vectors.
class ResultList {
 public:
  explicit ResultList(const std::vector<std::string>& names) : names_(names) {}

  template <class T>
  void operator()(std::string_view name, const T& value) {
    add(r_name(name), value);
  }
  List list() const {
    List out(values_.size());
    Rcpp::CharacterVector labels(values_.size());
    for (size_t i = 0; i < values_.size(); ++i) {
      out[i] = values_[i];
      labels[i] = labels_[i];
    }
    out.attr("names") = labels;
    return out;
  }
  void put(std::string name, SEXP value) {
    labels_.push_back(std::move(name));
    values_.push_back(Rcpp::RObject(value));
  }

 private:
  void add(std::string name, ineqbf::Method m) { put(std::move(name), Rcpp::wrap(std::string(ineqbf::name_of(m)))); }
  void add(std::string name, const ineqbf::Estimate& e) { put(std::move(name), estimate(e)); }
  void add(std::string name, ineqbf::Replicates r) { put(std::move(name), floats(r.values)); }
  void add(std::string name, ineqbf::Output o) { put(std::move(name), Rcpp::wrap(o.bytes)); }
  void add(std::string name, const std::vector<ineqbf::ConstraintResult>& cs) {
    std::vector<ineqbf::Constraint> rows;
    for (const ineqbf::ConstraintResult& c : cs) rows.push_back(c.row);
    put("rows", matrix_of(rows, static_cast<int>(names_.size())));
    put(std::move(name), Columns::of(cs, names_));
  }
  void add(std::string name, const std::vector<ineqbf::Warning>& ws) { put(std::move(name), Columns::of(ws, names_)); }
  void add(std::string name, const std::vector<ineqbf::Estimate>& es) { put(std::move(name), estimate_matrix(es)); }
  void add(std::string name, const std::vector<std::vector<ineqbf::Estimate>>& bf) {
    put(std::move(name), estimate_array(bf));
  }
  template <class T>
  void add(std::string name, const T& scalar) {
    if constexpr (std::is_same_v<T, int64_t>) put(std::move(name), Rcpp::wrap(static_cast<double>(scalar)));
    else put(std::move(name), Rcpp::wrap(scalar));
  }

  const std::vector<std::string>& names_;
  std::vector<std::string> labels_;
  std::vector<Rcpp::RObject> values_;
};

List result_list(const ineqbf::Result& r, const std::vector<std::string>& names) {
  ResultList out(names);
  ineqbf::visit_fields(r, out);
  return out.list();
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
    const std::vector<std::string> name_list = strings(names);
    std::vector<size_t> of;
    for (const int i : alias_of) of.push_back(static_cast<size_t>(i - 1));
    const std::vector<ineqbf::Hypothesis> hs = ineqbf::parse_hypotheses(text, name_list, strings(aliases), of);
    List out(hs.size());
    for (size_t h = 0; h < hs.size(); ++h)
      out[h] = List::create(Named("text") = hs[h].text,
                            Named("rows") = matrix_of(hs[h].constraints, static_cast<int>(name_list.size())));
    return List::create(Named("error") = false, Named("hypotheses") = out);
  } catch (const ineqbf::Error& e) {
    return error_list(e);
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
      ResultList fields(name_list);
      fields.put("error", Rcpp::wrap(false));
      fields.put("results", results);
      ineqbf::visit_fields(c, fields);
      out = fields.list();
    } catch (const ineqbf::Error& e) {
      interrupted = e.status() == ineqbf::Status::cancelled;
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
      interrupted = e.status() == ineqbf::Status::cancelled;
      if (!interrupted) out = error_list(e);
    }
  }
  if (interrupted) throw Rcpp::internal::InterruptedException();
  return out;
}

// [[Rcpp::export(.version, rng = false)]]
std::string engine_version() { return std::string(ineqbf::version()); }

// The seeds the library takes: the first and the last.
// [[Rcpp::export(.seed_range, rng = false)]]
Rcpp::IntegerVector seed_range() { return Rcpp::IntegerVector::create(ineqbf::min_seed, ineqbf::max_seed); }
