// Problems: read from a file in the Input.txt format with the program's
// reader, checked when given by a caller, and loaded into a run's arrays.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <new>
#include <set>
#include <string>

#include "api/internal.h"
#include "api/read_check.h"
#include "driver/run.h"
#include "ineqbf/ineqbf.h"
#include "numlib/float_environment.h"
#include "textio/shortest.h"
#include "textio/textio.h"

namespace ineqbf {

namespace {


}  // namespace

Problem detail::problem_from_arrays(const driver::ProblemArrays& a) {
  Problem p;
  const int64_t npar = a.NPAR > 0 ? a.NPAR : 0;
  const int64_t ncon = a.NCON > 0 ? a.NCON : 0;
  p.means.reserve(static_cast<size_t>(npar));
  for (int64_t i = 1; i <= npar; ++i) p.means.push_back(a.PARMEANS(i));
  p.covariance.reserve(static_cast<size_t>(npar * npar));
  for (int64_t i = 1; i <= npar; ++i)
    for (int64_t j = 1; j <= npar; ++j) p.covariance.push_back(a.COV(i, j));
  p.constraints.resize(static_cast<size_t>(ncon));
  for (int64_t m = 1; m <= ncon; ++m) {
    Constraint& row = p.constraints[static_cast<size_t>(m - 1)];
    for (int64_t j = 1; j <= npar; ++j) row.coefficients.push_back(a.R(m, j));
    row.rhs = a.R(m, npar + 1);
  }
  return p;
}

namespace {

// The values as written in place of their single-precision roundings: each
// exact value goes to the element of the arrays it was read into.
void use_exact_values(Problem& p, const driver::ProblemArrays& a, const std::vector<textio::ExactReal>& exact) {
  const auto npar = static_cast<size_t>(std::max(a.NPAR, 0));
  auto within = [](const float* v, const float* first, size_t n, size_t& index) {
    if (first == nullptr || v < first || v >= first + n) return false;
    index = static_cast<size_t>(v - first);
    return true;
  };
  for (const textio::ExactReal& e : exact) {
    size_t i = 0;
    if (within(e.variable, a.PARMEANS.data(), npar, i)) {
      p.means[i] = e.value;
    } else if (within(e.variable, a.COV.data(), npar * npar, i)) {
      const size_t n1 = static_cast<size_t>(a.COV.extent1());  // COV(i, j) at (i-1) + (j-1)*n1
      p.covariance[(i % n1) * npar + i / n1] = e.value;
    } else if (within(e.variable, a.R.data(), p.constraints.size() * (npar + 1), i)) {
      const size_t n1 = static_cast<size_t>(a.R.extent1());
      Constraint& row = p.constraints[i % n1];
      const size_t j = i / n1;
      (j < npar ? row.coefficients[j] : row.rhs) = e.value;
    }
  }
}

}  // namespace

struct Reader::State {
  ReadOptions options;
  textio::InputUnit in;
  detail::ReadLog log;
  std::vector<textio::ExactReal> exact;
  std::vector<std::string> warnings;
};

Reader::Reader(ReadOptions options) : state_(std::make_unique<State>()) {
  state_->options = options;
  state_->in.keep_trace(&state_->log.statements, &state_->log.commas);
  if (options.as_written) state_->in.keep_exact(&state_->exact);
}

Reader::~Reader() = default;

void Reader::open(const std::string& path, const std::string& shown) {
  state_->in.open(textio::INPUT_UNIT, path, shown);
}

void Reader::open_text(std::string_view text, const std::string& shown) {
  state_->in.open_text(textio::INPUT_UNIT, shown, std::string(text));
}

const std::vector<std::string>& Reader::warnings() const { return state_->warnings; }

Problem Reader::read() {
  State& st = *state_;
  const numlib::DefaultFloatEnvironment in_default;  // numbers read as in any process
  textio::Console console;
  driver::ProblemArrays arrays;
  try {
    driver::read_problem(arrays, st.in);
  } catch (const textio::RunEnded& e) {
    const std::string where = detail::read_failure_detail(st.in.failure(), st.log, arrays);
    if (!where.empty()) st.warnings.push_back(where);
    detail::end_run(console, e);
  }
  try {
    st.warnings = detail::layout_warnings(arrays, st.log, st.in);
  } catch (const textio::RunEnded&) {
    // The rest of the file could not be read: nothing more to say of it.
  }
  st.in.close();
  try {
    Problem p = detail::problem_from_arrays(arrays);
    if (st.options.as_written) use_exact_values(p, arrays, st.exact);
    return p;
  } catch (const std::bad_alloc&) {
    detail::end_run_out_of_memory(console);
  }
}

namespace {

std::string ordinal_name(const char* what, size_t index) {
  return std::string(what) + " " + std::to_string(index + 1);
}

// A value given by a caller, checked as the reader checks a number: it must
// be finite and within the range of single precision once rounded.
// Refuses a value that is not finite or beyond single precision, naming
// it by what(), which is called only then.
template <class Name>
void check_value(double v, const Name& what) {
  if (std::isnan(v) || std::isinf(v))
    throw Error(Status::usage, what() + " is not a finite number");
  if (std::isinf(static_cast<float>(v))) {
    throw Error(Status::usage, what() + " (" + textio::shortest_text(v) +
                                  ") is beyond the range of single precision, about 3.4e38");
  }
}

}  // namespace

Problem read_problem(const std::string& path, const ReadOptions& options) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // A folder is read as the program reads it when run there.
  const bool folder = fs::is_directory(path, ec);
  Reader reader(options);
  reader.open(folder ? (fs::path(path) / "Input.txt").string() : path, folder ? "Input.txt" : "");
  return reader.read();
}

Problem read_problem_text(std::string_view text, std::string_view filename) {
  Reader reader;
  reader.open_text(text, std::string(filename));
  return reader.read();
}

namespace detail {

void check_problem(const Problem& p) {
  const size_t npar = p.means.size();
  if (npar > static_cast<size_t>(INT32_MAX) - 1)
    throw Error(Status::usage, "too many parameters: " + std::to_string(npar));
  if (p.constraints.size() > static_cast<size_t>(INT32_MAX))
    throw Error(Status::usage, "too many constraints: " + std::to_string(p.constraints.size()));
  if (p.covariance.size() != npar * npar)
    throw Error(Status::usage, "the covariance matrix has " + std::to_string(p.covariance.size()) +
                                  " values; " + std::to_string(npar) + " parameters need " +
                                  std::to_string(npar * npar));
  for (size_t i = 0; i < npar; ++i) check_value(p.means[i], [&] { return ordinal_name("estimate", i); });
  for (size_t i = 0; i < npar; ++i)
    for (size_t j = 0; j < npar; ++j)
      check_value(p.covariance[i * npar + j], [&] {
        return "covariance element (" + std::to_string(i + 1) + ", " + std::to_string(j + 1) + ")";
      });
  for (size_t m = 0; m < p.constraints.size(); ++m) {
    const Constraint& row = p.constraints[m];
    if (row.coefficients.size() != npar)
      throw Error(Status::usage, ordinal_name("constraint", m) + " has " +
                                    std::to_string(row.coefficients.size()) + " coefficients; there are " +
                                    std::to_string(npar) + " parameters");
    for (size_t j = 0; j < npar; ++j)
      check_value(row.coefficients[j],
                  [&] { return ordinal_name("constraint", m) + ", coefficient " + std::to_string(j + 1); });
    check_value(row.rhs, [&] { return ordinal_name("constraint", m) + ", right-hand side"; });
  }
  if (!p.names.empty()) {
    if (p.names.size() != npar)
      throw Error(Status::usage, "there are " + std::to_string(p.names.size()) + " names for " +
                                    std::to_string(npar) + " parameters");
    std::set<std::string> seen;
    for (const std::string& n : p.names) {
      if (n.empty()) throw Error(Status::usage, "a parameter name is empty");
      if (!seen.insert(n).second) throw Error(Status::usage, "the parameter name \"" + n + "\" is given twice");
    }
  }
}

void load_problem(driver::ProblemArrays& a, const Problem& p) {
  // The same arrays, allocated in the same order, as the reader fills.
  a.NPAR = static_cast<int32_t>(p.means.size());
  a.NCON = static_cast<int32_t>(p.constraints.size());
  const int64_t npar = a.NPAR;
  const int64_t np1 = npar + 1;
  a.PARMEANS.allocate("PARMEANS", np1);
  a.COV.allocate("COV", npar, npar);
  a.R.allocate("R", a.NCON, np1);
  for (int64_t i = 1; i <= npar; ++i) a.PARMEANS(i) = static_cast<float>(p.means[static_cast<size_t>(i - 1)]);
  a.PARMEANS(np1) = -1.0f;
  for (int64_t i = 1; i <= npar; ++i)
    for (int64_t j = 1; j <= npar; ++j)
      a.COV(i, j) = static_cast<float>(p.covariance[static_cast<size_t>((i - 1) * npar + (j - 1))]);
  for (int64_t m = 1; m <= a.NCON; ++m) {
    const Constraint& row = p.constraints[static_cast<size_t>(m - 1)];
    for (int64_t j = 1; j <= npar; ++j) a.R(m, j) = static_cast<float>(row.coefficients[static_cast<size_t>(j - 1)]);
    a.R(m, np1) = static_cast<float>(row.rhs);
  }
}

}  // namespace detail

}  // namespace ineqbf
