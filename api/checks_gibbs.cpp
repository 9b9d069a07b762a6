// Whether a Gibbs run can be trusted: its estimates against the same
// quantities integrated, and the covariance matrix against what single
// precision can hold.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "api/checks.h"
#include "api/internal.h"

namespace ineqbf {

namespace {

// Matrices larger than this are not checked: the eigenvalues would cost
// more than the check is worth.
constexpr size_t kMaxConditionOrder = 400;
// The integration of a check gets half the Gibbs run's own time, at least
// the floor and at most the cap, and is abandoned beyond it.
constexpr double kCheckShareOfRun = 0.5;
constexpr double kCheckSecondsFloor = 0.5;
constexpr double kCheckSecondsCap = 30.0;
// The relative MC error the check's integration aims at: a quarter of the
// 2 % a warning needs (its own error is added to the run's in the rule).
constexpr double kCheckPrecision = 0.005;

constexpr const char* kRemedy = "use --method integration (method = \"integration\" in R and Python)";

std::string number(double v) { return detail::number_text(v); }

// An MC error to two significant digits.
std::string error_text(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2g", v);
  return text;
}

// The eigenvalues of a symmetric matrix (n × n, row by row) by cyclic
// Jacobi rotations.
std::vector<double> eigenvalues(std::vector<double> a, size_t n) {
  auto at = [&](size_t i, size_t j) -> double& { return a[i * n + j]; };
  for (int sweep = 0; sweep < 60; ++sweep) {
    double off = 0.0, diag = 0.0;
    for (size_t i = 0; i < n; ++i) {
      diag += at(i, i) * at(i, i);
      for (size_t j = i + 1; j < n; ++j) off += at(i, j) * at(i, j);
    }
    if (off <= 1e-30 * diag) break;
    for (size_t p = 0; p < n; ++p)
      for (size_t q = p + 1; q < n; ++q) {
        if (at(p, q) == 0.0) continue;
        const double theta = (at(q, q) - at(p, p)) / (2.0 * at(p, q));
        const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (size_t k = 0; k < n; ++k) {  // columns p and q
          const double kp = at(k, p), kq = at(k, q);
          at(k, p) = c * kp - s * kq;
          at(k, q) = s * kp + c * kq;
        }
        for (size_t k = 0; k < n; ++k) {  // rows p and q
          const double pk = at(p, k), qk = at(q, k);
          at(p, k) = c * pk - s * qk;
          at(q, k) = s * pk + c * qk;
        }
      }
  }
  std::vector<double> d(n);
  for (size_t i = 0; i < n; ++i) d[i] = at(i, i);
  return d;
}

Warning off_warning(const std::string& quantity, int32_t k, double value, double mc_error, double integrated) {
  Warning w;
  w.quantity = quantity;
  w.constraint = k;
  w.value = value;
  w.integrated = integrated;
  const std::string what = quantity == "bf_ia" ? "BFia" : quantity;
  w.message = (k > 0 ? "constraint " + std::to_string(k) + ": " : std::string()) + "the Gibbs " + what + " " +
              number(value) + " (MC error " + error_text(mc_error) + ") is off its integrated value " +
              number(integrated) + " by more than 4 MC errors; " + kRemedy;
  return w;
}

}  // namespace

std::vector<Warning> detail::off_warnings(const Result& g, const Result& in) {
  std::vector<Warning> out;
  const size_t n = std::min(g.constraints.size(), in.constraints.size());
  for (size_t k = 0; k < n; ++k) {
    const auto& a = g.constraints[k];
    const auto& b = in.constraints[k];
    const auto number = static_cast<int32_t>(k + 1);
    if (detail::off_integrated(a.fit.value, a.fit.mc_error, b.fit.value, b.fit.mc_error))
      out.push_back(off_warning("fit", number, a.fit.value, a.fit.mc_error, b.fit.value));
    if (detail::off_integrated(a.complexity.value, a.complexity.mc_error, b.complexity.value, b.complexity.mc_error))
      out.push_back(off_warning("complexity", number, a.complexity.value, a.complexity.mc_error, b.complexity.value));
  }
  if (detail::off_integrated(g.bf_ia.value, g.bf_ia.mc_error, in.bf_ia.value, in.bf_ia.mc_error))
    out.push_back(off_warning("bf_ia", 0, g.bf_ia.value, g.bf_ia.mc_error, in.bf_ia.value));
  return out;
}

bool detail::off_integrated(double value, double mc_error, double integrated, double integrated_error) {
  if (!std::isfinite(value) || !std::isfinite(integrated) || !std::isfinite(mc_error) ||
      !std::isfinite(integrated_error))
    return false;
  const double gap = std::fabs(value - integrated);
  return gap > 4.0 * (mc_error + integrated_error) && gap > 0.02 * std::fabs(integrated);
}

std::optional<double> detail::correlation_condition(const Problem& p) {
  const size_t n = p.means.size();
  if (n == 0 || n > kMaxConditionOrder || p.covariance.size() != n * n) return std::nullopt;
  std::vector<double> scale(n);
  for (size_t i = 0; i < n; ++i) {
    const double v = p.covariance[i * n + i];
    if (!(v > 0.0) || !std::isfinite(v)) return std::nullopt;
    scale[i] = 1.0 / std::sqrt(v);
  }
  std::vector<double> r(n * n);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j)
      r[i * n + j] = 0.5 * (p.covariance[i * n + j] + p.covariance[j * n + i]) * scale[i] * scale[j];
  const std::vector<double> e = eigenvalues(std::move(r), n);
  const auto [lo, hi] = std::minmax_element(e.begin(), e.end());
  if (!(*lo > 0.0)) return std::numeric_limits<double>::infinity();
  return *hi / *lo;
}

std::vector<Warning> detail::gibbs_check(const Problem& p, const Result& gibbs, const Settings& settings,
                                         double gibbs_seconds) {
  using Clock = std::chrono::steady_clock;
  const double budget = std::clamp(kCheckShareOfRun * gibbs_seconds, kCheckSecondsFloor, kCheckSecondsCap);
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(budget));
  bool late = false;
  Settings s;
  s.seed = settings.seed;
  s.threads = settings.threads;
  s.method = Method::integration;
  s.complexity_prior = ComplexityPrior::boxed;
  s.precision = kCheckPrecision;
  s.check = false;
  // The caller's cancel ends the check (not the analysis, which is done).
  s.cancel = [deadline, &late, &settings] {
    if (settings.cancel && settings.cancel()) return true;
    return late = Clock::now() > deadline;
  };
  try {
    return off_warnings(gibbs, detail::integrate(rounded_problem(p), s));
  } catch (...) {
    // The check never stops a Gibbs analysis; it says so only when it ran
    // out of time (an integration not available in this build, or one that
    // fails, leaves the run as it is).
    if (!late) return {};
    Warning w;
    w.message = "the Gibbs estimates could not be checked against integration within " + number(budget) +
                " seconds; " + kRemedy + " to compute them without Markov chains";
    return {w};
  }
}

}  // namespace ineqbf
