// Linear inequality rows over a normal vector, and their transformation to
// rows over independent standard normal variables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace integrate {

// Rows a_k·x > b_k over a vector x of `dim` components.
struct RowSet {
  int32_t dim = 0;
  std::vector<double> a;  // rows × dim, row by row
  std::vector<double> b;

  int32_t rows() const { return static_cast<int32_t>(b.size()); }
  const double* row(int32_t k) const { return a.data() + static_cast<size_t>(k) * static_cast<size_t>(dim); }
  void add(const double* coefficients, double rhs);
  // The number of nonzero coefficients of row k; the first two of them,
  // by parameter, in `first` (-1 where there are fewer).
  int32_t nonzero(int32_t k, int32_t (&first)[2]) const;
};

// The rows `theta` over θ ~ N(mean, covariance) (covariance row by row; its
// symmetric part is used) as rows over z ~ N(0, I_r), θ = mean + G·z, where
// G comes from a pivoted Cholesky factorisation of the covariance scaled to
// unit diagonal and r is its rank. Parameters with variance 0 are held at
// their estimate. Each row is divided by the norm of its coefficients times
// the parameters' standard deviations, so that a row whose coefficients
// vanish on the span of G comes out with coefficients near 0. Throws
// std::domain_error when the covariance is not positive semidefinite.
RowSet standardise(const RowSet& theta, const std::vector<double>& mean,
                   const std::vector<double>& covariance);

// The rows `theta` over θ ~ N(0, sd²·I) as rows over z ~ N(0, I), θ = sd·z,
// each divided by the norm of its coefficients.
RowSet standardise_isotropic(const RowSet& theta, double sd);

}  // namespace integrate
