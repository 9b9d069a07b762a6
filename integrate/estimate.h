// Randomised quasi-Monte Carlo estimates of a plan's outputs: the lattice
// rules of lattice.h, each under a number of independent random shifts,
// doubled in size until the relative error of an output is small enough.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "integrate/plan.h"

namespace integrate {

// The number of random shifts of every rule: the error of an estimate is
// the standard deviation of the shifts' estimates over √kShifts.
inline constexpr int32_t kShifts = 10;

struct Controls {
  // Stop when the relative standard error of output `watch` is at most
  // this (or it is exactly 0 or known exactly).
  double target = 1e-3;
  int32_t watch = 0;
  // Points times the plan's cost a single estimate may spend (about a
  // second); a rule that would pass it is not started.
  int64_t work_cap = int64_t{1} << 25;
  // The largest rule (an index into kKorobovRules) the estimate may run.
  int32_t last_level = 1 << 30;
  uint64_t seed = 0;
  uint64_t stream = 0;
  // Polled before every rule; true ends the estimate with cancelled set.
  std::function<bool()> cancel;
};

struct Estimates {
  int32_t outputs = 0;
  // The estimate of each output under each shift: [output·kShifts + shift].
  std::vector<double> per_shift;
  int64_t points = 0;     // of the final rule, all shifts
  bool reached = true;    // the target was met
  bool cancelled = false;

  double mean(int32_t o) const;
  // The standard error of the mean over the shifts.
  double error(int32_t o) const;
};

Estimates estimate(const Plan& plan, const Controls& controls);

}  // namespace integrate
