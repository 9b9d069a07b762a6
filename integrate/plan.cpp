// The reduction of rows to lower-trapezoidal form and the integrand of the
// separation of variables.
#include "integrate/plan.h"

#include <cmath>
#include <limits>

#include "integrate/elementary.h"
#include "integrate/normal.h"

namespace integrate {

namespace {

// A row whose coefficients have a smaller norm than this has none.
constexpr double kZeroRow = 1e-12;
// A row keeps a direction of its own when the part of it orthogonal to the
// rows before it is larger than this share of its norm.
constexpr double kNewDirection = 1e-10;

double dot(const double* x, const double* y, int32_t n) {
  double s = 0.0;
  for (int32_t i = 0; i < n; ++i) s += x[i] * y[i];
  return s;
}

// The reduced rows before grouping: coefficients on the orthonormal
// directions, the variable each bounds (-1 for rows without coefficients).
struct Reduced {
  int32_t vars = 0;
  std::vector<std::vector<double>> h;
  std::vector<int32_t> pivot;
  bool independent = true;
};

// The last direction, from `from` down, on which a row's coefficients h
// are significant against the row's norm (-1: none); h's coefficients on
// later directions are set to 0.
int32_t last_direction(std::vector<double>& h, int32_t from, double norm) {
  int32_t p = from;
  while (p >= 0 && !(std::fabs(h[static_cast<size_t>(p)]) > kNewDirection * norm)) --p;
  for (size_t j = static_cast<size_t>(p + 1); j < h.size(); ++j) h[j] = 0.0;
  return p;
}

// Gram–Schmidt with one reorthogonalisation, row by row.
// With `lead`, that unit vector is the first direction, bounded by no row.
Reduced orthogonalise(const RowSet& rows, const std::vector<double>& lead = {}) {
  Reduced r;
  const int32_t n = rows.dim;
  std::vector<std::vector<double>> q;
  if (!lead.empty()) {
    q.push_back(lead);
    r.independent = false;
  }
  std::vector<double> v(static_cast<size_t>(n));
  for (int32_t k = 0; k < rows.rows(); ++k) {
    const double* a = rows.row(k);
    const double norm = std::sqrt(dot(a, a, n));
    std::vector<double> h(q.size() + 1, 0.0);
    if (!(norm > kZeroRow)) {
      r.h.push_back(std::move(h));
      r.pivot.push_back(-1);
      continue;
    }
    v.assign(a, a + n);
    for (int pass = 0; pass < 2; ++pass)
      for (size_t j = 0; j < q.size(); ++j) {
        const double c = dot(q[j].data(), v.data(), n);
        h[j] += c;
        for (int32_t i = 0; i < n; ++i) v[static_cast<size_t>(i)] -= c * q[j][static_cast<size_t>(i)];
      }
    const double rest = std::sqrt(dot(v.data(), v.data(), n));
    if (rest > kNewDirection * norm) {
      for (double& x : v) x /= rest;
      q.push_back(v);
      h[q.size() - 1] = rest;
      r.pivot.push_back(static_cast<int32_t>(q.size() - 1));
    } else {
      r.pivot.push_back(last_direction(h, static_cast<int32_t>(q.size()) - 1, norm));
      r.independent = false;
    }
    r.h.push_back(std::move(h));
  }
  r.vars = static_cast<int32_t>(q.size());
  return r;
}

// The mean of a standard normal variable restricted to (t, ∞).
double mean_above(double t) {
  const double tail = normal_cdf(-t);
  if (!(tail > 1e-300)) return t;
  return integrate::exp(-0.5 * t * t) * 0.39894228040143267794 / tail;
}

// Removes from v its component along the unit vector q, twice for
// accuracy; returns the component.
double remove_component(const std::vector<double>& q, std::vector<double>& v) {
  const int32_t n = static_cast<int32_t>(v.size());
  double total = 0.0;
  for (int pass = 0; pass < 2; ++pass) {
    const double c = dot(q.data(), v.data(), n);
    for (int32_t i = 0; i < n; ++i) v[static_cast<size_t>(i)] -= c * q[static_cast<size_t>(i)];
    total += c;
  }
  return total;
}

// The rows as a bound on the last direction they have a coefficient on.
void close_dependent(Reduced& r, int32_t k, std::vector<double> h, double norm) {
  r.pivot[static_cast<size_t>(k)] = last_direction(h, static_cast<int32_t>(h.size()) - 1, norm);
  r.h[static_cast<size_t>(k)] = std::move(h);
}

// The open row whose bound leaves the least mass when the variables so far
// sit at their expected values; -1 when none is left. Rows that have no
// direction of their own any more are closed on the way.
int32_t tightest(const RowSet& rows, Reduced& r, std::vector<std::vector<double>>& v,
                 std::vector<std::vector<double>>& h, const std::vector<double>& norm,
                 std::vector<char>& open, const std::vector<double>& expected, double& bound) {
  int32_t best = -1;
  double best_mass = 2.0;
  for (int32_t k = 0; k < rows.rows(); ++k) {
    const size_t kk = static_cast<size_t>(k);
    if (!open[kk]) continue;
    const double rest = std::sqrt(dot(v[kk].data(), v[kk].data(), rows.dim));
    if (!(rest > kNewDirection * norm[kk])) {
      open[kk] = 0;
      close_dependent(r, k, h[kk], norm[kk]);
      r.independent = false;
      continue;
    }
    const double t = (rows.b[kk] - dot(h[kk].data(), expected.data(), static_cast<int32_t>(expected.size()))) / rest;
    const double mass = normal_cdf(-t);
    if (best < 0 || mass < best_mass) {
      best = k;
      best_mass = mass;
      bound = t;
    }
  }
  return best;
}

// The coordinate axis (or its opposite) that makes the largest smallest
// angle-cosine with the rows, when no row points away from it and some row
// towards it: a direction inside the closure of the region of rows through
// the origin. Empty when there is none.
std::vector<double> inner_axis(const RowSet& rows, const std::vector<double>& norm) {
  int32_t best = -1;
  double best_score = -1.0;
  for (int32_t i = 0; i < 2 * rows.dim; ++i) {
    const double sign = i % 2 ? -1.0 : 1.0;
    double score = 1.0, lean = 0.0;
    for (int32_t k = 0; k < rows.rows(); ++k) {
      if (!(norm[static_cast<size_t>(k)] > kZeroRow)) continue;
      const double c = sign * rows.row(k)[i / 2] / norm[static_cast<size_t>(k)];
      score = std::min(score, c);
      lean = std::max(lean, c);
    }
    if (score >= 0.0 && lean > 0.0 && score > best_score) {
      best = i;
      best_score = score;
    }
  }
  std::vector<double> axis;
  if (best >= 0) {
    axis.assign(static_cast<size_t>(rows.dim), 0.0);
    axis[static_cast<size_t>(best / 2)] = best % 2 ? -1.0 : 1.0;
  }
  return axis;
}

// The directions chosen one at a time, the row that bounds its variable
// most tightly first (the variable prioritisation of Genz and Bretz), which
// lowers the variance of the integrand.
Reduced prioritise(const RowSet& rows) {
  Reduced r;
  const int32_t K = rows.rows();
  const size_t n = static_cast<size_t>(rows.dim);
  r.h.assign(static_cast<size_t>(K), {});
  r.pivot.assign(static_cast<size_t>(K), -1);
  std::vector<std::vector<double>> v(static_cast<size_t>(K)), h(static_cast<size_t>(K));
  std::vector<double> norm(static_cast<size_t>(K)), expected;
  std::vector<char> open(static_cast<size_t>(K), 0);
  for (int32_t k = 0; k < K; ++k) {
    const double* a = rows.row(k);
    norm[static_cast<size_t>(k)] = std::sqrt(dot(a, a, rows.dim));
    if (norm[static_cast<size_t>(k)] > kZeroRow) {
      open[static_cast<size_t>(k)] = 1;
      v[static_cast<size_t>(k)].assign(a, a + n);
    }
  }
  double bound = 0.0;
  for (int32_t best; (best = tightest(rows, r, v, h, norm, open, expected, bound)) >= 0;) {
    const size_t b = static_cast<size_t>(best);
    const double rest = std::sqrt(dot(v[b].data(), v[b].data(), rows.dim));
    std::vector<double> q = v[b];
    for (double& x : q) x /= rest;
    h[b].push_back(rest);
    r.h[b] = h[b];
    r.pivot[b] = r.vars++;
    open[b] = 0;
    expected.push_back(mean_above(bound));
    for (size_t k = 0; k < static_cast<size_t>(K); ++k)
      if (open[k]) h[k].push_back(remove_component(q, v[k]));
  }
  r.independent = false;
  return r;
}

void group_rows(const RowSet& rows, const Reduced& r, Plan& p) {
  const size_t vars = static_cast<size_t>(r.vars);
  p.first.assign(vars + 1, 0);
  for (int32_t j = 0; j < r.vars; ++j) {
    p.first[static_cast<size_t>(j)] = static_cast<int32_t>(p.scale.size());
    for (int32_t k = 0; k < rows.rows(); ++k) {
      if (r.pivot[static_cast<size_t>(k)] != j) continue;
      const std::vector<double>& h = r.h[static_cast<size_t>(k)];
      for (size_t i = 0; i < vars; ++i) p.coef.push_back(i < h.size() && i < static_cast<size_t>(j) ? h[i] : 0.0);
      p.scale.push_back(1.0 / h[static_cast<size_t>(j)]);
      p.rhs.push_back(rows.b[static_cast<size_t>(k)]);
    }
  }
  p.first[vars] = static_cast<int32_t>(p.scale.size());
}

// A row without coefficients holds when 0 > b.
bool holds_without_coefficients(double b) { return 0.0 > b; }

void set_outputs(const RowSet& rows, const Reduced& r, Plan& p) {
  p.nested = r.independent;
  bool holds = true;
  int32_t last = -1;
  for (int32_t k = 0; k < rows.rows(); ++k) {
    const int32_t piv = r.pivot[static_cast<size_t>(k)];
    if (piv < 0) holds = holds && holds_without_coefficients(rows.b[static_cast<size_t>(k)]);
    else last = std::max(last, piv);
    if (p.nested) {
      p.out_var.push_back(last);
      p.out_holds.push_back(holds);
    }
  }
  if (!p.nested) {
    p.out_var.push_back(r.vars - 1);
    p.out_holds.push_back(holds);
  }
}

}  // namespace

Plan reduce(const RowSet& rows, Order order) {
  std::vector<double> lead;
  if (order == Order::axis_first) {
    std::vector<double> norm(static_cast<size_t>(rows.rows()));
    for (int32_t k = 0; k < rows.rows(); ++k) norm[static_cast<size_t>(k)] = std::sqrt(dot(rows.row(k), rows.row(k), rows.dim));
    lead = inner_axis(rows, norm);
  }
  // A first direction along the axis, then the rows in their order: for
  // thin regions through the origin (wedges) the rows' masses then grow
  // smoothly with the first variable, where a row's own direction first
  // leaves a mass that is a narrow spike.
  const Reduced r = order == Order::given || !lead.empty() ? orthogonalise(rows, lead) : prioritise(rows);
  Plan p;
  p.vars = r.vars;
  group_rows(rows, r, p);
  set_outputs(rows, r, p);
  return p;
}

void evaluate(const Plan& p, const double* w, double* z, double* out) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const int32_t nout = p.outputs();
  int32_t o = 0;
  for (; o < nout && p.out_var[static_cast<size_t>(o)] < 0; ++o) out[o] = p.out_holds[static_cast<size_t>(o)] ? 1.0 : 0.0;
  double product = 1.0;
  const size_t vars = static_cast<size_t>(p.vars);
  for (int32_t j = 0; j < p.vars && o < nout; ++j) {
    double lo = -inf, hi = inf;
    for (int32_t m = p.first[static_cast<size_t>(j)]; m < p.first[static_cast<size_t>(j) + 1]; ++m) {
      const size_t mm = static_cast<size_t>(m);
      const double t = (p.rhs[mm] - dot(&p.coef[mm * vars], z, j)) * p.scale[mm];
      if (p.scale[mm] > 0.0) lo = std::max(lo, t);
      else hi = std::min(hi, t);
    }
    product *= j + 1 < p.vars ? normal_mass_split(lo, hi, w[j], z[j]) : normal_mass(lo, hi);
    for (; o < nout && p.out_var[static_cast<size_t>(o)] == j; ++o)
      out[o] = p.out_holds[static_cast<size_t>(o)] ? product : 0.0;
    if (product == 0.0) break;
  }
  for (; o < nout; ++o) out[o] = 0.0;
}

}  // namespace integrate
