// The report written to Output.txt: the fits and complexities with their
// iteration counts, the totals, and one line each for BFia and BFic with
// MC error and 2.5 / 97.5 percentiles of the sorted replicates.
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

void estimate_line(textio::OutputUnit& out, float estimate, int32_t iterations) {
  out.write_formatted({F8_3, I15}, {textio::real_value(estimate), textio::int_value(iterations)});
}

void bayes_factor_line(textio::OutputUnit& out, float bf, float mcerr, float low, float high) {
  out.write_formatted({F8_3, F13_3, F30_3, F16_3},
                      {textio::real_value(bf), textio::real_value(mcerr), textio::real_value(low),
                       textio::real_value(high)});
}

}  // namespace

void write_report(const RunState& s, textio::OutputUnit& out) {
  const int64_t ncon = s.problem.NCON;
  const Summary& u = s.summary;
  text(out, "Result:");
  out.write_free_empty();
  text(out, "   Fits        numbers of iterations");
  for (int64_t k = 1; k <= ncon; ++k) estimate_line(out, s.fit.estimate(k), s.fit.iterations(k));
  out.write_free_empty();
  text(out, "Complexities   numbers of iterations");
  for (int64_t k = 1; k <= ncon; ++k)
    estimate_line(out, s.complexity.estimate(k), s.complexity.iterations(k));
  out.write_free_empty();
  text(out, "Total fit      Total complexity");
  out.write_formatted({F8_3, F15_3}, {textio::real_value(u.TOTALFIT), textio::real_value(u.TOTALCOMP)});
  out.write_free_empty();
  text(out, "   BFia   MC error (standard deviation)   2.5percentile  97.5percentile");
  bayes_factor_line(out, u.BFIA, u.MCERRIA, u.BFSAMPLE(percentile_low(s.NREP)),
                    u.BFSAMPLE(percentile_high(s.NREP)));
  out.write_free_empty();
  text(out, "   BFic   MC error (standard deviation)   2.5percentile  97.5percentile");
  if (u.TOTALFIT == 1.0f) {
    text(out, "   infinit");
  } else {
    bayes_factor_line(out, u.BFIC, u.MCERRIC, u.BFCSAMPLE(percentile_low(s.NREP)),
                      u.BFCSAMPLE(percentile_high(s.NREP)));
  }
}

}  // namespace driver
