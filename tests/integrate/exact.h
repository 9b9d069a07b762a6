// Exact multivariate normal probabilities of up to three rows, for tests
// and the calibration campaign: closed forms where there are any, else
// adaptive Gauss–Legendre quadrature of the conditional form (one or two
// nested one-dimensional integrals), to about 1e-12 relative.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <vector>

namespace exact {

inline double upper_tail(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }  // P(X > x)
inline double density(double x) { return std::exp(-0.5 * x * x) / std::sqrt(2.0 * M_PI); }

// Gauss–Legendre nodes and weights on [-1, 1], by Newton's method on the
// Legendre polynomial.
struct GaussLegendre {
  static constexpr int n = 20;
  std::array<double, n> x{}, w{};
  GaussLegendre() {
    for (int i = 0; i < n; ++i) {
      double z = std::cos(M_PI * (i + 0.75) / (n + 0.5)), dp = 0.0;
      for (int it = 0; it < 100; ++it) {
        double p0 = 1.0, p1 = z;
        for (int k = 2; k <= n; ++k) {
          const double p2 = ((2.0 * k - 1.0) * z * p1 - (k - 1.0) * p0) / k;
          p0 = p1;
          p1 = p2;
        }
        dp = n * (z * p1 - p0) / (z * z - 1.0);
        const double dz = p1 / dp;
        z -= dz;
        if (std::fabs(dz) < 1e-16) break;
      }
      x[static_cast<size_t>(i)] = z;
      w[static_cast<size_t>(i)] = 2.0 / ((1.0 - z * z) * dp * dp);
    }
  }
  double rule(const std::function<double(double)>& f, double a, double b) const {
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += w[static_cast<size_t>(i)] * f(0.5 * (a + b) + 0.5 * (b - a) * x[static_cast<size_t>(i)]);
    return 0.5 * (b - a) * s;
  }
};

inline const GaussLegendre& gauss_legendre() {
  static const GaussLegendre g;
  return g;
}

inline double adaptive(const std::function<double(double)>& f, double a, double b, double whole, double tol, int depth) {
  const double m = 0.5 * (a + b);
  const double left = gauss_legendre().rule(f, a, m), right = gauss_legendre().rule(f, m, b);
  const double diff = std::fabs(left + right - whole);
  if (depth <= 0 || diff <= tol || diff <= 1e-15 * std::fabs(left + right)) return left + right;
  return adaptive(f, a, m, left, tol, depth - 1) + adaptive(f, m, b, right, tol, depth - 1);
}

// ∫_a^b f with an absolute tolerance.
inline double integral(const std::function<double(double)>& f, double a, double b, double tol) {
  if (!(a < b)) return 0.0;
  return adaptive(f, a, b, gauss_legendre().rule(f, a, b), tol, 16);
}

// P(X1 > h1, X2 > h2) for standard normals with correlation rho, to an
// absolute tolerance of about tol.
inline double orthant2(double h1, double h2, double rho, double tol = 1e-15) {
  if (rho == 0.0) return upper_tail(h1) * upper_tail(h2);
  const double s = std::sqrt(1.0 - rho * rho);
  if (h1 > h2) std::swap(h1, h2);  // integrate over the larger region's variable
  const double lo = std::max(h1, -40.0), hi = std::max(lo, 0.0) + 40.0;
  auto f = [&](double x) { return density(x) * upper_tail((h2 - rho * x) / s); };
  return integral(f, lo, hi, tol);
}

// P(X1 > h1, X2 > h2, X3 > h3) for standard normals with correlations
// r12, r13, r23: the first integrated out, the other two conditionally.
inline double orthant3(std::array<double, 3> h, double r12, double r13, double r23, double tol = 1e-14) {
  const double s2 = std::sqrt(1.0 - r12 * r12), s3 = std::sqrt(1.0 - r13 * r13);
  const double r = (r23 - r12 * r13) / (s2 * s3);
  const double lo = std::max(h[0], -40.0), hi = std::max(lo, 0.0) + 40.0;
  auto f = [&](double x) {
    return density(x) * orthant2((h[1] - r12 * x) / s2, (h[2] - r13 * x) / s3, std::clamp(r, -1.0, 1.0), tol / 10);
  };
  return integral(f, lo, hi, tol);
}

// P(rows c_k·θ > r_k for all k) under θ ~ N(mean, cov) (cov row by row), for
// one to three rows that are linearly independent under cov.
inline double probability(const std::vector<std::vector<double>>& c, const std::vector<double>& r,
                          const std::vector<double>& mean, const std::vector<double>& cov) {
  const size_t n = mean.size(), K = c.size();
  std::vector<double> m(K), h(K);
  std::vector<std::vector<double>> s(K, std::vector<double>(K));
  for (size_t a = 0; a < K; ++a) {
    m[a] = -r[a];
    for (size_t i = 0; i < n; ++i) m[a] += c[a][i] * mean[i];
    for (size_t b = 0; b < K; ++b) {
      double v = 0.0;
      for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j) v += c[a][i] * cov[i * n + j] * c[b][j];
      s[a][b] = v;
    }
  }
  for (size_t a = 0; a < K; ++a) h[a] = -m[a] / std::sqrt(s[a][a]);
  auto rho = [&](size_t a, size_t b) { return s[a][b] / std::sqrt(s[a][a] * s[b][b]); };
  if (K == 0) return 1.0;
  if (K == 1) return upper_tail(h[0]);
  // A first pass to the tolerance of the largest marginal, then a second
  // relative to the probability found, which may be far smaller.
  auto pass = [&](double tol) {
    return K == 2 ? orthant2(h[0], h[1], rho(0, 1), tol)
                  : orthant3({h[0], h[1], h[2]}, rho(0, 1), rho(0, 2), rho(1, 2), tol);
  };
  if (K == 2 || K == 3) {
    const double scale = upper_tail(*std::max_element(h.begin(), h.end()));
    const double first = pass(1e-13 * scale);
    return first > 0.0 && first < 1e-3 * scale ? pass(1e-13 * first) : first;
  }
  throw std::invalid_argument("exact::probability takes one to three rows");
}

}  // namespace exact
