// What the library checks around an analysis and says as warnings (or, for
// requests that cannot be evaluated, as errors): rows that cannot all hold,
// rows that enclose a bounded region, an asymmetric or ill-conditioned
// covariance matrix, Gibbs estimates off their integrated values, and
// Bayes factors or posterior probabilities that are not finite.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "ineqbf/ineqbf.h"

namespace ineqbf::detail {

// ---- linear programming over constraint rows (checks_rows.cpp) -------------

// The largest t with a_i·x − t ≥ c_i for every row i and t ≤ 1, over free x,
// by a dense simplex with Bland's rule; empty when the solver gives up. The
// rows must have no all-zero coefficient vector. The set {x : a_i·x > c_i}
// is non-empty exactly when the result is above 0. A result of 0 or less
// comes with its proof, weights w ≥ 0 summing to 1 with Σ w_i·a_i = 0 and
// Σ w_i·c_i ≥ 0, in `proof` when given; without a proof it is empty.
std::optional<double> largest_margin(const std::vector<std::vector<double>>& a,
                                     const std::vector<double>& c, std::vector<double>* proof = nullptr);

// How the rows of a hypothesis stand: the 0-based indices of a small set of
// rows that cannot hold together (empty when they can), and, when they can,
// of a small set that encloses the region in some direction on both sides,
// so that its prior probability vanishes as the prior widens (empty when
// the region reaches infinity with room in every direction it spreads in).
struct RowsVerdict {
  std::vector<size_t> conflicting;
  std::vector<size_t> bounding;
};
RowsVerdict judge_rows(const std::vector<Constraint>& rows);

// "the constraints cannot all hold: rows 1 and 2 (b1 > 1, -b1 > 0)
// contradict each other", from a verdict's conflicting rows.
std::string conflict_message(const std::vector<Constraint>& rows, const std::vector<size_t>& conflicting,
                             const std::vector<std::string>& names);
// The warning for a verdict's bounding rows.
std::string bounded_message(const std::vector<Constraint>& rows, const std::vector<size_t>& bounding,
                            const std::vector<std::string>& names);

// ---- the covariance matrix (checks.cpp, checks_gibbs.cpp) -------------------

// One warning per pair (i, j) whose elements differ once rounded to single
// precision, at most five, then how many more there are.
std::vector<Warning> asymmetry_warnings(const Problem& p);

// The condition number of the correlation matrix of the covariance matrix
// (symmetrised), from its eigenvalues; infinite when it is not positive
// definite, empty when it has no positive diagonal or is too large to check.
std::optional<double> correlation_condition(const Problem& p);
// Beyond this condition number single precision holds the matrix without a
// correct digit of its smallest eigenvalue: 1/FLT_EPSILON = 2^23.
inline constexpr double kSingleConditionLimit = 8388608.0;

// ---- Gibbs against integration (checks_gibbs.cpp) ---------------------------

// Whether a Gibbs estimate is off its integrated value: by more than four of
// its stated MC errors and by more than 2 % of the integrated value. The
// integrated value's own MC error, negligible where the integration reached
// its precision, is added to the Gibbs error, so that an integration that
// stopped short of it raises no false alarm. False when a value is not
// finite.
bool off_integrated(double value, double mc_error, double integrated, double integrated_error = 0.0);

// The warnings for the fits, complexities and BFia of a Gibbs result that
// are off those of its integrated counterpart.
std::vector<Warning> off_warnings(const Result& gibbs, const Result& integrated);

// The warnings of a Gibbs result whose fits, complexities or BFia are off
// their integrated values (boxed prior, the problem's values rounded to
// single precision). Never throws: when the integration cannot be made the
// check is skipped, with a warning when it ran out of time.
std::vector<Warning> gibbs_check(const Problem& p, const Result& gibbs, const Settings& settings,
                                 double gibbs_seconds);

// ---- values that are not finite (checks.cpp) --------------------------------

// Notes on the Bayes factors of a result that are not finite, saying why.
std::vector<Warning> not_finite_warnings(const Result& r);
// Notes on the comparisons and posterior probabilities of c that are not
// finite, added to the results of the hypotheses they concern.
void note_not_finite(Comparison& c);

// ---- before an analysis (checks.cpp) ---------------------------------------

// A value in a message: six significant digits, "inf", "nan".
std::string number_text(double v);
// The names rows are written with: the problem's, else theta1, theta2, …
std::vector<std::string> names_of(const Problem& p);
// A row with every value rounded once to single precision.
Constraint rounded_row(const Constraint& row);
// The problem with every value rounded once to single precision, as the
// Gibbs method holds it.
Problem rounded_problem(const Problem& p);
// Throws Error(Status::usage) when the rows of hypothesis h (0-based) of n
// cannot all hold; the message names the hypothesis and the rows.
void refuse_conflicting(const Hypothesis& h, size_t index, const std::vector<std::string>& names);

}  // namespace ineqbf::detail
