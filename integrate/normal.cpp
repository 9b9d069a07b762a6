// The normal distribution function through the complementary error function,
// and its inverse by Wichura's rational approximations (algorithm AS 241,
// relative accuracy about 1e-16).
#include "integrate/normal.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "integrate/elementary.h"

namespace integrate {

namespace {

constexpr double kSqrtHalf = 0.70710678118654752440;

// AS 241, |p - 0.5| <= 0.425: numerator and denominator in r = 0.180625 - q²,
// lowest power first; Φ⁻¹(0.5 + q) ≈ q·A(r)/B(r).
static constexpr double kCentralA[8] = {
    3.3871328727963666080e0,  1.3314166789178437745e+2, 1.9715909503065514427e+3,
    1.3731693765509461125e+4, 4.5921953931549871457e+4, 6.7265770927008700853e+4,
    3.3430575583588128105e+4, 2.5090809287301226727e+3};
static constexpr double kCentralB[8] = {
    1.0,                      4.2313330701600911252e+1, 6.8718700749205790830e+2,
    5.3941960214247511077e+3, 2.1213794301586595867e+4, 3.9307895800092710610e+4,
    2.8729085735721942674e+4, 5.2264952788528545610e+3};
// AS 241, tails with r = sqrt(-log(min(p, 1-p))) <= 5, in r - 1.6.
static constexpr double kNearC[8] = {
    1.42343711074968357734e0,  4.63033784615654529590e0,  5.76949722146069140550e0,
    3.64784832476320460504e0,  1.27045825245236838258e0,  2.41780725177450611770e-1,
    2.27238449892691845833e-2, 7.74545014278341407640e-4};
static constexpr double kNearD[8] = {
    1.0,                       2.05319162663775882187e0,  1.67638483018380384940e0,
    6.89767334985100004550e-1, 1.48103976427480074590e-1, 1.51986665636164571966e-2,
    5.47593808499534494600e-4, 1.05075007164441684324e-9};
// AS 241, far tails r > 5, in r - 5.
static constexpr double kFarE[8] = {
    6.65790464350110377720e0,  5.46378491116411436990e0,  1.78482653991729133580e0,
    2.96560571828504891230e-1, 2.65321895265761230930e-2, 1.24266094738807843860e-3,
    2.71155556874348757815e-5, 2.01033439929228813265e-7};
static constexpr double kFarF[8] = {
    1.0,                       5.99832206555887937690e-1, 1.36929880922735805310e-1,
    1.48753612908506148525e-2, 7.86869131145613259100e-4, 1.84631831751005468180e-5,
    1.42151175831644588870e-7, 2.04426310338993978564e-15};

}  // namespace

double normal_cdf(double x) { return 0.5 * integrate::erfc(-x * kSqrtHalf); }

double normal_quantile(double p) {
  p = std::clamp(p, DBL_MIN, 1.0 - DBL_EPSILON / 2);
  const double q = p - 0.5;
  if (std::fabs(q) <= 0.425) {
    const double r = 0.180625 - q * q;
    return q * elementary::polynomial(kCentralA, r) / elementary::polynomial(kCentralB, r);
  }
  double r = std::sqrt(-integrate::log(q < 0.0 ? p : 1.0 - p));
  double z;
  if (r <= 5.0) {
    r -= 1.6;
    z = elementary::polynomial(kNearC, r) / elementary::polynomial(kNearD, r);
  } else {
    r -= 5.0;
    z = elementary::polynomial(kFarE, r) / elementary::polynomial(kFarF, r);
  }
  return q < 0.0 ? -z : z;
}

// Φ(u) - Φ(l) for l < 0 < u as the sum of the two halves' masses, which
// keeps a narrow interval about 0 accurate.
double straddling_mass(double l, double u) {
  return 0.5 * (integrate::erf(u * kSqrtHalf) - integrate::erf(l * kSqrtHalf));
}

double normal_mass(double l, double u) {
  if (!(l < u)) return 0.0;
  if (l >= 0.0) return normal_cdf(-l) - normal_cdf(-u);
  if (u <= 0.0) return normal_cdf(u) - normal_cdf(l);
  return straddling_mass(l, u);
}

double normal_mass_split(double l, double u, double w, double& z) {
  if (!(l < u)) return 0.0;
  if (l > 0.0) {
    const double ql = normal_cdf(-l);
    const double mass = ql - (std::isinf(u) ? 0.0 : normal_cdf(-u));
    z = -normal_quantile(ql - w * mass);
    return mass;
  }
  const double pl = std::isinf(l) ? 0.0 : normal_cdf(l);
  const double mass = u <= 0.0 || std::isinf(l) || std::isinf(u) ? (std::isinf(u) ? 1.0 : normal_cdf(u)) - pl
                                                                : straddling_mass(l, u);
  z = normal_quantile(pl + w * mass);
  return mass;
}

}  // namespace integrate
