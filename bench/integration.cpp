// The integration method measured: time per analysis and the relative MC
// error it reaches on Input.txt files, side by side with the Gibbs method;
// and a calibration campaign of simulated regressions whose Bayes factors
// are known exactly.
//
//   ineqbf_integration_bench inputs DIR...      each DIR/Input.txt
//   ineqbf_integration_bench calibrate [N]      N simulated regressions (200)
//   ineqbf_integration_bench typical [N]        N regressions, 10 parameters, 5 rows
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "driver/run.h"
#include "ineqbf/ineqbf.h"
#include "tests/integrate/exact.h"

namespace {

constexpr double kBig = static_cast<double>(driver::BIG);  // the prior's standard deviation

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

struct Timed {
  ineqbf::Result result;
  double ms;
};

Timed timed(const ineqbf::Problem& p, ineqbf::Method method) {
  ineqbf::Settings s;
  s.method = method;
  s.threads = 1;
  const auto t0 = std::chrono::steady_clock::now();
  ineqbf::Result r = ineqbf::analyse(p, s);
  const auto t1 = std::chrono::steady_clock::now();
  return {std::move(r), std::chrono::duration<double, std::milli>(t1 - t0).count()};
}

// ---- inputs -------------------------------------------------------------------------

// The median time of five integrations at the given precision.
Timed integrate_five(const ineqbf::Problem& p, double precision) {
  std::vector<double> ms;
  Timed t;
  for (int rep = 0; rep < 5; ++rep) {
    ineqbf::Settings s;
    s.method = ineqbf::Method::integration;
    s.precision = precision;
    const auto t0 = std::chrono::steady_clock::now();
    t.result = ineqbf::analyse(p, s);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  t.ms = median(ms);
  return t;
}

// Each input: integration at the default precision and at the relative
// error the Gibbs run states (when that is larger), and the Gibbs run.
int inputs(int argc, char** argv) {
  std::printf("%-14s %10s %9s %10s | %10s %9s %10s | %10s %10s\n", "input", "integr. ms", "rel.err", "BFia",
              "Gibbs ms", "rel.err", "BFia", "same-err ms", "speed-up");
  for (int i = 0; i < argc; ++i) {
    const ineqbf::Problem p = ineqbf::read_problem(argv[i]);
    const Timed t = integrate_five(p, 1e-3);
    const Timed g = timed(p, ineqbf::Method::gibbs);
    const double gibbs_err = g.result.bf_ia.mc_error / g.result.bf_ia.value;
    const Timed same = std::isfinite(gibbs_err) && gibbs_err > 1e-3 ? integrate_five(p, gibbs_err) : t;
    std::string name = std::filesystem::path(argv[i]).parent_path().filename().string();
    std::printf("%-14s %10.2f %9.2e %10.4f | %10.1f %9.2e %10.3f | %10.2f %10.0f%s\n", name.c_str(), t.ms,
                t.result.bf_ia.mc_error / t.result.bf_ia.value, t.result.bf_ia.value, g.ms, gibbs_err,
                g.result.bf_ia.value, same.ms, g.ms / same.ms, t.result.warnings.empty() ? "" : "  (precision not reached)");
  }
  return 0;
}

// ---- simulated regressions -------------------------------------------------------------

// Solves the symmetric positive definite system by Gauss–Jordan; returns the inverse.
std::vector<double> inverse(std::vector<double> a, size_t n) {
  std::vector<double> inv(n * n, 0.0);
  for (size_t i = 0; i < n; ++i) inv[i * n + i] = 1.0;
  for (size_t c = 0; c < n; ++c) {
    size_t p = c;
    for (size_t r = c + 1; r < n; ++r)
      if (std::fabs(a[r * n + c]) > std::fabs(a[p * n + c])) p = r;
    for (size_t j = 0; j < n; ++j) {
      std::swap(a[c * n + j], a[p * n + j]);
      std::swap(inv[c * n + j], inv[p * n + j]);
    }
    const double d = a[c * n + c];
    for (size_t j = 0; j < n; ++j) {
      a[c * n + j] /= d;
      inv[c * n + j] /= d;
    }
    for (size_t r = 0; r < n; ++r) {
      if (r == c) continue;
      const double f = a[r * n + c];
      for (size_t j = 0; j < n; ++j) {
        a[r * n + j] -= f * a[c * n + j];
        inv[r * n + j] -= f * inv[c * n + j];
      }
    }
  }
  return inv;
}

// An ordinary least squares fit of simulated data: an intercept and
// `predictors` uncentred, correlated predictors on scales 1e-2 to 1e3.
struct Regression {
  ineqbf::Problem problem;
  std::vector<double> scale;  // of each parameter (1 for the intercept)
  double max_correlation;
};

Regression simulate(std::mt19937_64& g, size_t predictors) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::normal_distribution<double> z(0.0, 1.0);
  const size_t n = 20 + static_cast<size_t>(u(g) * 180), p = predictors + 1;
  std::vector<double> scale(p, 1.0), centre(p, 0.0);
  for (size_t j = 1; j < p; ++j) {
    scale[j] = std::pow(10.0, -2.0 + 5.0 * u(g));
    centre[j] = scale[j] * (2.0 + 8.0 * u(g));
  }
  const double shared = 0.99 * u(g);  // the share of a common factor in every predictor
  std::vector<double> x(n * p), y(n), beta(p);
  for (size_t j = 0; j < p; ++j) beta[j] = (u(g) - 0.5) * 0.6 / (j == 0 ? 1.0 : scale[j]);
  for (size_t i = 0; i < n; ++i) {
    const double f = z(g);
    x[i * p] = 1.0;
    for (size_t j = 1; j < p; ++j)
      x[i * p + j] = centre[j] + scale[j] * (std::sqrt(shared) * f + std::sqrt(1.0 - shared) * z(g));
    y[i] = z(g);
    for (size_t j = 0; j < p; ++j) y[i] += x[i * p + j] * beta[j];
  }
  std::vector<double> xtx(p * p, 0.0), xty(p, 0.0);
  for (size_t i = 0; i < n; ++i)
    for (size_t a = 0; a < p; ++a) {
      xty[a] += x[i * p + a] * y[i];
      for (size_t b = 0; b < p; ++b) xtx[a * p + b] += x[i * p + a] * x[i * p + b];
    }
  const std::vector<double> inv = inverse(xtx, p);
  Regression r;
  r.problem.means.assign(p, 0.0);
  for (size_t a = 0; a < p; ++a)
    for (size_t b = 0; b < p; ++b) r.problem.means[a] += inv[a * p + b] * xty[b];
  double rss = 0.0;
  for (size_t i = 0; i < n; ++i) {
    double e = y[i];
    for (size_t j = 0; j < p; ++j) e -= x[i * p + j] * r.problem.means[j];
    rss += e * e;
  }
  const double s2 = rss / static_cast<double>(n - p);
  r.problem.covariance.resize(p * p);
  for (size_t k = 0; k < p * p; ++k) r.problem.covariance[k] = s2 * (0.5 * (inv[k] + inv[(k % p) * p + k / p]));
  r.scale = scale;
  r.max_correlation = 0.0;
  for (size_t a = 0; a < p; ++a)
    for (size_t b = 0; b < a; ++b)
      r.max_correlation = std::max(r.max_correlation, std::fabs(r.problem.covariance[a * p + b]) /
                                                          std::sqrt(r.problem.covariance[a * p + a] * r.problem.covariance[b * p + b]));
  return r;
}

// A hypothesis of `rows` rows on distinct parameters: signs, orders of
// standardised slopes, a threshold near an estimate; slopes and intercept.
std::vector<ineqbf::Constraint> hypothesis(std::mt19937_64& g, const Regression& r, size_t rows) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const size_t p = r.problem.means.size();
  std::vector<size_t> order(p);
  for (size_t j = 0; j < p; ++j) order[j] = j;
  std::shuffle(order.begin(), order.end(), g);
  std::vector<ineqbf::Constraint> out;
  for (size_t k = 0; k < rows; ++k) {
    ineqbf::Constraint c{std::vector<double>(p, 0.0), 0.0};
    const size_t j = order[k];
    const double sign = u(g) < 0.5 ? 1.0 : -1.0;
    const double kind = u(g);
    if (kind < 0.5 || p <= rows) {
      c.coefficients[j] = sign;  // a sign
    } else if (kind < 0.8) {
      const size_t i = order[rows + k % (p - rows)];  // an order of two standardised slopes
      c.coefficients[j] = sign * r.scale[j];
      c.coefficients[i] = -sign * r.scale[i];
    } else {
      const double sd = std::sqrt(r.problem.covariance[j * p + j]);  // a threshold
      c.coefficients[j] = sign;
      c.rhs = sign * (r.problem.means[j] + sd * (u(g) * 3.0 - 1.5));
    }
    out.push_back(c);
  }
  return out;
}

double exact_bf(const ineqbf::Problem& p) {
  std::vector<std::vector<double>> c;
  std::vector<double> rhs;
  for (const ineqbf::Constraint& k : p.constraints) {
    c.push_back(k.coefficients);
    rhs.push_back(k.rhs);
  }
  const size_t n = p.means.size();
  std::vector<double> prior(n * n, 0.0);
  for (size_t i = 0; i < n; ++i) prior[i * n + i] = kBig * kBig;
  return exact::probability(c, rhs, p.means, p.covariance) /
         exact::probability(c, rhs, std::vector<double>(n, 0.0), prior);
}

// A problem as the rows of an Input.txt, for a closer look.
void dump(const ineqbf::Problem& p) {
  const size_t n = p.means.size();
  std::printf("%zu %zu\nEstimates\n", n, p.constraints.size());
  for (double m : p.means) std::printf("%.17g ", m);
  std::printf("\nCovariance\n");
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) std::printf("%.17g ", p.covariance[i * n + j]);
    std::printf("\n");
  }
  std::printf("Rows\n");
  for (const ineqbf::Constraint& c : p.constraints) {
    for (double x : c.coefficients) std::printf("%.17g ", x);
    std::printf("%.17g\n", c.rhs);
  }
}

int calibrate(size_t count, bool gibbs) {
  std::mt19937_64 g(20261208);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  size_t within = 0, used = 0, gibbs_off = 0;
  double worst = 0.0, max_corr = 0.0;
  std::vector<double> rel_err, ms;
  for (size_t i = 0; i < count; ++i) {
    Regression r = simulate(g, 2 + static_cast<size_t>(u(g) * 5));
    r.problem.constraints = hypothesis(g, r, 1 + static_cast<size_t>(u(g) * 3));
    const auto e0 = std::chrono::steady_clock::now();
    const double exact = exact_bf(r.problem);
    if (std::getenv("INEQBF_BENCH_DUMP"))
      std::printf("  problem %zu: exact in %.0f ms\n", i, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - e0).count());
    if (!(exact > 0.0) || !std::isfinite(exact)) continue;
    const Timed t = timed(r.problem, ineqbf::Method::integration);
    const double bf = t.result.bf_ia.value, err = t.result.bf_ia.mc_error;
    ++used;
    max_corr = std::max(max_corr, r.max_correlation);
    if (std::fabs(bf - exact) <= 4 * err + 1e-7 * exact) ++within;
    else {
      std::printf("  problem %zu: BFia %.8g ± %.3g, exact %.8g (%.1f errors)\n", i, bf, err, exact, std::fabs(bf - exact) / err);
      if (std::getenv("INEQBF_BENCH_DUMP")) dump(r.problem);
    }
    worst = std::max(worst, std::fabs(bf / exact - 1.0));
    rel_err.push_back(err / bf);
    ms.push_back(t.ms);
    if (gibbs) {
      const Timed gb = timed(r.problem, ineqbf::Method::gibbs);
      if (std::fabs(gb.result.bf_ia.value / exact - 1.0) > 0.25) ++gibbs_off;
    }
  }
  std::printf("problems %zu (largest correlation of two estimates %.6f)\n", used, max_corr);
  std::printf("within 4 stated MC errors of the exact BFia: %zu (%.1f %%)\n", within, 100.0 * within / used);
  std::printf("largest relative error: %.3g\n", worst);
  std::printf("median relative MC error: %.3g\n", median(rel_err));
  std::printf("time per analysis: median %.3f ms, largest %.3f ms\n", median(ms), *std::max_element(ms.begin(), ms.end()));
  if (gibbs) std::printf("Gibbs BFia more than 25 %% off the exact value: %zu of %zu\n", gibbs_off, used);
  return 0;
}

int typical(size_t count) {
  std::mt19937_64 g(7);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> ms, rel;
  for (size_t i = 0; i < count; ++i) {
    Regression r = simulate(g, 9);
    r.problem.constraints = hypothesis(g, r, 1 + static_cast<size_t>(u(g) * 5));
    const Timed t = timed(r.problem, ineqbf::Method::integration);
    ms.push_back(t.ms);
    rel.push_back(t.result.bf_ia.mc_error / t.result.bf_ia.value);
  }
  std::sort(ms.begin(), ms.end());
  std::printf("10 parameters, 1 to 5 rows, %zu problems: median %.3f ms, 95th percentile %.3f ms, largest %.3f ms; "
              "median relative MC error %.3g\n",
              count, median(ms), ms[ms.size() * 95 / 100], ms.back(), median(rel));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "inputs") return inputs(argc - 2, argv + 2);
  if (mode == "calibrate") return calibrate(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200, argc > 3);
  if (mode == "typical") return typical(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200);
  std::fprintf(stderr, "usage: %s inputs DIR/Input.txt... | calibrate [N [gibbs]] | typical [N]\n", argv[0]);
  return 2;
}
