// Whitening: rows over a correlated normal vector become rows over
// independent standard normal variables.
#include "integrate/rows.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace integrate {

namespace {

// Pivots at or below this (on the unit-diagonal scale) end the
// factorisation: the remaining directions carry no variance.
constexpr double kRankTolerance = 1e-13;
// Residuals below this are rounding, not a negative eigenvalue.
constexpr double kNegativeTolerance = 1e-9;

// Pivoted Cholesky factor of the symmetric matrix m (n × n, unit diagonal
// or zero rows): m ≈ g·gᵀ with g n × rank, row by row with n columns
// allocated. Returns the rank.
int32_t pivoted_cholesky(const std::vector<double>& m, int32_t n, std::vector<double>& g) {
  const size_t nn = static_cast<size_t>(n);
  g.assign(nn * nn, 0.0);
  std::vector<double> d(nn);
  std::vector<char> used(nn, 0);
  for (size_t i = 0; i < nn; ++i) d[i] = m[i * nn + i];
  int32_t rank = 0;
  for (size_t j = 0; j < nn; ++j) {
    size_t p = nn;
    for (size_t i = 0; i < nn; ++i)
      if (!used[i] && (p == nn || d[i] > d[p])) p = i;
    if (p == nn || !(d[p] > kRankTolerance)) break;
    used[p] = 1;
    const double pivot = std::sqrt(d[p]);
    g[p * nn + j] = pivot;
    for (size_t i = 0; i < nn; ++i) {
      if (used[i]) continue;
      double s = m[i * nn + p];
      for (size_t t = 0; t < j; ++t) s -= g[i * nn + t] * g[p * nn + t];
      g[i * nn + j] = s / pivot;
      d[i] -= g[i * nn + j] * g[i * nn + j];
    }
    rank = static_cast<int32_t>(j + 1);
  }
  // What is left must be a positive semidefinite remainder of rounding size.
  for (size_t i = 0; i < nn; ++i) {
    if (used[i]) continue;
    for (size_t k = 0; k < nn; ++k) {
      if (used[k]) continue;
      double s = m[i * nn + k];
      for (size_t t = 0; t < static_cast<size_t>(rank); ++t) s -= g[i * nn + t] * g[k * nn + t];
      if ((i == k && s < -kNegativeTolerance) || std::fabs(s) > kNegativeTolerance)
        throw std::domain_error("the covariance matrix is not positive semidefinite");
    }
  }
  return rank;
}

void normalise(RowSet& r, int32_t k, double scale) {
  if (!(scale > 0.0) || !std::isfinite(scale)) return;
  double* a = r.a.data() + static_cast<size_t>(k) * static_cast<size_t>(r.dim);
  for (int32_t j = 0; j < r.dim; ++j) a[j] /= scale;
  r.b[static_cast<size_t>(k)] /= scale;
}

}  // namespace

void RowSet::add(const double* coefficients, double rhs) {
  a.insert(a.end(), coefficients, coefficients + dim);
  b.push_back(rhs);
}

int32_t RowSet::nonzero(int32_t k, int32_t (&first)[2]) const {
  const double* c = row(k);
  first[0] = first[1] = -1;
  int32_t n = 0;
  for (int32_t i = 0; i < dim; ++i)
    if (c[i] != 0.0 && n++ < 2) first[n - 1] = i;
  return n;
}

RowSet standardise(const RowSet& theta, const std::vector<double>& mean,
                   const std::vector<double>& covariance) {
  const int32_t n = theta.dim;
  const size_t nn = static_cast<size_t>(n);
  std::vector<double> sd(nn);
  for (size_t i = 0; i < nn; ++i) {
    const double v = covariance[i * nn + i];
    if (v < 0.0 || !std::isfinite(v))
      throw std::domain_error("the variance of parameter " + std::to_string(i + 1) + " is negative");
    sd[i] = std::sqrt(v);
  }
  std::vector<double> corr(nn * nn, 0.0);
  for (size_t i = 0; i < nn; ++i)
    for (size_t j = 0; j < nn; ++j) {
      const double c = 0.5 * (covariance[i * nn + j] + covariance[j * nn + i]);
      if (sd[i] > 0.0 && sd[j] > 0.0) corr[i * nn + j] = i == j ? 1.0 : c / (sd[i] * sd[j]);
      else if (c != 0.0) throw std::domain_error("the covariance matrix is not positive semidefinite");
    }
  std::vector<double> g;
  const int32_t rank = pivoted_cholesky(corr, n, g);
  RowSet out;
  out.dim = rank;
  std::vector<double> row(static_cast<size_t>(rank));
  for (int32_t k = 0; k < theta.rows(); ++k) {
    const double* c = theta.row(k);
    double shift = 0.0, scale = 0.0;
    for (size_t i = 0; i < nn; ++i) {
      shift += c[i] * mean[i];
      scale += (c[i] * sd[i]) * (c[i] * sd[i]);
    }
    for (size_t j = 0; j < static_cast<size_t>(rank); ++j) {
      double s = 0.0;
      for (size_t i = 0; i < nn; ++i) s += c[i] * sd[i] * g[i * nn + j];
      row[j] = s;
    }
    out.add(row.data(), theta.b[static_cast<size_t>(k)] - shift);
    normalise(out, k, std::sqrt(scale));
  }
  return out;
}

RowSet standardise_isotropic(const RowSet& theta, double sd) {
  RowSet out = theta;
  for (int32_t k = 0; k < out.rows(); ++k) {
    const double* c = out.row(k);
    double scale = 0.0;
    for (int32_t j = 0; j < out.dim; ++j) scale += c[j] * c[j];
    out.b[static_cast<size_t>(k)] /= sd;
    normalise(out, k, std::sqrt(scale));
  }
  return out;
}

}  // namespace integrate
