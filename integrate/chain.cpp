#include "integrate/chain.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "integrate/elementary.h"

namespace integrate {

namespace {

// The chain: its parameters from the top and the least difference of each
// pair of neighbours; `negated` when the rows climb (θ2 > θ1, then
// θ3 > θ2, …), which is a chain down from the top of −θ.
struct Chain {
  std::vector<int32_t> parameter;
  std::vector<double> threshold;
  bool negated = false;
  // A last row bounding the chain's last parameter: X > bound (or X <
  // bound when not `lower`), in the chain's own sign.
  bool bounded = false, lower = true;
  double bound = 0.0;
};

// A row as "`above` − `below` > `threshold`".
struct Order {
  int32_t above = -1, below = -1;
  double threshold = 0.0;
};

std::optional<Order> order_of(const RowSet& theta, int32_t k) {
  const double* a = theta.row(k);
  int32_t named[2];
  if (theta.nonzero(k, named) != 2 || a[named[0]] != -a[named[1]]) return std::nullopt;
  const bool first_above = a[named[0]] > 0.0;
  return Order{first_above ? named[0] : named[1], first_above ? named[1] : named[0],
               theta.b[static_cast<size_t>(k)] / std::fabs(a[named[0]])};
}

// A row with one coefficient, c·θ_i > r, as its parameter and whether it
// bounds it from below.
struct Bound {
  int32_t parameter = -1;
  bool lower = true;
  double value = 0.0;
};

std::optional<Bound> bound_of(const RowSet& theta, int32_t k) {
  int32_t named[2];
  if (theta.nonzero(k, named) != 1) return std::nullopt;
  const double a = theta.row(k)[named[0]];
  return Bound{named[0], a > 0.0, theta.b[static_cast<size_t>(k)] / a};
}

std::optional<Chain> chain_of(const RowSet& theta) {
  std::vector<Order> rows;
  std::optional<Bound> last;
  for (int32_t k = 0; k < theta.rows(); ++k) {
    const std::optional<Order> o = order_of(theta, k);
    if (o) {
      rows.push_back(*o);
      continue;
    }
    last = k + 1 == theta.rows() ? bound_of(theta, k) : std::nullopt;
    if (!last) return std::nullopt;
  }
  if (rows.empty()) return std::nullopt;
  Chain c;
  c.negated = rows.size() > 1 && rows[1].below == rows[0].above;
  for (const Order& o : rows) {
    const int32_t above = c.negated ? o.below : o.above, below = c.negated ? o.above : o.below;
    if (c.parameter.empty()) c.parameter.push_back(above);
    if (c.parameter.back() != above || std::find(c.parameter.begin(), c.parameter.end(), below) != c.parameter.end())
      return std::nullopt;
    c.parameter.push_back(below);
    c.threshold.push_back(o.threshold);
  }
  if (last) {
    if (last->parameter != c.parameter.back()) return std::nullopt;
    c.bounded = true;
    c.lower = last->lower != c.negated;
    c.bound = c.negated ? -last->value : last->value;
  }
  return c;
}

// The variances of the independent parts: covariance D + a·11ᵀ among the
// chain's parameters, a their common covariance (equal to within
// rounding), D what is left on the diagonal.
struct Parts {
  std::vector<double> variance;  // D
  double common = 0.0;           // a
};

std::optional<Parts> independent_parts(const Chain& c, const std::vector<double>& covariance, size_t npar) {
  const auto at = [&](int32_t i, int32_t j) {
    return covariance[static_cast<size_t>(i) * npar + static_cast<size_t>(j)];
  };
  double sum = 0.0;
  size_t pairs = 0;
  for (const int32_t i : c.parameter)
    for (const int32_t j : c.parameter)
      if (i != j) sum += at(i, j), ++pairs;
  Parts parts;
  parts.common = sum / static_cast<double>(pairs);
  for (const int32_t i : c.parameter) {
    for (const int32_t j : c.parameter)
      if (i != j && !(std::fabs(at(i, j) - parts.common) <= 1e-12 * std::sqrt(at(i, i) * at(j, j))))
        return std::nullopt;
    const double v = at(i, i) - parts.common;
    if (!(v > 0.0) || !std::isfinite(v)) return std::nullopt;
    parts.variance.push_back(v);
  }
  // A bound is not a difference: the common part stays, as a normal of
  // its own (which needs a ≥ 0).
  if (c.bounded && parts.common < 0.0) return std::nullopt;
  return parts;
}

// A function tabulated on the grid x_i = lo + i·h.
struct Grid {
  double lo = 0.0, h = 0.0;
  size_t n = 0;
  double x(size_t i) const { return lo + static_cast<double>(i) * h; }
};

// The integral of w over cell [x_i, x_{i+1}] (w vanishing beyond the grid)
// by the four-point rule h/24·(−w_{i−1} + 13w_i + 13w_{i+1} − w_{i+2}),
// Simpson's cubic at the ends.
double cell(const Grid& g, const std::vector<double>& w, size_t i) {
  const double left = i > 0 ? w[i - 1] : 2.0 * w[i] - w[i + 1];
  const double right = i + 2 < g.n ? w[i + 2] : 2.0 * w[i + 1] - w[i];
  return g.h / 24.0 * (-left + 13.0 * w[i] + 13.0 * w[i + 1] - right);
}

// ∫_{x_i}^∞ w for every node, into `tail`, summed from the top.
void upper_integrals(const Grid& g, const std::vector<double>& w, std::vector<double>& tail) {
  tail.assign(g.n, 0.0);
  for (size_t i = g.n - 1; i-- > 0;) tail[i] = tail[i + 1] + cell(g, w, i);
}

// ∫ w: the first of the upper integrals, with the same sums.
double total(const Grid& g, const std::vector<double>& w) {
  double sum = 0.0;
  for (size_t i = g.n - 1; i-- > 0;) sum = sum + cell(g, w, i);
  return sum;
}

// `tail` (tabulated upper integrals of a density of total 1) at x, by
// four-point Lagrange interpolation; 1 below the grid, 0 above it.
double tail_at(const Grid& g, const std::vector<double>& tail, double x) {
  const double u = (x - g.lo) / g.h;
  if (u <= 0.0) return 1.0;
  if (u >= static_cast<double>(g.n - 1)) return 0.0;
  const size_t i = std::min(std::max(static_cast<size_t>(u), size_t{1}), g.n - 3);
  const double s = u - static_cast<double>(i);  // in [-1, 2]: nodes i-1, i, i+1, i+2
  const double p0 = -s * (s - 1.0) * (s - 2.0) / 6.0, p1 = (s + 1.0) * (s - 1.0) * (s - 2.0) / 2.0,
               p2 = -(s + 1.0) * s * (s - 2.0) / 2.0, p3 = (s + 1.0) * s * (s - 1.0) / 6.0;
  return p0 * tail[i - 1] + p1 * tail[i] + p2 * tail[i + 1] + p3 * tail[i + 2];
}

double normal_density(double x, double mean, double sd) {
  const double z = (x - mean) / sd;
  return integrate::exp(-0.5 * z * z) / sd;  // the common factor 1/√(2π) cancels in every quotient
}

// The chance that the last parameter keeps its bound given the chain (its
// tail `tail`), the common part √a·Z added: ∫ φ(z)·P(X + √a·z > bound) dz,
// on a grid in z as fine as the grid in x.
double bound_kept(const Grid& g, const std::vector<double>& tail, const Chain& c, double common_sd) {
  const auto kept = [&](double x) {
    const double above = tail_at(g, tail, x);
    return c.lower ? above : 1.0 - above;
  };
  if (common_sd == 0.0) return kept(c.bound);
  const double dz = std::clamp(g.h / common_sd, 24.0 / 2e5, 0.01);
  const Grid z{-12.0, dz, static_cast<size_t>(std::ceil(24.0 / dz)) + 1};
  std::vector<double> weighted(z.n), density(z.n);
  for (size_t i = 0; i < z.n; ++i) {
    density[i] = normal_density(z.x(i), 0.0, 1.0);
    weighted[i] = density[i] * kept(c.bound - common_sd * z.x(i));
  }
  return total(z, weighted) / total(z, density);
}

// The conditionals on one grid, each W normalised to total 1 as it is
// formed; nothing when a probability vanishes on it.
std::optional<std::vector<double>> conditionals_on(const Grid& g, const Chain& c, const std::vector<double>& mean,
                                                   const std::vector<double>& sd, double common_sd) {
  std::vector<double> w(g.n), tail, out;
  for (size_t i = 0; i < g.n; ++i) w[i] = normal_density(g.x(i), mean[0], sd[0]);
  upper_integrals(g, w, tail);
  const double first = tail[0];
  for (double& t : tail) t /= first;
  std::vector<double> alone(g.n);
  for (size_t j = 1; j < c.parameter.size(); ++j) {
    for (size_t i = 0; i < g.n; ++i) {
      alone[i] = normal_density(g.x(i), mean[j], sd[j]);
      w[i] = alone[i] * tail_at(g, tail, g.x(i) + c.threshold[j - 1]);
    }
    upper_integrals(g, w, tail);
    const double joint = tail[0];
    // The density of X_{p(j+1)} alone, integrated with the same rule on the
    // same grid: the quotient is the conditional probability.
    const double norm = total(g, alone);
    if (!(joint > 0.0) || !std::isfinite(joint)) return std::nullopt;
    out.push_back(std::min(1.0, joint / norm));
    for (double& t : tail) t /= joint;
  }
  if (c.bounded) {
    const double kept = bound_kept(g, tail, c, common_sd);
    if (!(kept > 0.0)) return std::nullopt;
    out.push_back(std::min(1.0, kept));
  }
  return out;
}

}  // namespace

std::optional<std::vector<double>> chain_conditionals(const RowSet& theta, const std::vector<double>& mean,
                                                      const std::vector<double>& covariance, double tolerance) {
  const std::optional<Chain> c = chain_of(theta);
  if (!c) return std::nullopt;
  const std::optional<Parts> parts = independent_parts(*c, covariance, mean.size());
  if (!parts) return std::nullopt;
  const double common_sd = c->bounded ? std::sqrt(parts->common) : 0.0;
  std::vector<double> m, sd;
  double lo = INFINITY, hi = -INFINITY, narrowest = INFINITY, shifts = 0.0;
  for (size_t j = 0; j < c->parameter.size(); ++j) {
    const double mu = mean[static_cast<size_t>(c->parameter[j])];
    m.push_back(c->negated ? -mu : mu);
    sd.push_back(std::sqrt(parts->variance[j]));
    lo = std::min(lo, m.back() - 12.0 * sd.back());
    hi = std::max(hi, m.back() + 12.0 * sd.back());
    narrowest = std::min(narrowest, sd.back());
  }
  for (const double t : c->threshold) shifts += std::fabs(t);
  if (c->bounded) {  // the bound, wherever the common part takes it, inside the grid
    lo = std::min(lo, c->bound - 12.0 * common_sd);
    hi = std::max(hi, c->bound + 12.0 * common_sd);
  }
  lo -= shifts;
  hi += shifts;
  if (!std::isfinite(lo) || !std::isfinite(hi)) return std::nullopt;
  // Conditioning on k rows narrows a density by about √k, and z standard
  // deviations out a density's tail changes on a scale of 1/z of one: the
  // first step is set by both, and halved until two grids agree.
  const double spread = std::max((hi - lo) / narrowest - 24.0, 0.0);
  const double parameters = static_cast<double>(c->parameter.size());
  double h = narrowest / (8.0 * std::sqrt(parameters) * std::max(1.0, std::sqrt(spread) / 2.0));
  std::optional<std::vector<double>> coarse;
  for (int refinement = 0; refinement < 8; ++refinement, h /= 2.0) {
    const double cells = std::ceil((hi - lo) / h);
    if (cells * parameters > 1e7) return std::nullopt;  // left to the lattice rules
    const Grid g{lo, h, static_cast<size_t>(cells) + 1};
    std::optional<std::vector<double>> fine = conditionals_on(g, *c, m, sd, common_sd);
    if (!fine) return std::nullopt;
    // The rules are of fourth order: halving the step leaves about 1/16 of
    // the error, which is then about 1/15 of the change.
    if (coarse) {
      bool settled = true;
      for (size_t k = 0; k < fine->size(); ++k)
        settled = settled && std::fabs((*fine)[k] - (*coarse)[k]) <= 15.0 * tolerance * (*fine)[k];
      if (settled) return fine;
    }
    coarse = std::move(fine);
  }
  return std::nullopt;
}

}  // namespace integrate
