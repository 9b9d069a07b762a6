// The standard normal distribution function and its inverse in double
// precision, for the integration method (the program's own routines are
// single precision).
#pragma once

namespace integrate {

// Φ(x), with full relative accuracy in the lower tail (Φ(-38) ≈ 2.9e-316
// is still represented); Φ(-inf) = 0, Φ(inf) = 1.
double normal_cdf(double x);

// Φ⁻¹(p) for p in (0, 1); p at or below the smallest normal double gives
// the quantile of that number, p at or above 1 - 2^-53 that of 1 - 2^-53, so
// that the result is always finite.
double normal_quantile(double p);

// Φ(u) - Φ(l) for l <= u, from the tail in which the interval lies, so that
// an interval far out in the upper tail keeps its relative accuracy.
double normal_mass(double l, double u);

// Φ(u) - Φ(l) as normal_mass, and in z the point with
// Φ(z) = Φ(l) + w·(Φ(u) - Φ(l)), w in [0, 1]: the quantile that puts the
// share w of the interval's mass below it, from the same tail. z is left
// alone when the interval is empty.
double normal_mass_split(double l, double u, double w, double& z);

}  // namespace integrate
