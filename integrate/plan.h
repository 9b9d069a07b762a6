// The separation of variables: rows over independent standard normal
// variables reduced to the span of the rows, so that each row bounds one
// variable given the ones before it, and the probability that every row
// holds becomes an integral over the unit cube of a product of normal
// masses.
#pragma once

#include <cstdint>
#include <vector>

#include "integrate/rows.h"

namespace integrate {

struct Plan {
  // Variables after the reduction (the rank of the rows).
  int32_t vars = 0;
  // Bound rows grouped by the variable they bound: those of variable j are
  // first[j] .. first[j+1]-1. Row m bounds z_j by
  //   t = (rhs[m] - Σ_{i<j} coef[m·vars + i]·z_i)·scale[m],
  // from below when scale[m] > 0, from above when it is negative.
  std::vector<int32_t> first;
  std::vector<double> coef;
  std::vector<double> scale;
  std::vector<double> rhs;
  // The outputs: output o is the product of the masses of variables
  // 0 .. out_var[o] (1 when it is -1), or 0 when out_holds[o] is 0 (a row
  // with no coefficients on the variables that cannot hold).
  std::vector<int32_t> out_var;
  std::vector<char> out_holds;
  // Whether the outputs are the probabilities of every prefix of the rows
  // (rows 1..k for output k-1); otherwise there is one output, the
  // probability that all rows hold.
  bool nested = false;

  int32_t outputs() const { return static_cast<int32_t>(out_var.size()); }
  // The dimension of the cube integrated over (the last variable's mass is
  // taken whole).
  int32_t dimension() const { return vars > 0 ? vars - 1 : 0; }
  // Work of one point, in normal distribution function evaluations.
  int64_t cost() const { return 2 * static_cast<int64_t>(vars) + static_cast<int64_t>(scale.size()); }
};

// The order in which the rows are given their variables:
//   given        the rows' own order (a QR factorisation of their
//                transpose); when every row with coefficients adds a
//                direction to those of the rows before it, the plan is
//                nested.
//   prioritised  the row that bounds its variable most tightly first, with
//                the variables before it at their expected values; the
//                plan has the one output, with a smaller variance.
//   axis_first   a first variable that no row bounds, along the
//                coordinate axis that lies furthest inside the rows' region
//                through the origin, then the rows in their own order;
//                the plan has the one output. As prioritised when no axis
//                lies inside the region's closure with some row leaning
//                towards it.
// Rows that repeat a direction (ranges, redundant rows) bound the variable
// of the last direction they have a coefficient on; a plan with such rows
// has the one output.
enum class Order { given, prioritised, axis_first };

Plan reduce(const RowSet& rows, Order order = Order::given);

// Evaluates the integrand at a point w of the unit cube (plan.dimension()
// components): writes each output to out. z is workspace of plan.vars.
void evaluate(const Plan& plan, const double* w, double* z, double* out);

}  // namespace integrate
