// The report written to Output.txt: the fits and complexities with their
// iteration counts, the totals, and one line each for BFia and BFic with
// MC error and 2.5 / 97.5 percentiles of the sorted replicates.
#include <algorithm>
#include <string>

#include "driver/run.h"

namespace driver {

namespace {

using textio::FormatItem;

constexpr FormatItem A = {FormatItem::A, {}};
constexpr FormatItem F8_3 = {FormatItem::F, {}, 8, 3};
constexpr FormatItem F13_3 = {FormatItem::F, {}, 13, 3};
constexpr FormatItem F15_3 = {FormatItem::F, {}, 15, 3};
constexpr FormatItem F16_3 = {FormatItem::F, {}, 16, 3};
constexpr FormatItem F30_3 = {FormatItem::F, {}, 30, 3};
constexpr FormatItem I15 = {FormatItem::I, {}, 15};

void text(textio::OutputUnit& out, std::string_view line) {
  out.write_formatted({A}, {textio::text_value(line)});
}

void estimate_line(textio::OutputUnit& out, std::pair<float, int32_t> e) {
  out.write_formatted({F8_3, I15}, {textio::real_value(e.first), textio::int_value(e.second)});
}

void bayes_factor_line(textio::OutputUnit& out, const float (&e)[4]) {
  out.write_formatted({F8_3, F13_3, F30_3, F16_3}, {textio::real_value(e[0]), textio::real_value(e[1]),
                                                    textio::real_value(e[2]), textio::real_value(e[3])});
}

}  // namespace

void write_report(const ReportTable& t, textio::OutputUnit& out) {
  const std::string counts = t.counts;
  text(out, "Result:");
  out.write_free_empty();
  text(out, "   Fits        numbers of " + counts);
  for (const auto& e : t.fits) estimate_line(out, e);
  out.write_free_empty();
  text(out, "Complexities   numbers of " + counts);
  for (const auto& e : t.complexities) estimate_line(out, e);
  out.write_free_empty();
  text(out, "Total fit      Total complexity");
  out.write_formatted({F8_3, F15_3}, {textio::real_value(t.total_fit), textio::real_value(t.total_complexity)});
  out.write_free_empty();
  text(out, "   BFia   MC error (standard deviation)   2.5percentile  97.5percentile");
  bayes_factor_line(out, t.bf_ia);
  out.write_free_empty();
  text(out, "   BFic   MC error (standard deviation)   2.5percentile  97.5percentile");
  if (t.bf_ic_infinite)
    text(out, "   infinit");
  else
    bayes_factor_line(out, t.bf_ic);
}

void write_report(const RunState& s, textio::OutputUnit& out) {
  const Summary& u = s.summary;
  const int32_t low = percentile_low(s.NREP), high = percentile_high(s.NREP);
  ReportTable t;
  for (int64_t k = 1; k <= s.problem.NCON; ++k) {
    t.fits.emplace_back(s.fit.estimate(k), s.fit.iterations(k));
    t.complexities.emplace_back(s.complexity.estimate(k), s.complexity.iterations(k));
  }
  t.total_fit = u.TOTALFIT;
  t.total_complexity = u.TOTALCOMP;
  const float ia[4] = {u.BFIA, u.MCERRIA, u.BFSAMPLE(low), u.BFSAMPLE(high)};
  const float ic[4] = {u.BFIC, u.MCERRIC, u.BFCSAMPLE(low), u.BFCSAMPLE(high)};
  std::copy(ia, ia + 4, t.bf_ia);
  std::copy(ic, ic + 4, t.bf_ic);
  t.bf_ic_infinite = u.TOTALFIT == 1.0f;
  write_report(t, out);
}

}  // namespace driver
