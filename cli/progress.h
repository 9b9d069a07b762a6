// A live progress indicator on standard error when it is a terminal: one
// line, rewritten in place, erased when done. Nothing when standard error
// is not a terminal, and never anything on standard output.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "ineqbf/ineqbf.h"

namespace cli {

class ProgressLine {
 public:
  // Shown only when `wanted` and standard error is a terminal.
  explicit ProgressLine(bool wanted);
  ~ProgressLine() { clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool active() const { return active_; }
  // A chain's progress; redrawn at most ten times a second.
  void update(const ineqbf::Progress& p);
  // Erases the line (before anything else is written on the terminal).
  void clear();

 private:
  bool active_ = false;
  size_t shown_ = 0;  // characters on the line now
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace cli
