#include "cli/progress.h"

#include <unistd.h>

#include <cstdio>
#include <string_view>

namespace cli {

ProgressLine::ProgressLine(bool wanted) : active_(wanted && isatty(STDERR_FILENO) == 1) {}

void ProgressLine::update(const ineqbf::Progress& p) {
  if (!active_) return;
  const auto now = std::chrono::steady_clock::now();
  const bool done = p.sweeps_done == p.sweeps_total;
  if (!done && shown_ > 0 && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  if (done) {
    clear();
    return;
  }
  char line[200];
  char hypothesis[32] = "";
  if (p.hypotheses > 1)
    std::snprintf(hypothesis, sizeof hypothesis, "H%d of %d, ", static_cast<int>(p.hypothesis + 1),
                  static_cast<int>(p.hypotheses));
  const double percent = p.sweeps_total > 0 ? 100.0 * static_cast<double>(p.sweeps_done) /
                                                  static_cast<double>(p.sweeps_total)
                                            : 0.0;
  const std::string_view sampler = ineqbf::name_of(p.sampler);
  const int n = std::snprintf(line, sizeof line, "%sconstraint %d, %.*s, chain of %d iterations: %5.1f%%",
                              hypothesis, static_cast<int>(p.constraint), static_cast<int>(sampler.size()),
                              sampler.data(),
                              static_cast<int>(p.iterations), percent);
  std::string text(1, '\r');
  text.append(line, static_cast<size_t>(n > 0 ? n : 0));
  if (shown_ > static_cast<size_t>(n)) text.append(shown_ - static_cast<size_t>(n), ' ');
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  shown_ = static_cast<size_t>(n > 0 ? n : 0);
}

void ProgressLine::clear() {
  if (!active_ || shown_ == 0) return;
  std::string blank(1, '\r');
  blank.append(shown_, ' ');
  blank.push_back('\r');
  std::fputs(blank.c_str(), stderr);
  std::fflush(stderr);
  shown_ = 0;
}

}  // namespace cli
