// Whether the rows of a hypothesis can hold together, and whether they
// enclose a bounded region, by linear programming: a dense simplex over the
// rows, small because hypotheses are.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "api/checks.h"

namespace ineqbf {

namespace {

// Entries of the tableau below this are taken as zero; the rows are scaled
// to unit length, so the entries are of order one.
constexpr double kPivotTolerance = 1e-9;
// A certificate that rows leave no room, Σ w_i·a_i = 0 over weights w ≥ 0
// summing to 1, holds when the combination is this small.
constexpr double kCertificateTolerance = 1e-9;
// Rows and parameters beyond which the rows are not judged: the dense
// tableau (rows × (2·parameters + rows)) and a deletion filter of one
// program per row would cost more than the check is worth.
constexpr size_t kMaxRows = 200;
constexpr size_t kMaxParameters = 200;
// A margin this far above zero (relative to the largest right-hand side)
// counts as room; below, as none. The simplex's rounding is a few units of
// double precision of that size, well below this.
constexpr double kMarginTolerance = 1e-12;

// A simplex tableau in standard form: maximise obj·y subject to T y = b,
// y ≥ 0, with a feasible basis to start from.
class Tableau {
 public:
  Tableau(size_t rows, size_t cols) : cols_(cols), t_(rows + 1, std::vector<double>(cols + 1, 0.0)), basis_(rows) {}

  double& at(size_t i, size_t j) { return t_[i][j]; }
  double& rhs(size_t i) { return t_[i][cols_]; }
  // The objective row holds the negated reduced costs.
  double& cost(size_t j) { return t_.back()[j]; }
  size_t& basic(size_t i) { return basis_[i]; }
  double value() const { return t_.back()[cols_]; }
  // At the optimum: the dual price of the row whose slack is column j.
  double price(size_t j) const { return t_.back()[j]; }

  // Pivots to the optimum, the smallest index with a positive reduced
  // gain entering (Bland's rule, against cycling). False when the step
  // limit is met or the objective is unbounded.
  bool solve() {
    const size_t rows = basis_.size();
    const size_t limit = 50 * (rows + cols_) + 100;
    for (size_t step = 0; step < limit; ++step) {
      size_t enter = cols_;
      for (size_t j = 0; j < cols_ && enter == cols_; ++j)
        if (cost(j) < -kPivotTolerance) enter = j;
      if (enter == cols_) return true;
      // Of the rows that tie in the ratio test, the largest pivot leaves
      // the tableau best conditioned.
      size_t leave = rows;
      double best = 0.0;
      for (size_t i = 0; i < rows; ++i) {
        const double a = t_[i][enter];
        if (a <= kPivotTolerance) continue;
        const double ratio = std::max(0.0, t_[i][cols_]) / a;
        const double tie = 1e-12 * (1.0 + std::fabs(best));
        if (leave == rows || ratio < best - tie || (ratio <= best + tie && a > t_[leave][enter])) {
          leave = i;
          best = ratio;
        }
      }
      if (leave == rows) return false;
      pivot(leave, enter);
    }
    return false;
  }

 private:
  void pivot(size_t r, size_t c) {
    std::vector<double>& row = t_[r];
    const double p = row[c];
    for (double& v : row) v /= p;
    for (size_t i = 0; i < t_.size(); ++i) {
      if (i == r || t_[i][c] == 0.0) continue;
      const double f = t_[i][c];
      for (size_t j = 0; j <= cols_; ++j) t_[i][j] -= f * row[j];
      t_[i][c] = 0.0;
    }
    basis_[r] = c;
  }

  size_t cols_;
  std::vector<std::vector<double>> t_;
  std::vector<size_t> basis_;
};

bool zero_row(const Constraint& row) {
  return std::all_of(row.coefficients.begin(), row.coefficients.end(), [](double v) { return v == 0.0; });
}

// Whether {x : a_i·x > c_i, i in `use`} is non-empty; `homogeneous` takes
// every c_i as 0. Each parameter is first scaled by its largest coefficient
// (x is free, so the answer is the same) and then each row to unit length,
// so that parameters on very different scales keep the tableau's entries
// of one order. Undecided counts as room, so that a check that cannot
// decide refuses nothing.
// Where there is none, `needed` (when given) receives the rows of `use`
// that its proof weighs, which leave no room by themselves.
bool room(const std::vector<Constraint>& rows, const std::vector<size_t>& use, bool homogeneous,
          std::vector<size_t>* needed = nullptr) {
  if (use.empty()) return true;
  const size_t n = rows[use[0]].coefficients.size();
  std::vector<double> column(n, 0.0);
  for (size_t i : use)
    for (size_t j = 0; j < n; ++j) column[j] = std::max(column[j], std::fabs(rows[i].coefficients[j]));
  std::vector<std::vector<double>> a;
  std::vector<double> c;
  double scale = 1.0;
  for (size_t i : use) {
    std::vector<double> unit(n, 0.0);
    double norm = 0.0;
    for (size_t j = 0; j < n; ++j) {
      if (column[j] > 0.0) unit[j] = rows[i].coefficients[j] / column[j];
      norm += unit[j] * unit[j];
    }
    norm = std::sqrt(norm);
    for (double& v : unit) v /= norm;
    a.push_back(std::move(unit));
    c.push_back(homogeneous ? 0.0 : rows[i].rhs / norm);
    scale = std::max(scale, std::fabs(c.back()));
  }
  std::vector<double> proof;
  const std::optional<double> t = detail::largest_margin(a, c, &proof);
  if (!t || *t > kMarginTolerance * scale) return true;
  if (needed != nullptr) {
    needed->clear();
    for (size_t k = 0; k < use.size(); ++k)
      if (proof[k] > 0.0) needed->push_back(use[k]);
  }
  return false;
}

// A deletion filter: from rows that leave no room, drop every row without
// which there is still none, last first, so the rows named are early ones
// and none of them can be spared.
std::vector<size_t> irreducible(const std::vector<Constraint>& rows, std::vector<size_t> set, bool homogeneous) {
  for (size_t k = set.size(); k-- > 0;) {
    std::vector<size_t> without = set;
    without.erase(without.begin() + static_cast<std::ptrdiff_t>(k));
    if (!room(rows, without, homogeneous)) set = std::move(without);
  }
  return set;
}

// "rows 1 and 2 (b1 > 1, -b1 > 0)", "row 3 (0 > 1)", "rows 1, 2 and 4 (…)".
std::string rows_named(const std::vector<Constraint>& rows, const std::vector<size_t>& set,
                       const std::vector<std::string>& names) {
  std::string numbers, texts;
  for (size_t k = 0; k < set.size(); ++k) {
    if (k > 0) {
      numbers += k + 1 == set.size() ? " and " : ", ";
      texts += ", ";
    }
    numbers += std::to_string(set[k] + 1);
    try {
      texts += constraint_text(rows[set[k]], names);
    } catch (const Error&) {
      texts += constraint_text(rows[set[k]], default_names(static_cast<int32_t>(rows[set[k]].coefficients.size())));
    }
  }
  return (set.size() == 1 ? "row " : "rows ") + numbers + " (" + texts + ")";
}

}  // namespace

std::optional<double> detail::largest_margin(const std::vector<std::vector<double>>& a,
                                             const std::vector<double>& c, std::vector<double>* proof) {
  // A start that holds: x = 0 and t0 = min(1, -c_i). With t = t0 + u the
  // rows read −a_i·x + u + s_i = −c_i − t0 ≥ 0 and u + s = 1 − t0, over
  // x = x⁺ − x⁻, u and the slacks s, all ≥ 0: the slacks are a feasible
  // basis. Maximise u.
  const size_t m = a.size();
  const size_t n = m > 0 ? a[0].size() : 0;
  double t0 = 1.0;
  for (double ci : c) t0 = std::min(t0, -ci);
  const size_t u = 2 * n, slack = 2 * n + 1, cols = 2 * n + 1 + m + 1;
  Tableau t(m + 1, cols);
  for (size_t i = 0; i < m; ++i) {
    for (size_t j = 0; j < n; ++j) {
      t.at(i, j) = -a[i][j];
      t.at(i, n + j) = a[i][j];
    }
    t.at(i, u) = 1.0;
    t.at(i, slack + i) = 1.0;
    t.rhs(i) = std::max(0.0, -c[i] - t0);
    t.basic(i) = slack + i;
  }
  t.at(m, u) = 1.0;
  t.at(m, slack + m) = 1.0;
  t.rhs(m) = 1.0 - t0;
  t.basic(m) = slack + m;
  t.cost(u) = -1.0;
  if (!t.solve()) return std::nullopt;
  const double margin = t0 + t.value();
  double scale = 1.0;
  for (double ci : c) scale = std::max(scale, std::fabs(ci));
  if (margin > kMarginTolerance * scale) return margin;
  // No room is said only with its proof: the dual prices w of the rows,
  // normalised, combine the rows to Σ w_i·a_i = 0 with Σ w_i·c_i ≥ 0, so
  // that 0 = Σ w_i·a_i·x > Σ w_i·c_i ≥ 0 for no x. Rounding that leaves no
  // proof leaves the question undecided.
  std::vector<double> w(m);
  double sum = 0.0;
  for (size_t i = 0; i < m; ++i) sum += w[i] = std::max(0.0, t.price(slack + i));
  if (!(sum > 0.0)) return std::nullopt;
  double combined_c = 0.0;
  std::vector<double> combined_a(n, 0.0);
  for (size_t i = 0; i < m; ++i) {
    w[i] /= sum;
    combined_c += w[i] * c[i];
    for (size_t j = 0; j < n; ++j) combined_a[j] += w[i] * a[i][j];
  }
  double norm = 0.0;
  for (double v : combined_a) norm += v * v;
  if (std::sqrt(norm) > kCertificateTolerance || combined_c < -kMarginTolerance * scale) return std::nullopt;
  if (proof != nullptr) *proof = std::move(w);
  return margin;
}

detail::RowsVerdict detail::judge_rows(const std::vector<Constraint>& rows) {
  RowsVerdict v;
  // Rows of different lengths are the shape check's to refuse.
  for (const Constraint& row : rows)
    if (row.coefficients.size() != rows[0].coefficients.size()) return v;
  if (rows.size() > kMaxRows || (!rows.empty() && rows[0].coefficients.size() > kMaxParameters)) return v;
  std::vector<size_t> live;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!zero_row(rows[i])) {
      live.push_back(i);
    } else if (!(rows[i].rhs < 0.0)) {
      // 0 > c holds for c < 0 and for no x otherwise.
      v.conflicting = {i};
      return v;
    }
  }
  // The rows the proof weighs leave no room by themselves: the deletion
  // filter starts from them (at most one more than the parameters).
  std::vector<size_t> needed;
  if (!room(rows, live, false, &needed)) {
    if (room(rows, needed, false)) needed = live;  // rounding: start from all
    v.conflicting = irreducible(rows, needed, false);
    return v;
  }
  // The directions the region recedes in, {d : a_i·d ≥ 0}: when they have
  // no interior, the region's prior probability vanishes as the prior widens.
  if (!room(rows, live, true, &needed)) {
    if (room(rows, needed, true)) needed = live;
    v.bounding = irreducible(rows, needed, true);
  }
  return v;
}

std::string detail::conflict_message(const std::vector<Constraint>& rows, const std::vector<size_t>& conflicting,
                                     const std::vector<std::string>& names) {
  const std::string named = rows_named(rows, conflicting, names);
  return "the constraints cannot all hold: " + named +
         (conflicting.size() == 1 ? " can never hold" : " contradict each other");
}

std::string detail::bounded_message(const std::vector<Constraint>& rows, const std::vector<size_t>& bounding,
                                    const std::vector<std::string>& names) {
  return rows_named(rows, bounding, names) +
         " enclose the parameters on both sides of some direction: the complexity shrinks as the "
         "vague prior widens, so the Bayes factor measures the prior's width more than the data";
}

}  // namespace ineqbf
