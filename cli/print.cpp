#include "cli/print.h"

#include <algorithm>
#include <vector>

namespace cli {

namespace {

std::string formatted(const char* format, double x) {
  char b[64];
  std::snprintf(b, sizeof b, format, x);
  return b;
}

std::string interval(const ineqbf::Estimate& e) {
  return std::string("[").append(formatted("%.3f", e.lower)) + ", " + formatted("%.3f", e.upper) + "]";
}

// Rows of cells in columns as wide as their widest cell: the first two
// (label and text) left-aligned, the others right-aligned.
std::string table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> width;
  for (const auto& row : rows) {
    width.resize(std::max(width.size(), row.size()), 0);
    for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      const std::string pad(width[c] - row[c].size(), ' ');
      line += (c == 0 ? "" : c == 1 ? " " : "  ") + (c < 2 ? row[c] + pad : pad + row[c]);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

// Whether a result's warning says again what was said of the input (the
// library's checks before the run come first in every result).
bool said_before(const ProblemOutcome& p, const std::string& message) {
  auto in = [&](const std::vector<std::string>& v) { return std::find(v.begin(), v.end(), message) != v.end(); };
  return in(p.warnings);
}

}  // namespace

void say(const std::string& text) {
  std::string lines = "ineqbf: " + text;
  for (size_t i = 0; (i = lines.find('\n', i)) != std::string::npos; i += 9) lines.replace(i, 1, "\nineqbf: ");
  std::fprintf(stderr, "%s\n", lines.c_str());
}

void say_usage(const std::string& text) {
  say(text);
  std::fputs("usage: ineqbf [OPTIONS] [PATH ...]\nTry 'ineqbf --help' for more information.\n", stderr);
}

void print_input_warnings(const ProblemOutcome& p, bool with_path) {
  for (const std::string& w : p.warnings) say(with_path ? p.input + ": " + w : w);
}

void print_result_warnings(const ProblemOutcome& p, size_t h, bool with_path) {
  if (h >= p.results.size()) return;
  const std::string hypothesis = p.results.size() > 1 || p.hypotheses.size() > 1
                                     ? std::string("H").append(std::to_string(h + 1)) + ": "
                                     : std::string();
  auto said_for_earlier = [&](const std::string& m) {
    for (size_t e = 0; e < h; ++e)
      for (const ineqbf::Warning& x : p.results[e].warnings)
        if (x.message == m) return true;
    return false;
  };
  for (const ineqbf::Warning& w : p.results[h].warnings) {
    if (said_before(p, w.message) || said_for_earlier(w.message)) continue;
    std::string text = with_path ? p.input + ": " : std::string();
    text.append(hypothesis).append(w.message);
    say(text);
  }
}

void print_comparison(const ProblemOutcome& p, std::FILE* stream) {
  if (!p.comparison) return;
  const ineqbf::Comparison& c = *p.comparison;
  std::vector<std::vector<std::string>> rows = {
      {"", "Hypothesis", "BFia", "MC error", "BFic", "MC error", "PMP", "2.5% - 97.5%", "PMP with Hu",
       "2.5% - 97.5%"}};
  for (size_t h = 0; h < p.results.size(); ++h) {
    const ineqbf::Result& r = p.results[h];
    std::string text = h < p.hypotheses.size() ? p.hypotheses[h] : std::string();
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    rows.push_back({std::string("H").append(std::to_string(h + 1)), text, formatted("%.4g", r.bf_ia.value),
                    formatted("%.3g", r.bf_ia.mc_error),
                    r.bf_ic_infinite ? "infinite" : formatted("%.4g", r.bf_ic.value),
                    r.bf_ic_infinite ? "" : formatted("%.3g", r.bf_ic.mc_error),
                    formatted("%.3f", c.posterior[h].value), interval(c.posterior[h]),
                    formatted("%.3f", c.posterior_with_unconstrained[h].value),
                    interval(c.posterior_with_unconstrained[h])});
  }
  const ineqbf::Estimate& u = c.posterior_with_unconstrained.back();
  rows.push_back({"Hu", "(unconstrained)", "1", "", "", "", "", "", formatted("%.3f", u.value), interval(u)});
  const std::string text = std::string("\n").append(table(rows));
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

void print_summary(const ProblemOutcome& p) {
  std::string bfs;
  for (const ineqbf::Result& r : p.results) bfs += (bfs.empty() ? "" : ", ") + formatted("%.4g", r.bf_ia.value);
  std::fprintf(stderr, "%s: status %d, BFia %s, %.2f s\n", p.input.c_str(), ineqbf::exit_code(p.status),
               bfs.empty() ? "-" : bfs.c_str(), p.seconds);
  if (p.status != ineqbf::Status::ok && !p.message.empty()) {
    std::string m = p.message;
    for (size_t i = 0; (i = m.find('\n', i)) != std::string::npos; i += 3) m.replace(i, 1, "\n  ");
    std::fprintf(stderr, "  %s\n", m.c_str());
  }
  print_input_warnings(p, true);
  for (size_t h = 0; h < p.results.size(); ++h) print_result_warnings(p, h, true);
}

}  // namespace cli
