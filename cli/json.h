// The results of a command line as JSON: every number at full precision
// (the shortest text that reads back to the same float), values that are
// not finite as the strings "Infinity", "-Infinity" and "NaN".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ineqbf/ineqbf.h"

namespace cli {

// One problem of the command line and what became of it.
struct ProblemOutcome {
  std::string input;                      // the path given (or "Input.txt")
  std::vector<std::string> reports;       // report files, one per hypothesis
  ineqbf::Status status = ineqbf::Status::ok;
  std::string message;                    // the message of a run that ended early
  std::vector<std::string> warnings;      // about the input
  std::vector<std::string> names;         // parameter names
  std::vector<std::string> hypotheses;    // the hypotheses' text ("" for the file's rows)
  std::vector<ineqbf::Result> results;    // one per hypothesis analysed
  std::optional<ineqbf::Comparison> comparison;  // several hypotheses, all analysed
  double seconds = 0.0;
};

std::string json_document(const std::vector<ProblemOutcome>& problems, int32_t seed);

}  // namespace cli
