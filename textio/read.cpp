// Free-format reads from an input unit.
//
// The input is consumed one character at a time from a buffer that is
// refilled from the file, so neither the file nor a record is ever held in
// memory as a whole; a value is condensed while it is scanned (at most
// MAX_DIGITS significant digits are kept), so a line or a number of any
// length is handled in bounded memory.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include <sys/stat.h>

#include "textio/textio.h"

namespace textio {

namespace {

// Significant digits kept of a real value. A float, or a point half-way
// between two floats, has at most 112 significant decimal digits, so the
// first 200 digits plus one "sticky" digit standing for any non-zero digits
// after them round exactly as the full text does.
constexpr int MAX_DIGITS = 200;

// Bound on exponents while scanning, far outside the float range but safe
// from integer overflow when added.
constexpr int64_t EXPONENT_LIMIT = INT64_C(1000000000000000);

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// One value of a free-format read as scanned: an optional repeat count r*,
// then the value text (empty for r*), condensed.
struct Token {
  // Repeat count (r*c or r*).
  bool has_repeat = false;
  int64_t repeat = 0;  // saturated

  // Value text after the repeat count.
  enum State { Start, Sign, Int, Frac, ExpLetter, ExpSign, ExpDigits, Bad } state = Start;
  bool empty = true;         // no characters in the value text
  bool negative = false;
  bool has_sign = false;
  bool mantissa_digit = false;
  uint64_t int_magnitude = 0;  // integer digits, saturated above 2^32
  char digits[MAX_DIGITS + 1];  // significant digits (leading zeros dropped)
  int ndigits = 0;
  bool sticky = false;          // a non-zero digit beyond MAX_DIGITS
  int64_t point_exponent = 0;   // value = 0.digits * 10^point_exponent
  bool exponent_negative = false;
  int64_t exponent = 0;         // saturated

  void reset_value() {
    state = Start;
    empty = true;
    negative = has_sign = mantissa_digit = false;
    int_magnitude = 0;
    ndigits = 0;
    sticky = false;
    point_exponent = 0;
    exponent_negative = false;
    exponent = 0;
  }

  void mantissa(int c, bool fraction) {
    mantissa_digit = true;
    if (!fraction && int_magnitude <= (UINT64_C(1) << 32))
      int_magnitude = int_magnitude * 10 + static_cast<uint64_t>(c - '0');
    if (ndigits == 0 && c == '0') {
      // A leading zero: significant only as a place holder after the point.
      if (fraction && point_exponent > -EXPONENT_LIMIT) --point_exponent;
      return;
    }
    if (!fraction && point_exponent < EXPONENT_LIMIT) ++point_exponent;
    if (ndigits < MAX_DIGITS) {
      digits[ndigits++] = static_cast<char>(c);
    } else if (c != '0') {
      sticky = true;
    }
  }

  void feed(int c) {
    if (c == '*' && state == Int && !has_sign && !has_repeat) {
      has_repeat = true;
      repeat = static_cast<int64_t>(int_magnitude);  // saturated: far above any list
      reset_value();
      return;
    }
    empty = false;
    const bool exponent_letter = c == 'e' || c == 'E' || c == 'd' || c == 'D';
    switch (state) {
      case Start:
        if (c == '+' || c == '-') {
          has_sign = true;
          negative = c == '-';
          state = Sign;
          return;
        }
        [[fallthrough]];
      case Sign:
        if (is_digit(c)) {
          mantissa(c, false);
          state = Int;
        } else if (c == '.') {
          state = Frac;
        } else {
          state = Bad;
        }
        return;
      case Int:
        if (is_digit(c)) {
          mantissa(c, false);
        } else if (c == '.') {
          state = Frac;
        } else if (exponent_letter) {
          state = ExpLetter;
        } else {
          state = Bad;
        }
        return;
      case Frac:
        if (is_digit(c)) {
          mantissa(c, true);
        } else if (exponent_letter && mantissa_digit) {
          state = ExpLetter;
        } else {
          state = Bad;
        }
        return;
      case ExpLetter:
        if (c == '+' || c == '-') {
          exponent_negative = c == '-';
          state = ExpSign;
          return;
        }
        [[fallthrough]];
      case ExpSign:
      case ExpDigits:
        if (is_digit(c)) {
          if (exponent < EXPONENT_LIMIT) exponent = exponent * 10 + (c - '0');
          state = ExpDigits;
        } else {
          state = Bad;
        }
        return;
      case Bad:
        return;
    }
  }

  bool valid_repeat() const { return !has_repeat || repeat > 0; }
  bool valid_integer() const { return valid_repeat() && state == Int; }
  bool valid_real() const {
    return valid_repeat() && mantissa_digit && (state == Int || state == Frac || state == ExpDigits);
  }
};

enum class Conversion { Ok, Syntax, Range };

Conversion to_integer(const Token& t, int32_t& out) {
  if (!t.valid_integer()) return Conversion::Syntax;
  const uint64_t limit = t.negative ? UINT64_C(2147483648) : UINT64_C(2147483647);
  if (t.int_magnitude > limit) return Conversion::Range;
  const int64_t v = static_cast<int64_t>(t.int_magnitude);
  out = static_cast<int32_t>(t.negative ? -v : v);
  return Conversion::Ok;
}

// `wide`, when given, receives the value in double precision (as written,
// rounded once to double) whenever `out` is set.
Conversion to_real(const Token& t, float& out, double* wide = nullptr) {
  if (!t.valid_real()) return Conversion::Syntax;
  if (t.ndigits == 0) {
    out = t.negative ? -0.0f : 0.0f;
    if (wide != nullptr) *wide = out;
    return Conversion::Ok;
  }
  // value = 0.d1d2... * 10^e
  const int64_t e = t.point_exponent + (t.exponent_negative ? -t.exponent : t.exponent);
  if (e > 40) return Conversion::Range;  // at least 10^40
  // A clean copy of the number, converted with correct rounding.
  char text[MAX_DIGITS + 32];
  int n = 0;
  if (t.negative) text[n++] = '-';
  text[n++] = '0';
  text[n++] = '.';
  for (int i = 0; i < t.ndigits; ++i) text[n++] = t.digits[i];
  if (t.sticky) text[n++] = '1';
  n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "e%lld",
                     static_cast<long long>(std::max<int64_t>(e, -100000)));
  if (e < -50) {  // below 10^-50: rounds to zero
    out = t.negative ? -0.0f : 0.0f;
    if (wide != nullptr) *wide = std::strtod(text, nullptr);
    return Conversion::Ok;
  }
  errno = 0;
  const float v = std::strtof(text, nullptr);
  if (std::isinf(v)) return Conversion::Range;
  out = v;  // an underflow gives the correctly rounded subnormal or zero
  if (wide != nullptr) *wide = std::strtod(text, nullptr);
  return Conversion::Ok;
}

// Converts a real into its variable, keeping the value as written in double
// precision too in `exact` when it is given.
Conversion store_real(const Token& token, float& variable, std::vector<ExactReal>* exact) {
  if (exact == nullptr) return to_real(token, variable);
  double wide = 0.0;
  const Conversion result = to_real(token, variable, &wide);
  if (result == Conversion::Ok) exact->push_back({&variable, wide});
  return result;
}

}  // namespace

// ---------------------------------------------------------------------------
// Opening and closing

InputUnit::~InputUnit() {
  if (file_ != nullptr) std::fclose(file_);
}

void InputUnit::open(int unit, std::string filename, std::string shown) {
  close();
  unit_ = unit;
  filename_ = shown.empty() ? filename : std::move(shown);
  opened_ = false;
  // Status "OLD": a failed open is only recorded; the first read reports it.
  std::FILE* f = std::fopen(filename.c_str(), "rb");
  if (f == nullptr) {
    open_error_ = (errno == ENOENT || errno == ENOTDIR) ? ERR_NOT_FOUND : ERR_OPEN;
    return;
  }
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(f);
    open_error_ = ERR_OPEN;
    return;
  }
  file_ = f;
  buffer_.assign(BUFFER_SIZE, '\0');
  pos_ = len_ = 0;
  opened_ = true;
  has_end_ = S_ISREG(st.st_mode);
  line_ = 1;
  column_ = 0;
}

void InputUnit::open_text(int unit, std::string filename, std::string text) {
  close();
  unit_ = unit;
  filename_ = std::move(filename);
  buffer_ = std::move(text);
  pos_ = 0;
  len_ = buffer_.size();
  opened_ = true;
  has_end_ = true;
  line_ = 1;
  column_ = 0;
}

void InputUnit::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  buffer_.clear();
  buffer_.shrink_to_fit();
  pos_ = len_ = 0;
  opened_ = false;
  open_error_ = ERR_NOT_FOUND;
}

// ---------------------------------------------------------------------------
// Character source

bool InputUnit::fill() {
  if (file_ == nullptr) return false;
  const size_t n = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  if (n == 0) {
    if (std::ferror(file_)) fatal(ERR_READ, unit_, filename_);
    return false;
  }
  pos_ = 0;
  len_ = n;
  return true;
}

int InputUnit::raw_peek() {
  if (pos_ >= len_ && !fill()) return END_OF_FILE;
  return static_cast<unsigned char>(buffer_[pos_]);
}

int InputUnit::peek() {
  const int c = raw_peek();
  return (c == '\r' || c == '\n') ? END_OF_RECORD : c;
}

void InputUnit::advance() {
  const int c = raw_peek();
  if (c == END_OF_FILE) return;
  ++pos_;
  if (c == '\r' || c == '\n') {
    // CR LF, LF and a lone CR each end one record.
    if (c == '\r' && raw_peek() == '\n') ++pos_;
    ++line_;
    column_ = 0;
    return;
  }
  if (++column_ > INPUT_RECORD_LIMIT) [[unlikely]]
    fail(ERR_LONG_RECORD, {}, column_, 0, 0);
}

void InputUnit::fail(int number, std::string_view found, int64_t column, int64_t asked,
                     int64_t values) {
  failure_ = {number, line_, column, std::string(found.substr(0, TRACE_TEXT)), asked, values};
  fatal(number, unit_, filename_);
}

void InputUnit::note_rest(ReadStatement* statement) {
  // The rest of the record as text, then the record end.
  for (;;) {
    const int c = peek();
    if (c == END_OF_FILE) return;
    advance();
    if (c == END_OF_RECORD) return;
    if (statement != nullptr && statement->rest.size() < TRACE_TEXT)
      statement->rest.push_back(static_cast<char>(c));
  }
}

bool InputUnit::next_record(std::string& text) {
  text.clear();
  if (!opened_ || at_end_of_file()) return false;
  ReadStatement s;
  note_rest(&s);
  text = std::move(s.rest);
  return true;
}

void InputUnit::skip_record() {
  for (;;) {
    const int c = peek();
    if (c == END_OF_FILE) return;
    advance();
    if (c == END_OF_RECORD) return;
  }
}

// ---------------------------------------------------------------------------
// The read statement

// The variables of a read statement's list, one after another.
class InputUnit::ReadList {
 public:
  explicit ReadList(std::span<const ReadItem> items) : items_(items) {
    for (const ReadItem& item : items) remaining_ += item.count > 0 ? item.count : 0;
    asked_ = remaining_;
  }
  int64_t asked() const { return asked_; }
  int64_t remaining() const { return remaining_; }
  int64_t done() const { return asked_ - remaining_; }

  // The item of the next variable; element() is its element.
  const ReadItem& next() {
    while (items_[index_].count <= element_) {
      ++index_;
      element_ = 0;
    }
    return items_[index_];
  }
  int64_t element() const { return element_; }
  // The next variable is done with (given a value or left as it is).
  void pass() {
    next();
    ++element_;
    --remaining_;
  }

 private:
  std::span<const ReadItem> items_;
  size_t index_ = 0;
  int64_t element_ = 0;
  int64_t remaining_ = 0;
  int64_t asked_ = 0;
};

// Where the scan of the records of a read statement is.
struct InputUnit::Scan {
  Token token;
  bool at_record_start = true;   // only blanks so far in this record
  bool comma_seen = false;       // the separator since the last value holds a comma
  std::string raw;               // the text of the value in hand (at most TRACE_TEXT characters)
  int64_t raw_column = 0;        // its first character
  bool value_ends_here = false;  // the last value ended right at the current character
};

void InputUnit::read(std::span<const ReadItem> items) {
  if (!opened_) fatal(open_error_, unit_, filename_);
  ReadList list(items);
  ReadStatement* statement = nullptr;
  if (trace_ != nullptr) {
    trace_->push_back({line_, line_, list.asked(), 0, {}});
    statement = &trace_->back();
  }
  // Every read begins at the start of a record; there must be one.
  if (at_end_of_file()) fail(ERR_EOF, {}, 1, list.asked(), 0);
  if (list.remaining() > 0) read_values(list, statement);
  // The rest of the current record is skipped; the next read starts at the
  // following record.
  if (statement != nullptr) {
    statement->values = list.done();
    note_rest(statement);
  } else {
    skip_record();
  }
}

// The values of the list, crossing record ends, up to the last variable or
// a slash.
void InputUnit::read_values(ReadList& list, ReadStatement* statement) {
  Scan scan;
  while (list.remaining() > 0) {
    const int c = peek();
    if (c == END_OF_FILE) fail(ERR_EOF, {}, column_ + 1, list.asked(), list.done());
    if (c == '/') {
      // A slash ends the read; the variables not reached keep their values.
      advance();
      return;
    }
    if (cross_separator(c, list, scan)) continue;
    if (statement != nullptr && statement->first_value_line == 0) statement->first_value_line = line_;
    scan_value(scan);
    if (statement != nullptr) statement->last_line = line_;
    store_value(list, scan);
  }
}

// Consumes c when it is a blank, a record end or a comma: true then.
bool InputUnit::cross_separator(int c, ReadList& list, Scan& scan) {
  if (c == ' ' || c == '\t') {
    advance();
    scan.value_ends_here = false;
    return true;
  }
  if (c == END_OF_RECORD) {
    advance();
    scan.at_record_start = true;
    scan.value_ends_here = false;
    return true;
  }
  if (c != ',') return false;
  if (commas_ != nullptr && scan.value_ends_here) note_glued_number(scan);
  scan.value_ends_here = false;
  advance();
  // A comma right after another comma, or first in its record, stands for a
  // null value: the variable keeps its value.
  if (scan.at_record_start || scan.comma_seen) list.pass();
  scan.at_record_start = false;
  scan.comma_seen = true;
  return true;
}

// At a comma right after a value: digits, the comma and a digit with no
// blank between ("0,42") are two values here, but were perhaps meant as one
// number; noted for the command line's warnings.
void InputUnit::note_glued_number(const Scan& scan) {
  const std::string& raw = scan.raw;
  if (raw.empty() || !is_digit(static_cast<unsigned char>(raw.back())) || pos_ + 1 >= len_ ||
      !is_digit(static_cast<unsigned char>(buffer_[pos_ + 1])))
    return;
  std::string text = raw + ",";
  for (size_t i = pos_ + 1; i < len_ && is_digit(static_cast<unsigned char>(buffer_[i])) && text.size() < TRACE_TEXT;
       ++i)
    text.push_back(buffer_[i]);
  commas_->push_back({line_, scan.raw_column, std::move(text)});
}

// Scans one value up to its separator.
void InputUnit::scan_value(Scan& scan) {
  Token& token = scan.token;
  token.has_repeat = false;
  token.repeat = 0;
  token.reset_value();
  scan.raw.clear();
  scan.raw_column = column_ + 1;
  for (int v = peek(); v != END_OF_FILE && v != END_OF_RECORD && v != ' ' && v != '\t' && v != ',' && v != '/';
       v = peek()) {
    token.feed(v);
    if (scan.raw.size() < TRACE_TEXT) scan.raw.push_back(static_cast<char>(v));
    advance();
  }
  scan.at_record_start = false;
  scan.comma_seen = false;
  scan.value_ends_here = true;
}

// Gives the value scanned to the next variables: r*c gives c to the next r
// variables, r* gives r null values; a repeat count beyond the end of the
// list is cut short.
void InputUnit::store_value(ReadList& list, const Scan& scan) {
  const Token& token = scan.token;
  int64_t copies = token.has_repeat ? token.repeat : 1;
  if (copies <= 0) fail(ERR_SYNTAX, scan.raw, scan.raw_column, list.asked(), list.done());  // 0*c
  for (; copies > 0 && list.remaining() > 0; --copies) {
    const ReadItem& item = list.next();
    if (!(token.has_repeat && token.empty)) {
      const int64_t at = list.element() * item.stride;
      const Conversion result = item.kind == ReadItem::Int
                                    ? to_integer(token, static_cast<int32_t*>(item.base)[at])
                                    : store_real(token, static_cast<float*>(item.base)[at], exact_);
      if (result == Conversion::Syntax) fail(ERR_SYNTAX, scan.raw, scan.raw_column, list.asked(), list.done());
      if (result == Conversion::Range) fail(ERR_CONVERSION, scan.raw, scan.raw_column, list.asked(), list.done());
    }
    list.pass();
  }
}

}  // namespace textio
