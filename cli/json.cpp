#include "cli/json.h"

#include "cli/utf8.h"
#include "ineqbf/fields.h"

#include <cmath>
#include <concepts>
#include <cstdio>
#include <string_view>
#include <type_traits>


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

// The JSON keeps the spelling it has always published for these fields.
std::string_view json_name(std::string_view name) {
  static constexpr std::string_view renamed[][2] = {
      {"lower", "percentile_2_5"},
      {"upper", "percentile_97_5"},
      {"bf_ic_infinite", "bf_ic_reported_infinite"},
      {"row", "text"},  // followed by "coefficients" and "rhs"
  };
  for (const auto& [from, to] : renamed)
    if (name == from) return to;
  return name;
}

// Writes the fields of a result (ineqbf/fields.h) as JSON: every field but
// the replicates and the console and report bytes (the reports are files
// of their own). Numbers of a Gibbs result are written as floats, but for
// the warnings' values (in double).
struct FieldWriter {
  Writer& w;
  const std::vector<std::string>& names;

  template <class T>
  void operator()(std::string_view name, const T& value) {
    if constexpr (std::is_same_v<T, ineqbf::Replicates> || std::is_same_v<T, ineqbf::Output>) {
      return;
    } else {
      w.key(json_name(name));
      put(name, value);
    }
  }

  void put(std::string_view, double x) { w.real(x); }
  void put(std::string_view, int64_t n) { w.value(n); }
  void put(std::string_view, int32_t n) { w.value(n); }
  void put(std::string_view, bool b) { w.value(b); }
  void put(std::string_view, const std::string& s) { w.value(s); }
  void put(std::string_view, ineqbf::Method m) { w.value(ineqbf::name_of(m)); }
  // A row: its text, its coefficients and its right-hand side, as the
  // analysis used them.
  void put(std::string_view, const ineqbf::Constraint& row) {
    w.value(ineqbf::constraint_text(row, names));
    w.key("coefficients");
    w.begin_array();
    for (const double x : row.coefficients) w.value(static_cast<float>(x));
    w.end_array();
    w.key("rhs");
    w.value(static_cast<float>(row.rhs));
  }
  // A Bayes factor comes with its log10; a probability does not.
  void put(std::string_view name, const ineqbf::Estimate& e) {
    w.begin_object();
    ineqbf::visit_fields(e, [&](std::string_view field, double x) {
      w.real(json_name(field), x);
      if (field == "value" && !name.starts_with("posterior")) w.real("log10", log10_of(x));
    });
    w.end_object();
  }
  template <class Item>
  void put(std::string_view name, const std::vector<Item>& list) {
    const bool single = w.single;
    if constexpr (std::is_same_v<Item, ineqbf::Warning>) w.single = false;  // values in double
    w.begin_array();
    for (const Item& item : list) item_of(name, item);
    w.end_array();
    w.single = single;
  }

 private:
  template <class Item>
  void item_of(std::string_view name, const Item& item) {
    if constexpr (std::is_same_v<Item, ineqbf::Estimate> || std::is_same_v<Item, std::vector<ineqbf::Estimate>>) {
      put(name, item);
    } else {
      w.begin_object();
      ineqbf::visit_fields(item, *this);
      w.end_object();
    }
  }
  // Single-precision values: the program's own log10f, the same bits
  // everywhere.
  double log10_of(double x) const {
    return w.single ? ineqbf::log10_single(static_cast<float>(x)) : std::log10(x);
  }
};

void result(Writer& w, const ineqbf::Result& r, const std::vector<std::string>& names,
            const std::string& text) {
  w.begin_object();
  w.field("hypothesis", text);
  w.single = r.method == ineqbf::Method::gibbs;
  ineqbf::visit_fields(r, FieldWriter{w, names});
  w.single = false;
  w.end_object();
}

void comparison(Writer& w, const ineqbf::Comparison& c, const std::vector<std::string>& names, bool single) {
  w.begin_object();
  w.single = single;
  ineqbf::visit_fields(c, FieldWriter{w, names});
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
    w.field("status", int64_t{ineqbf::exit_code(p.status)});
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
      comparison(w, *p.comparison, p.names, single);
    }
    w.end_object();
  }
  w.end_array();
  w.end_object();
  return w.text + "\n";
}

}  // namespace cli
