// Fits of chains of orders over independent estimates, by one-dimensional
// recursion.
#pragma once

#include <optional>
#include <vector>

#include "integrate/rows.h"

namespace integrate {

// Rows that order parameters along one chain, θ_{p1} − θ_{p2} > t1,
// θ_{p2} − θ_{p3} > t2, … (each row a multiple c·(θ_i − θ_j) > r with
// c > 0 or c < 0, the parameters of the chain distinct; or the chain
// climbing, θ_{p2} − θ_{p1} > t1, θ_{p3} − θ_{p2} > t2, …), depend on the
// estimates only through their differences. When the covariance among the
// chain's parameters is D + a·11ᵀ (equal covariances, as for independent
// group means, a = 0, or the coefficients of one factor against a
// reference level), the differences are those of independent X_i ~
// N(mean_i, D_ii), and the probability of rows 1..k is a k-fold nested
// one-dimensional integral:
//   W_1 = f_{p1},  W_{j+1}(x) = f_{p(j+1)}(x) · ∫_{x + t_j}^∞ W_j,
//   P(rows 1..j) = ∫ W_{j+1}.
// A last row may bound the chain's last parameter (b1 > b2 > b3 > 0, or
// b1 < b2 < b3 < 5); that one is not a difference, and its conditional
// probability adds the common part as a normal of its own (a ≥ 0):
// ∫ φ(z)·P(X_last + √a·z > bound | rows before) dz.
// Computed on a uniform grid with fourth-order rules, the grid refined
// until the error of the finer of two successive grids, estimated from
// their difference, is below `tolerance` (relative).
//
// Returns the conditional probabilities P(rows 1..k)/P(rows 1..k-1) for
// k = 1 .. rows, or nothing when the rows or the covariance are not of
// that form, or when the grid does not settle.
std::optional<std::vector<double>> chain_conditionals(const RowSet& theta, const std::vector<double>& mean,
                                                      const std::vector<double>& covariance, double tolerance);

}  // namespace integrate
