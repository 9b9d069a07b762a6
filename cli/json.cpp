#include "cli/json.h"

#include "cli/utf8.h"

#include <cmath>
#include <concepts>
#include <cstdio>
#include <string_view>


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
      text += ineqbf::number_text(x);
    }
  }
  // A number of a result: Gibbs results are single-precision numbers, each
  // written as the shortest text that reads back to the same float.
  void real(double x) {
    if (single)
      value(static_cast<float>(x));
    else
      value(x);
  }
  void real(std::string_view k, double x) {
    key(k);
    real(x);
  }
  bool single = false;
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
  // A string; bytes that are not UTF-8 (a file name's, say) each become
  // U+FFFD, so that the text stays JSON.
  void string_value(std::string_view s) {
    text += '"';
    for (size_t i = 0; i < s.size(); ++i) {
      const char c = s[i];
      if (static_cast<unsigned char>(c) >= 0x80) {
        const size_t n = utf8_sequence(s, i);
        if (n == 0) {
          text += "\\ufffd";
          continue;
        }
        text.append(s.substr(i, n));
        i += n - 1;
        continue;
      }
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
            text += c;
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
  w.real("value", e.value);
  if (with_log) {
    // Single-precision values: the program's own log10f, the same bits
    // everywhere.
    if (w.single)
      w.real("log10", ineqbf::log10_single(static_cast<float>(e.value)));
    else
      w.real("log10", std::log10(e.value));
  }
  w.real("mc_error", e.mc_error);
  w.real("percentile_2_5", e.lower);
  w.real("percentile_97_5", e.upper);
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

// A result's warnings: each its text, the quantity and constraint it is
// about, and the run's and the integrated values (in double).
void warnings(Writer& w, const std::vector<ineqbf::Warning>& list) {
  w.key("warnings");
  w.begin_array();
  for (const ineqbf::Warning& x : list) {
    w.begin_object();
    w.field("message", x.message);
    w.field("quantity", x.quantity);
    w.field("constraint", x.constraint);
    w.field("value", x.value);
    w.field("integrated", x.integrated);
    w.end_object();
  }
  w.end_array();
}

void result(Writer& w, const ineqbf::Result& r, const std::vector<std::string>& names,
            const std::string& text) {
  w.begin_object();
  w.single = r.method == ineqbf::Method::gibbs;
  w.field("method", r.method == ineqbf::Method::gibbs ? "gibbs" : "integration");
  w.field("hypothesis", text);
  w.key("constraints");
  w.begin_array();
  for (const ineqbf::ConstraintResult& c : r.constraints) {
    w.begin_object();
    w.field("text", ineqbf::constraint_text(c.row, names));
    w.key("coefficients");
    numbers(w, c.row.coefficients);
    w.field("rhs", static_cast<float>(c.row.rhs));
    w.real("fit", c.fit.value);
    w.real("complexity", c.complexity.value);
    w.real("fit_mc_error", c.fit.mc_error);
    w.real("complexity_mc_error", c.complexity.mc_error);
    w.field("fit_hits", c.fit.hits);
    w.field("complexity_hits", c.complexity.hits);
    w.field("fit_iterations", c.fit.iterations);
    w.field("complexity_iterations", c.complexity.iterations);
    w.field("fit_points", c.fit.points);
    w.field("complexity_points", c.complexity.points);
    w.end_object();
  }
  w.end_array();
  w.real("total_fit", r.total_fit);
  w.real("total_complexity", r.total_complexity);
  w.key("bf_ia");
  estimate(w, r.bf_ia, true);
  w.key("bf_ic");
  estimate(w, r.bf_ic, true);
  w.field("bf_ic_reported_infinite", r.bf_ic_infinite);
  w.single = false;
  warnings(w, r.warnings);
  w.end_object();
}

void comparison(Writer& w, const ineqbf::Comparison& c, bool single) {
  w.begin_object();
  w.single = single;
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
  w.single = false;
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
      bool single = true;
      for (const ineqbf::Result& r : p.results) single = single && r.method == ineqbf::Method::gibbs;
      comparison(w, *p.comparison, single);
    }
    w.end_object();
  }
  w.end_array();
  w.end_object();
  return w.text + "\n";
}

}  // namespace cli
