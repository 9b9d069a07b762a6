// Probabilities of orderings under an exchangeable prior, exactly.
#pragma once

#include <optional>
#include <vector>

#include "integrate/rows.h"

namespace integrate {

// Rows that each order two parameters (c·θ_i − c·θ_j > 0, c ≠ 0, right-hand
// side 0) state a partial order of the parameters they name. Under any
// prior whose distribution is the same for every permutation of the
// parameters (N(0, BIG²·I), restricted to a box or not), all m! orderings
// of m parameters are equally likely, so the probability of rows 1..k is
// the number of orderings of their parameters that satisfy them, over m!.
//
// Returns these probabilities for k = 0 .. rows (the first is 1), or
// nothing when a row is not of that form, when the rows name more than
// kMaxOrdered parameters, or when the rows cannot all hold.
inline constexpr int kMaxOrdered = 16;
std::optional<std::vector<double>> order_probabilities(const RowSet& theta);

}  // namespace integrate
