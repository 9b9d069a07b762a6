#include "cli/json.h"

#include <charconv>
#include <cmath>
#include <concepts>
#include <cstdio>
#include <string_view>

#include "numlib/elementary.h"

namespace cli {

namespace {

// A JSON text being written: values separated by commas as they come.
class Writer {
 public:
  std::string text;

  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }
  void key(std::string_view k) {
    separate();
    string_value(k);
    text += ": ";
    after_key_ = true;
  }
  void value(std::string_view s) {
    separate();
    string_value(s);
  }
  void value(const char* s) { value(std::string_view(s)); }
  void value(const std::string& s) { value(std::string_view(s)); }
  void value(bool b) {
    separate();
    text += b ? "true" : "false";
  }
  void value(int64_t n) {
    separate();
    text += std::to_string(n);
  }
  void value(int32_t n) { value(int64_t{n}); }
  // A float or a double, as the shortest text that reads back to it.
  template <class Real>
    requires std::floating_point<Real>
  void value(Real x) {
    separate();
    if (std::isnan(x)) {
      text += "\"NaN\"";
    } else if (std::isinf(x)) {
      text += x > 0 ? "\"Infinity\"" : "\"-Infinity\"";
    } else {
      char b[32];
      text.append(b, std::to_chars(b, b + sizeof b, x).ptr);
    }
  }
  // A key and its value.
  template <class T>
  void field(std::string_view k, const T& v) {
    key(k);
    value(v);
  }
  // A key and an array of strings.
  void strings(std::string_view k, const std::vector<std::string>& v) {
    key(k);
    begin_array();
    for (const std::string& s : v) value(s);
    end_array();
  }
  void null() {
    separate();
    text += "null";
  }

 private:
  void open(char c) {
    separate();
    text += c;
    first_ = true;
    ++depth_;
  }
  void close(char c) {
    --depth_;
    if (!first_) newline();
    text += c;
    first_ = false;
  }
  void separate() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (!first_) text += ',';
    if (depth_ > 0) newline();
    first_ = false;
  }
  void newline() {
    text += '\n';
    text.append(static_cast<size_t>(2 * depth_), ' ');
  }
  void string_value(std::string_view s) {
    text += '"';
    for (const char c : s) {
      switch (c) {
        case '"': text += "\\\""; break;
        case '\\': text += "\\\\"; break;
        case '\n': text += "\\n"; break;
        case '\r': text += "\\r"; break;
        case '\t': text += "\\t"; break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            char u[8];
            std::snprintf(u, sizeof u, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            text += u;
          } else {
            text += c;  // UTF-8 passes through
          }
      }
    }
    text += '"';
  }
  bool first_ = true;
  bool after_key_ = false;
  int depth_ = 0;
};

void estimate(Writer& w, const ineqbf::Estimate& e, bool with_log) {
  w.begin_object();
  w.field("value", e.value);
  if (with_log) {
    w.field("log10", numlib::log10f(e.value));  // the same bits everywhere
  }
  w.field("mc_error", e.mc_error);
  w.field("percentile_2_5", e.lower);
  w.field("percentile_97_5", e.upper);
  w.end_object();
}

// A key and an array of estimates.
void estimates(Writer& w, std::string_view k, const std::vector<ineqbf::Estimate>& v, bool with_log) {
  w.key(k);
  w.begin_array();
  for (const ineqbf::Estimate& e : v) estimate(w, e, with_log);
  w.end_array();
}

void numbers(Writer& w, const std::vector<double>& v) {
  w.begin_array();
  for (const double x : v) w.value(static_cast<float>(x));  // the values the analysis used
  w.end_array();
}

void result(Writer& w, const ineqbf::Result& r, const std::vector<std::string>& names,
            const std::string& text) {
  w.begin_object();
  w.field("hypothesis", text);
  w.key("constraints");
  w.begin_array();
  for (const ineqbf::ConstraintResult& c : r.constraints) {
    w.begin_object();
    w.field("text", ineqbf::constraint_text(c.row, names));
    w.key("coefficients");
    numbers(w, c.row.coefficients);
    w.field("rhs", static_cast<float>(c.row.rhs));
    w.field("fit", c.fit);
    w.field("complexity", c.complexity);
    w.field("fit_hits", c.fit_hits);
    w.field("complexity_hits", c.complexity_hits);
    w.field("fit_iterations", c.fit_iterations);
    w.field("complexity_iterations", c.complexity_iterations);
    w.end_object();
  }
  w.end_array();
  w.field("total_fit", r.total_fit);
  w.field("total_complexity", r.total_complexity);
  w.key("bf_ia");
  estimate(w, r.bf_ia, true);
  w.key("bf_ic");
  estimate(w, r.bf_ic, true);
  w.field("bf_ic_reported_infinite", r.bf_ic_infinite);
  w.end_object();
}

void comparison(Writer& w, const ineqbf::Comparison& c) {
  w.begin_object();
  w.key("bayes_factors");
  w.begin_array();
  for (const auto& row : c.bayes_factors) {
    w.begin_array();
    for (const ineqbf::Estimate& e : row) estimate(w, e, true);
    w.end_array();
  }
  w.end_array();
  estimates(w, "posterior", c.posterior, false);
  estimates(w, "posterior_with_unconstrained", c.posterior_with_unconstrained, false);
  w.end_object();
}

}  // namespace

std::string json_document(const std::vector<ProblemOutcome>& problems, int32_t seed) {
  Writer w;
  w.begin_object();
  w.field("program", "ineqbf");
  w.field("version", ineqbf::version());
  w.field("seed", seed);
  w.key("problems");
  w.begin_array();
  for (const ProblemOutcome& p : problems) {
    w.begin_object();
    w.field("input", p.input);
    w.strings("reports", p.reports);
    w.field("status", int64_t{p.status});
    w.key("message");
    if (p.message.empty())
      w.null();
    else
      w.value(p.message);
    w.strings("warnings", p.warnings);
    w.field("seconds", p.seconds);
    w.strings("parameters", p.names);
    w.key("hypotheses");
    w.begin_array();
    for (size_t h = 0; h < p.results.size(); ++h)
      result(w, p.results[h], p.names, h < p.hypotheses.size() ? p.hypotheses[h] : std::string());
    w.end_array();
    if (p.comparison) {
      w.key("comparison");
      comparison(w, *p.comparison);
    }
    w.end_object();
  }
  w.end_array();
  w.end_object();
  return w.text + "\n";
}

}  // namespace cli
