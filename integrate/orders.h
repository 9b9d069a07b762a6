// Probabilities of orderings under an exchangeable, symmetric prior, exactly.
#pragma once

#include <optional>
#include <vector>

#include "integrate/rows.h"

namespace integrate {

// Rows that each order two parameters (c·θ_i − c·θ_j > 0, c ≠ 0) or give
// one its sign (c·θ_i > 0), with right-hand side 0, state a partial order
// of the parameters they name and of 0. Under a prior whose distribution is
// the same for every permutation of the parameters and for every change of
// their signs (N(0, BIG²·I), restricted to a box or not), the signs of m
// parameters are independent fair coins and, given them, all m! orderings
// of their magnitudes are equally likely. Placing the parameters from the
// top, an ordering with j parameters above 0 then has probability
// 1/(2^m·j!·(m−j)!), and one without 0 among the rows 1/m!; the
// probability of rows 1..k is the sum over the orderings that satisfy them.
//
// Returns these probabilities for k = 0 .. rows (the first is 1), or
// nothing when a row is not of that form, when the rows name more than
// kMaxOrdered parameters, or when they cannot all hold.
inline constexpr int kMaxOrdered = 16;
std::optional<std::vector<double>> order_probabilities(const RowSet& theta);

}  // namespace integrate
