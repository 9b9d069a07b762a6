#include "textio/shortest.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale.h>
#if defined(__APPLE__)
#include <xlocale.h>
#endif

namespace textio {

namespace {

// The "C" locale made current on this thread for the life of the object, so
// that a caller's locale (a decimal comma) changes no text.
class CLocale {
 public:
  CLocale() : previous_(uselocale(c_locale())) {}
  ~CLocale() { uselocale(previous_); }
  CLocale(const CLocale&) = delete;
  CLocale& operator=(const CLocale&) = delete;

 private:
  static locale_t c_locale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    return c;
  }
  locale_t previous_;
};

float read_as(const char* text, float) { return std::strtof(text, nullptr); }
double read_as(const char* text, double) { return std::strtod(text, nullptr); }

// A decimal value as its significant digits and the power of ten of the
// first one: value = 0.d1 d2 … × 10^(exponent + 1).
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

// "-d.ddde+XX" as printf's %e writes it.
Decimal from_e_format(const char* text) {
  Decimal d;
  const char* p = text;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  for (; *p != 'e'; ++p)
    if (*p != '.') d.digits += *p;
  d.exponent = std::atoi(p + 1);
  return d;
}

// The last digit moved by `step` (+1 or -1), with carries and borrows.
bool nudged(Decimal& d, int step) {
  std::string& g = d.digits;
  size_t i = g.size();
  while (i-- > 0) {
    if (step > 0 && g[i] == '9') {
      g[i] = '0';
    } else if (step < 0 && g[i] == '0') {
      g[i] = '9';
    } else {
      g[i] = static_cast<char>(g[i] + step);
      if (g[0] == '0') return false;  // 1000 - 1: fewer digits, tried before
      return true;
    }
  }
  if (step < 0) return false;
  g.insert(g.begin(), '1');  // 999 + 1
  g.pop_back();
  ++d.exponent;
  return true;
}

std::string scientific(const Decimal& d) {
  std::string s = d.negative ? "-" : "";
  s += d.digits[0];
  if (d.digits.size() > 1) {
    s += '.';
    s.append(d.digits, 1);
  }
  const int e = std::abs(d.exponent);
  s += d.exponent < 0 ? "e-" : "e+";
  if (e < 10) s += '0';
  s += std::to_string(e);
  return s;
}

template <class Real>
bool reads_back(const Decimal& d, Real v) {
  return read_as(scientific(d).c_str(), Real{}) == v;
}

// The shortest digits that read back to v: printf's correctly rounded
// digits at 1, 2, … places, and where those miss at a power of two (whose
// lower gap is half the upper) the neighbour on the other side.
template <class Real>
Decimal shortest_digits(Real v) {
  constexpr int most = std::numeric_limits<Real>::max_digits10;
  char text[64];
  for (int places = 1; places < most; ++places) {
    std::snprintf(text, sizeof text, "%.*e", places - 1, static_cast<double>(v));
    Decimal d = from_e_format(text);
    if (reads_back(d, v)) return d;
    for (int step : {+1, -1}) {
      Decimal n = d;
      if (nudged(n, step) && reads_back(n, v)) return n;
    }
  }
  std::snprintf(text, sizeof text, "%.*e", most - 1, static_cast<double>(v));
  return from_e_format(text);
}

// Fixed notation; an integer is written with its exact value.
template <class Real>
std::string fixed(const Decimal& d, Real v) {
  const int n = static_cast<int>(d.digits.size());
  const int before = d.exponent + 1;  // digits before the point
  if (before >= n) {
    char text[400];
    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(v));
    return text;
  }
  std::string s = d.negative ? "-" : "";
  if (before > 0) return s + d.digits.substr(0, before) + "." + d.digits.substr(before);
  return s + "0." + std::string(static_cast<size_t>(-before), '0') + d.digits;
}

template <class Real>
std::string shortest(Real v) {
  if (std::isnan(v)) return std::signbit(v) ? "-nan" : "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  const CLocale c;
  const Decimal d = shortest_digits(v);
  const int n = static_cast<int>(d.digits.size());
  const int before = d.exponent + 1;
  const int fixed_length = before >= n ? before : before > 0 ? n + 1 : n + 2 - before;
  const int e = std::abs(d.exponent);
  const int scientific_length = n + (n > 1 ? 1 : 0) + 2 + (e < 100 ? 2 : 3);
  return fixed_length <= scientific_length ? fixed(d, v) : scientific(d);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string shortest_text(float v) { return shortest(v); }
std::string shortest_text(double v) { return shortest(v); }

NumberRead read_number(std::string_view text, double& value, size_t& used) {
  const size_t size = text.size();
  const auto digits_from = [&](size_t i) {
    while (i < size && is_digit(text[i])) ++i;
    return i;
  };
  size_t i = (size > 0 && text[0] == '-') ? 1 : 0;
  const size_t start = i;
  i = digits_from(i);
  bool any = i > start;
  if (i < size && text[i] == '.') {
    const size_t fraction = i + 1;
    i = digits_from(fraction);
    any = any || i > fraction;
  }
  if (!any) return NumberRead::invalid;
  bool nonzero = false;
  for (size_t k = start; k < i; ++k) nonzero = nonzero || (text[k] >= '1' && text[k] <= '9');
  if (i < size && (text[i] == 'e' || text[i] == 'E')) {
    size_t k = i + 1;
    if (k < size && (text[k] == '+' || text[k] == '-')) ++k;
    if (k < size && is_digit(text[k])) i = digits_from(k);
  }
  const std::string number(text.substr(0, i));
  double v;
  {
    const CLocale c;
    v = std::strtod(number.c_str(), nullptr);
  }
  used = i;
  if (std::isinf(v) || (v == 0.0 && nonzero)) return NumberRead::out_of_range;
  value = v;
  return NumberRead::ok;
}

}  // namespace textio
