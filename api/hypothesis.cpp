// Hypotheses as text: the parser that turns
//   "b1 > b2 > b3 & b3 > 0; b1 > 2*b2 + 0.5; -1 < b3 < 1"
// into constraint rows over the parameters, and the writer that turns a row
// back into text that parses to the same row (in single precision).
//
// Syntax, from the top:
//   text        hypothesis { ";" hypothesis } [ ";" ]
//   hypothesis  constraint { "&" constraint }
//   constraint  expression comparison expression { comparison expression }
//   comparison  ">" | ">=" | "<" | "<="       (>= means >, <= means <)
//   expression  term { ("+" | "-") term }
//   term        factor { ("*" | "/") factor }
//   factor      { "+" | "-" } primary
//   primary     number | name | "`" any text but a backquote "`" | "(" expression ")"
// Blanks may stand between any two tokens. One ";" after the last hypothesis
// is accepted (a text pasted from a list often ends with one); any other
// empty hypothesis is an error.
//
// An expression is kept as a linear form: one coefficient per parameter and
// a constant. A product is linear only when one side holds no name; a
// divisor must hold no name and must not be zero. `L > R` is the row
// (L − R)·θ > constant(R) − constant(L); `L < R` is `R > L`.
//
// This file depends on the public header and the standard library only.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ineqbf/ineqbf.h"
#include "numlib/float_environment.h"
#include "textio/shortest.h"

namespace ineqbf {
namespace {

// Deeper nesting than this is refused rather than risking the stack: every
// level of parentheses is a few frames of recursion.
constexpr int max_depth = 100;

[[noreturn]] void fail(std::string message) { throw Error(Status::usage, std::move(message)); }

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool is_digit(char c) { return c >= '0' && c <= '9'; }
// Bytes of 0x80 and above count as letters, so UTF-8 names such as θ1 are
// identifiers.
bool is_letter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u >= 0x80;
}
// A name starts with a letter, '_' or '.'; a '.' followed by a digit starts
// a number (.5) instead.
bool starts_name(std::string_view s, size_t i) {
  if (is_letter(s[i])) return true;
  return s[i] == '.' && !(i + 1 < s.size() && is_digit(s[i + 1]));
}
bool continues_name(char c) { return is_letter(c) || is_digit(c) || c == '.'; }

bool is_identifier(std::string_view name) {
  return !name.empty() && starts_name(name, 0) &&
         std::all_of(name.begin() + 1, name.end(), continues_name);
}

// A name as it is written in a hypothesis: bare when it is an identifier,
// between backquotes otherwise.
std::string written_name(const std::string& name) {
  return is_identifier(name) ? name : "`" + name + "`";
}

std::string quoted(std::string_view s) {
  std::string q;
  q.reserve(s.size() + 2);
  q.append(1, '"').append(s).append(1, '"');
  return q;
}

// The 1-based column of a byte offset, counted in UTF-8 code points: every
// byte that is not a continuation byte (10xxxxxx) starts one.
std::string column(std::string_view text, size_t offset) {
  int64_t n = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++n;
  return "column " + std::to_string(n);
}

// A stray byte as it is shown in a message: itself when printable ASCII,
// \xHH otherwise.
std::string shown_byte(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x7F) return std::string(1, c);
  constexpr char hex[] = "0123456789ABCDEF";
  return std::string("\\x") + hex[u >> 4] + hex[u & 0xF];
}

// The names must be told apart and written: distinct, non-empty, and
// without a backquote (which could not be written between backquotes).
void check_names(const std::vector<std::string>& names) {
  std::unordered_map<std::string_view, size_t> seen;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    if (name.empty()) fail("parameter name " + std::to_string(i + 1) + " is empty");
    if (name.find('`') != std::string::npos)
      fail("parameter name " + quoted(name) + " contains a backquote");
    const auto [it, added] = seen.emplace(name, i);
    if (!added)
      fail("parameter name " + quoted(name) + " is given twice (names " +
           std::to_string(it->second + 1) + " and " + std::to_string(i + 1) + ")");
  }
}

enum class Kind {
  end, name, number, plus, minus, times, divide, open, close, greater, less, ampersand, semicolon
};

struct Token {
  Kind kind = Kind::end;
  size_t begin = 0;  // byte offsets into the text
  size_t end = 0;
  std::string_view name;  // a name without its backquotes
  double value = 0.0;     // a number
};

// A linear form over the parameters, with the part of the text it came from
// and whether any name occurs in it (b1 - b1 holds a name, though every
// coefficient is zero).
struct Linear {
  std::vector<double> coefficients;
  double constant = 0.0;
  bool named = false;
  size_t begin = 0;
  size_t end = 0;
};

class Parser {
 public:
  // An unknown name is answered with the first `listed` names (the others
  // are other spellings of some of them).
  Parser(std::string_view text, const std::vector<std::string>& names, size_t listed)
      : text_(text), names_(names), listed_(listed) {
    for (size_t i = 0; i < names.size(); ++i) index_.emplace(names[i], i);
  }

  std::vector<Hypothesis> hypotheses() {
    std::vector<Hypothesis> out;
    advance();
    if (tok_.kind == Kind::end) fail("the text holds no hypothesis");
    for (;;) {
      if (tok_.kind == Kind::semicolon || tok_.kind == Kind::end)
        fail("empty hypothesis at " + column(text_, tok_.begin));
      Hypothesis h;
      const size_t begin = tok_.begin;
      constraint(h.constraints);
      while (tok_.kind == Kind::ampersand) {
        advance();
        constraint(h.constraints);
      }
      h.text = std::string(text_.substr(begin, previous_end_ - begin));
      out.push_back(std::move(h));
      // constraint() returns only at the end, "&" or ";".
      if (tok_.kind == Kind::end) break;
      advance();
      if (tok_.kind == Kind::end) break;  // the one ";" accepted at the end
    }
    return out;
  }

 private:
  // A chain of expressions joined by comparisons: one row per comparison,
  // in the order written.
  void constraint(std::vector<Constraint>& rows) {
    Linear left = expression(0);
    const size_t first = left.begin;
    bool compared = false;
    for (;;) {
      if (tok_.kind == Kind::greater || tok_.kind == Kind::less) {
        const bool greater = tok_.kind == Kind::greater;
        advance();
        Linear right = expression(0);
        rows.push_back(greater ? row(left, right) : row(right, left));
        left = std::move(right);
        compared = true;
      } else if (tok_.kind == Kind::end || tok_.kind == Kind::ampersand ||
                 tok_.kind == Kind::semicolon) {
        if (!compared)
          fail("expected \">\" or \"<\" after the expression at " + column(text_, first));
        return;
      } else if (tok_.kind == Kind::close) {
        fail("unmatched \")\" at " + column(text_, tok_.begin));
      } else {
        fail("expected an operator at " + column(text_, tok_.begin) + ", found " + found());
      }
    }
  }

  // The row of `big > small`.
  Constraint row(const Linear& big, const Linear& small) const {
    const size_t begin = std::min(big.begin, small.begin);
    const size_t end = std::max(big.end, small.end);
    const auto where = [&] {
      return "constraint " + quoted(text_.substr(begin, end - begin)) + " at " + column(text_, begin);
    };
    Constraint r;
    r.coefficients.resize(names_.size());
    // Adding +0.0 turns a -0.0 left by a negation or a product into 0.0.
    for (size_t i = 0; i < names_.size(); ++i)
      r.coefficients[i] = big.coefficients[i] - small.coefficients[i] + 0.0;
    r.rhs = small.constant - big.constant + 0.0;
    // The engine works in single precision: a value that does not fit a
    // float, or a row whose coefficients all round to zero, is refused here.
    const auto not_float = [](double v) { return std::isnan(v) || std::isinf(static_cast<float>(v)); };
    if (not_float(r.rhs) || std::any_of(r.coefficients.begin(), r.coefficients.end(), not_float))
      fail(where() + " has a value beyond single precision");
    if (std::all_of(r.coefficients.begin(), r.coefficients.end(),
                    [](double v) { return static_cast<float>(v) == 0.0f; }))
      fail(where() + " involves no parameter");
    return r;
  }

  Linear expression(int depth) {
    Linear v = term(depth);
    while (tok_.kind == Kind::plus || tok_.kind == Kind::minus) {
      const bool minus = tok_.kind == Kind::minus;
      advance();
      const Linear r = term(depth);
      for (size_t i = 0; i < v.coefficients.size(); ++i)
        v.coefficients[i] = minus ? v.coefficients[i] - r.coefficients[i] : v.coefficients[i] + r.coefficients[i];
      v.constant = minus ? v.constant - r.constant : v.constant + r.constant;
      v.named = v.named || r.named;
      v.end = r.end;
    }
    return v;
  }

  Linear term(int depth) {
    Linear v = factor(depth);
    while (tok_.kind == Kind::times || tok_.kind == Kind::divide) {
      const bool times = tok_.kind == Kind::times;
      advance();
      Linear r = factor(depth);
      const auto nonlinear = [&](const char* why) {
        fail(quoted(text_.substr(v.begin, r.end - v.begin)) + " at " + column(text_, v.begin) +
             " is not linear: " + why);
      };
      if (times) {
        if (v.named && r.named) nonlinear("a product of two parameters");
        // Scale the side that may hold names by the constant of the other.
        const double k = v.named ? r.constant : v.constant;
        if (!v.named) {
          v.coefficients = std::move(r.coefficients);
          v.constant = r.constant;
          v.named = r.named;
        }
        for (double& c : v.coefficients) c *= k;
        v.constant *= k;
      } else {
        if (r.named) nonlinear("a division by a parameter");
        if (r.constant == 0.0) fail("division by zero at " + column(text_, r.begin));
        for (double& c : v.coefficients) c /= r.constant;
        v.constant /= r.constant;
      }
      v.end = r.end;
    }
    return v;
  }

  // Signs are read in a loop, not by recursion, so that a long run of them
  // costs no stack.
  Linear factor(int depth) {
    const size_t begin = tok_.begin;
    bool negative = false;
    while (tok_.kind == Kind::plus || tok_.kind == Kind::minus) {
      negative = negative != (tok_.kind == Kind::minus);
      advance();
    }
    Linear v = primary(depth);
    if (negative) {
      for (double& c : v.coefficients) c = -c;
      v.constant = -v.constant;
    }
    v.begin = begin;
    return v;
  }

  Linear primary(int depth) {
    Linear v;
    v.coefficients.assign(names_.size(), 0.0);
    v.begin = tok_.begin;
    v.end = tok_.end;
    switch (tok_.kind) {
      case Kind::number:
        v.constant = tok_.value;
        advance();
        return v;
      case Kind::name: {
        const auto it = index_.find(tok_.name);
        if (it == index_.end()) fail(unknown_name());
        v.coefficients[it->second] = 1.0;
        v.named = true;
        advance();
        return v;
      }
      case Kind::open: {
        if (depth >= max_depth)
          fail("parentheses nested deeper than " + std::to_string(max_depth) + " at " +
               column(text_, tok_.begin));
        const size_t open = tok_.begin;
        advance();
        v = expression(depth + 1);
        if (tok_.kind == Kind::close) {
          v.begin = open;
          v.end = tok_.end;
          advance();
          return v;
        }
        if (tok_.kind == Kind::end || tok_.kind == Kind::semicolon || tok_.kind == Kind::ampersand ||
            tok_.kind == Kind::greater || tok_.kind == Kind::less)
          fail("unclosed \"(\" at " + column(text_, open));
        fail("expected an operator or \")\" at " + column(text_, tok_.begin) + ", found " + found());
      }
      default:
        fail("expected a name, a number or \"(\" at " + column(text_, tok_.begin) + ", found " +
             found());
    }
  }

  std::string unknown_name() const {
    std::string m = "unknown parameter " + quoted(tok_.name) + " at " + column(text_, tok_.begin);
    if (listed_ == 0) return m + "; there are no parameters";
    m += "; parameters are ";
    for (size_t i = 0; i < listed_; ++i) m += (i ? ", " : "") + written_name(names_[i]);
    return m;
  }

  // The current token as it is named in a message.
  std::string found() const {
    if (tok_.kind == Kind::end) return "the end of the text";
    return quoted(text_.substr(tok_.begin, tok_.end - tok_.begin));
  }

  void advance() {
    previous_end_ = tok_.end;
    tok_ = lex(tok_.end);
  }

  // The token that starts at or after `pos` (after blanks). Tokens are read
  // one at a time as the parser asks for them, so the first error in the
  // text is the one reported.
  Token lex(size_t pos) const {
    while (pos < text_.size() && is_blank(text_[pos])) ++pos;
    Token t;
    t.begin = pos;
    t.end = pos + 1;
    if (pos == text_.size()) {
      t.end = pos;
      return t;
    }
    const char c = text_[pos];
    const auto next_is = [&](size_t i, char want) { return i < text_.size() && text_[i] == want; };
    const auto digit_at = [&](size_t i) { return i < text_.size() && is_digit(text_[i]); };
    if (starts_name(text_, pos)) {
      size_t e = pos + 1;
      while (e < text_.size() && continues_name(text_[e])) ++e;
      t.kind = Kind::name;
      t.end = e;
      t.name = text_.substr(pos, e - pos);
      return t;
    }
    if (is_digit(c) || c == '.') {  // a '.' here is followed by a digit
      size_t e = pos;
      while (digit_at(e)) ++e;
      if (next_is(e, '.'))
        for (++e; digit_at(e);) ++e;
      // An exponent only when digits follow: "2e" is the number 2 and the name e.
      if (next_is(e, 'e') || next_is(e, 'E')) {
        size_t d = e + 1;
        if (next_is(d, '+') || next_is(d, '-')) ++d;
        if (digit_at(d)) {
          e = d;
          while (digit_at(e)) ++e;
        }
      }
      t.kind = Kind::number;
      t.end = e;
      size_t used = 0;
      if (textio::read_number(text_.substr(pos, e - pos), t.value, used) != textio::NumberRead::ok ||
          used != e - pos)
        fail("number " + quoted(text_.substr(pos, e - pos)) + " at " + column(text_, pos) +
             " is out of range");
      return t;
    }
    switch (c) {
      case '`': {
        const size_t close = text_.find('`', pos + 1);
        if (close == std::string_view::npos) fail("unclosed backquote at " + column(text_, pos));
        if (close == pos + 1) fail("empty name between backquotes at " + column(text_, pos));
        t.kind = Kind::name;
        t.end = close + 1;
        t.name = text_.substr(pos + 1, close - pos - 1);
        return t;
      }
      case '>':
      case '<':
        t.kind = c == '>' ? Kind::greater : Kind::less;
        if (next_is(pos + 1, '=')) t.end = pos + 2;
        return t;
      case '=':
        fail(std::string("equality constraints are not supported (") +
             quoted(next_is(pos + 1, '=') ? "==" : "=") + " at " + column(text_, pos) +
             "); write inequalities with > or <");
      case '+': t.kind = Kind::plus; return t;
      case '-': t.kind = Kind::minus; return t;
      case '*': t.kind = Kind::times; return t;
      case '/': t.kind = Kind::divide; return t;
      case '(': t.kind = Kind::open; return t;
      case ')': t.kind = Kind::close; return t;
      case '&': t.kind = Kind::ampersand; return t;
      case ';': t.kind = Kind::semicolon; return t;
      default:
        fail("unexpected character " + quoted(shown_byte(c)) + " at " + column(text_, pos));
    }
  }

  std::string_view text_;
  const std::vector<std::string>& names_;
  size_t listed_;
  std::unordered_map<std::string_view, size_t> index_;
  Token tok_;
  size_t previous_end_ = 0;
};

// The shortest text that reads back to the same float; zero (of either
// sign) is "0".
std::string float_text(double v) {
  const float f = static_cast<float>(v);
  if (f == 0.0f) return "0";
  return textio::shortest_text(f);
}

}  // namespace

std::vector<std::string> default_names(int32_t parameters) {
  std::vector<std::string> names;
  for (int32_t i = 1; i <= parameters; ++i) names.push_back("theta" + std::to_string(i));
  return names;
}

std::vector<Hypothesis> parse_hypotheses(std::string_view text,
                                         const std::vector<std::string>& names) {
  const numlib::DefaultFloatEnvironment in_default;  // numbers read as in any process
  check_names(names);
  return Parser(text, names, names.size()).hypotheses();
}

std::vector<Hypothesis> parse_hypotheses(std::string_view text, const std::vector<std::string>& names,
                                         const std::vector<std::string>& aliases,
                                         const std::vector<size_t>& alias_of) {
  const numlib::DefaultFloatEnvironment in_default;
  if (alias_of.size() != aliases.size())
    fail(std::to_string(aliases.size()) + " aliases but " + std::to_string(alias_of.size()) +
         " parameters they stand for");
  for (const size_t i : alias_of)
    if (i >= names.size())
      fail("an alias stands for parameter " + std::to_string(i + 1) + " of " + std::to_string(names.size()));
  std::vector<std::string> all = names;
  all.insert(all.end(), aliases.begin(), aliases.end());
  check_names(all);
  std::vector<Hypothesis> hs = Parser(text, all, names.size()).hypotheses();
  for (Hypothesis& h : hs) {
    for (size_t k = 0; k < h.constraints.size(); ++k) {
      std::vector<double>& c = h.constraints[k].coefficients;
      for (size_t a = 0; a < aliases.size(); ++a) c[alias_of[a]] += c[names.size() + a];
      c.resize(names.size());
      // A parameter less its own alias is no constraint.
      if (std::all_of(c.begin(), c.end(), [](double v) { return static_cast<float>(v) == 0.0f; }))
        fail("constraint " + std::to_string(k + 1) + " of hypothesis \"" + h.text + "\" involves no parameter");
    }
  }
  return hs;
}

std::string constraint_text(const Constraint& row, const std::vector<std::string>& names) {
  check_names(names);
  if (row.coefficients.size() != names.size())
    fail("a constraint row with " + std::to_string(row.coefficients.size()) +
         " coefficients cannot be written over " + std::to_string(names.size()) + " parameters");
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    // Decided on the float the engine will use, so that a coefficient that
    // rounds to 0 is left out and one that rounds to 1 is written bare.
    const float c = static_cast<float>(row.coefficients[i]);
    if (c == 0.0f) continue;
    const bool negative = c < 0.0f;
    if (!out.empty()) {
      out += negative ? " - " : " + ";
    } else if (negative) {
      out += '-';
    }
    const float magnitude = negative ? -c : c;
    if (magnitude != 1.0f) out += float_text(magnitude) + "*";
    out += written_name(names[i]);
  }
  if (out.empty()) out = "0";
  return out + " > " + float_text(row.rhs);
}

}  // namespace ineqbf
