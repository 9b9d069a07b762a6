// libFuzzer target for hypotheses as text: arbitrary bytes parsed as
// hypotheses over a fixed list of names, then every row written back as
// text and parsed again.
//
// Findings: a crash or sanitizer report; an exception other than
// ineqbf::Error with Status::usage, or one with an empty message; a
// hypothesis without rows; a hypothesis whose own text parses to other rows;
// a row whose text does not parse back to the same row in single precision.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "ineqbf/ineqbf.h"

namespace {

// Bare names, a UTF-8 name and one that must be written between backquotes.
const std::vector<std::string> names = {"b1", "b2", "b3", "(Intercept)", "θ1"};

[[noreturn]] void finding(const char* what, std::string_view text) {
  std::fprintf(stderr, "hypothesis_fuzzer: %s: %.*s\n", what, static_cast<int>(text.size()),
               text.data());
  __builtin_trap();
}

// The hypotheses of `text`, or none when it is refused as it should be.
std::vector<ineqbf::Hypothesis> parse(std::string_view text, bool* refused) {
  *refused = false;
  try {
    return ineqbf::parse_hypotheses(text, names);
  } catch (const ineqbf::Error& e) {
    if (e.status() != ineqbf::Status::usage) finding("an error status other than usage", text);
    if (e.message().empty()) finding("an error without a message", text);
  } catch (...) {
    finding("an exception other than ineqbf::Error", text);
  }
  *refused = true;
  return {};
}

bool same_float(const ineqbf::Constraint& a, const ineqbf::Constraint& b) {
  if (a.coefficients.size() != b.coefficients.size()) return false;
  for (size_t i = 0; i < a.coefficients.size(); ++i)
    if (static_cast<float>(a.coefficients[i]) != static_cast<float>(b.coefficients[i])) return false;
  return static_cast<float>(a.rhs) == static_cast<float>(b.rhs);
}

bool same_exactly(const std::vector<ineqbf::Constraint>& a, const std::vector<ineqbf::Constraint>& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (a[k].coefficients != b[k].coefficients || a[k].rhs != b[k].rhs) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  bool refused = false;
  const std::vector<ineqbf::Hypothesis> hypotheses = parse(text, &refused);
  if (refused) return 0;
  if (hypotheses.empty()) finding("a text accepted with no hypothesis", text);

  for (const ineqbf::Hypothesis& h : hypotheses) {
    if (h.constraints.empty()) finding("a hypothesis without rows", text);
    const std::vector<ineqbf::Hypothesis> again = parse(h.text, &refused);
    if (refused || again.size() != 1 || !same_exactly(again[0].constraints, h.constraints))
      finding("a hypothesis whose own text parses to other rows", h.text);

    for (const ineqbf::Constraint& row : h.constraints) {
      if (row.coefficients.size() != names.size()) finding("a row of the wrong length", text);
      std::string written;
      try {
        written = ineqbf::constraint_text(row, names);
      } catch (...) {
        finding("a parsed row that cannot be written", text);
      }
      const std::vector<ineqbf::Hypothesis> back = parse(written, &refused);
      if (refused || back.size() != 1 || back[0].constraints.size() != 1 ||
          !same_float(back[0].constraints[0], row))
        finding("a row whose text does not parse back to it", written);
    }
  }
  return 0;
}
