// Analyses by integration: the pieces shared by the computation
// (integration.cpp) and its report, console and warnings
// (integration_output.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ineqbf/ineqbf.h"

namespace ineqbf::detail {

// The replicates of every Bayes factor and probability of an integration.
inline constexpr int32_t kIntegrationReplicates = 1000;

// An estimate with its relative deviations under each random shift, to
// first order: the quantity under shift s is value·(1 + deviation[s]).
// Products and quotients of quantities add and subtract deviations.
struct Linearised {
  double value = 0.0;
  std::vector<double> deviation;

  // The standard error of the value over the shifts.
  double error() const;
};

// The Bayes factors' estimates (value, MC error from the shifts, 2.5 and
// 97.5 percentiles) and replicates from their linearised forms: replicate
// r is value·exp(Σ_s g[r][s]·deviation[s] / √(S·(S-1))), with g standard
// normal deviates drawn once per analysis from the seed, so that every
// quantity's replicates have its standard error and the correlations the
// shifts show.
class Replicator {
 public:
  Replicator(int32_t seed, int32_t shifts);
  std::vector<double> replicates(const Linearised& q) const;

 private:
  int32_t shifts_;
  std::vector<double> g_;  // kIntegrationReplicates × shifts
};

Estimate estimate_of(const Linearised& q, const std::vector<double>& replicates);

// The report, in the layout of the program's Output.txt, with the points of
// each final rule where the program writes its iterations.
std::string integration_report(const Result& r);
// The progress lines of the program's console, fit and complexity of each
// constraint in turn.
void integration_console(Result& r, const Settings& settings);
// Warnings about fits or complexities that are 0 (and the Bayes factors
// that are then 0, infinite or not a number), and about a precision not
// reached.
void integration_warnings(Result& r, double precision, double bf_ia_error, int64_t largest_rule);

}  // namespace ineqbf::detail
