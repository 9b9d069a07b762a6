// An integration's replicates, report, console and warnings.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "api/integration.h"
#include "driver/run.h"
#include "integrate/elementary.h"
#include "integrate/lattice.h"
#include "integrate/normal.h"
#include "textio/textio.h"

namespace ineqbf {

namespace detail {

double Linearised::error() const {
  const size_t s = deviation.size();
  if (s < 2) return 0.0;
  double mean = 0.0;
  for (double d : deviation) mean += d;
  mean /= static_cast<double>(s);
  double ss = 0.0;
  for (double d : deviation) ss += (d - mean) * (d - mean);
  return std::sqrt(ss / (static_cast<double>(s) * static_cast<double>(s - 1)));
}

Replicator::Replicator(int32_t seed, int32_t shifts) : shifts_(shifts) {
  // A stream of its own, apart from those of the lattice rules' shifts.
  integrate::ShiftStream u(static_cast<uint64_t>(static_cast<uint32_t>(seed)), uint64_t{0xbf} << 32, 0);
  if (shifts < 2) return;  // every quantity is exact: no deviates needed
  g_.resize(static_cast<size_t>(kIntegrationReplicates) * static_cast<size_t>(shifts));
  for (double& x : g_) x = integrate::normal_quantile(u.uniform());
}

std::vector<double> Replicator::replicates(const Linearised& q) const {
  std::vector<double> out(static_cast<size_t>(kIntegrationReplicates), q.value);
  if (q.deviation.size() != static_cast<size_t>(shifts_) || shifts_ < 2) return out;
  if (std::all_of(q.deviation.begin(), q.deviation.end(), [](double d) { return d == 0.0; })) return out;
  const double norm = 1.0 / std::sqrt(static_cast<double>(shifts_) * (shifts_ - 1.0));
  for (size_t r = 0; r < out.size(); ++r) {
    double e = 0.0;
    for (size_t s = 0; s < q.deviation.size(); ++s) e += g_[r * q.deviation.size() + s] * q.deviation[s];
    out[r] = q.value * integrate::exp(e * norm);
  }
  return out;
}

Estimate estimate_of(const Linearised& q, const std::vector<double>& replicates) {
  Estimate e;
  e.value = q.value;
  e.mc_error = std::isfinite(q.value) ? std::fabs(q.value) * q.error() : q.value;
  std::vector<double> sorted = replicates;
  auto end = std::stable_partition(sorted.begin(), sorted.end(), [](double x) { return !std::isnan(x); });
  // The two order statistics only, among the values that are numbers: the
  // lower one first, then the upper one among the values above it.
  const auto n = static_cast<int32_t>(sorted.size());
  if (n > 0) {
    const auto low = sorted.begin() + (driver::percentile_low(n) - 1);
    const auto high = sorted.begin() + (driver::percentile_high(n) - 1);
    if (low < end) std::nth_element(sorted.begin(), low, end);
    e.lower = *low;
    if (high > low && high < end) std::nth_element(low + 1, high, end);
    e.upper = *high;
  }
  return e;
}

// ---- report and console ----------------------------------------------------------

namespace {

using textio::FormatItem;

// Values are written as the program writes its single-precision ones.
float single(double x) { return static_cast<float>(x); }

std::pair<float, int32_t> line_of(const Probability& p) {
  return {single(p.value), static_cast<int32_t>(std::min<int64_t>(p.points, INT32_MAX))};
}

void copy_estimate(const Estimate& e, float (&out)[4]) {
  const float v[4] = {single(e.value), single(e.mc_error), single(e.lower), single(e.upper)};
  std::copy(v, v + 4, out);
}

}  // namespace

std::string integration_report(const Result& r) {
  driver::ReportTable t;
  t.counts = "points";
  for (const ConstraintResult& c : r.constraints) {
    t.fits.push_back(line_of(c.fit));
    t.complexities.push_back(line_of(c.complexity));
  }
  t.total_fit = single(r.total_fit);
  t.total_complexity = single(r.total_complexity);
  copy_estimate(r.bf_ia, t.bf_ia);
  copy_estimate(r.bf_ic, t.bf_ic);
  t.bf_ic_infinite = r.bf_ic_infinite;
  textio::OutputUnit out;
  out.open_memory(textio::REPORT_UNIT, "Output.txt");
  driver::write_report(t, out);
  out.close();
  return out.text();
}

void integration_console(Result& r, const Settings& settings) {
  textio::Console console(settings.console);
  static constexpr FormatItem kLineStart = {FormatItem::Literal, "Constraint"};
  static constexpr FormatItem kNumber = {FormatItem::I, {}, 4};
  const char* closing[] = {" for    fit     has been evaluated", " for complexity has been evaluated"};
  for (size_t k = 1; k <= r.constraints.size(); ++k) {
    for (int side = 0; side < 2; ++side) {
      const FormatItem format[] = {kLineStart, kNumber, {FormatItem::Literal, closing[side]}};
      const textio::Value values[] = {textio::int_value(static_cast<int32_t>(k))};
      console.write_record(textio::build_record(format, values));
      if (settings.progress) {
        Progress p;
        p.constraint = static_cast<int32_t>(k);
        p.sampler = side == 0 ? Sampler::fit : Sampler::complexity;
        p.sweeps_done = p.sweeps_total = 1;
        settings.progress(p);
      }
    }
  }
  console.close();
  r.console = console.text();
}

// ---- warnings ------------------------------------------------------------------------

namespace {

std::string number(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", x);
  return buf;
}

std::string rows_text(size_t k) { return k == 1 ? "row 1" : "rows 1 to " + std::to_string(k); }

// The first constraint whose fit or complexity is 0 or not a number, and
// what that makes of the Bayes factors.
void zero_warning(Result& r, bool fit) {
  const char* what = fit ? "fit" : "complexity";
  const char* where = fit ? "posterior" : "prior";
  for (size_t k = 0; k < r.constraints.size(); ++k) {
    const Probability& p = fit ? r.constraints[k].fit : r.constraints[k].complexity;
    if (p.value > 0.0) continue;
    std::string m = "the " + std::string(what) + " of constraint " + std::to_string(k + 1) + " is " + number(p.value) +
                    ": " + rows_text(k + 1) + " have a " + where +
                    " probability too small for double precision, so BFia is " + number(r.bf_ia.value) +
                    " and BFic " + (r.bf_ic_infinite ? "infinite" : number(r.bf_ic.value));
    r.warnings.push_back({std::move(m), what, static_cast<int32_t>(k + 1), p.value, p.value});
    return;
  }
}

}  // namespace

void integration_warnings(Result& r, double precision, double bf_ia_error, int64_t largest_rule) {
  zero_warning(r, true);
  zero_warning(r, false);
  if (bf_ia_error > precision) {
    r.warnings.push_back({"the integration reached a relative MC error of " + number(bf_ia_error) +
                              " on BFia, not the " + number(precision) + " aimed at: its lattice rules stopped at " +
                              std::to_string(largest_rule) + " points, the most its budget of work allows",
                          "", 0, 0.0, 0.0});
  }
}

}  // namespace detail

}  // namespace ineqbf
