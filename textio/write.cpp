// Formatted and free-format writes: field editing (F w.d, I w, A), record
// building, and the output units (console and report file).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "textio/textio.h"

namespace textio {

namespace {

// A field of w columns holding `text` right-justified, or w asterisks when
// the text is longer than the field. A width of 0 or less means "as wide as
// the text".
std::string fit_field(const std::string& text, int w) {
  if (w <= 0) return text;
  const size_t width = static_cast<size_t>(w);
  if (text.size() > width) return std::string(width, '*');
  return std::string(width - text.size(), ' ') + text;
}

// Rounds the magnitude of `value` to d decimals, exact ties away from zero.
// Returns the integer digits (no leading zeros, empty when the integer part
// is zero) and the d fraction digits.
void round_fixed(float value, int d, std::string& int_digits, std::string& frac_digits) {
  // A float has at most 149 binary fraction digits, so its decimal expansion
  // ends within 149 decimals: printing 150 decimals is exact and leaves the
  // rounding to us. Decimals beyond those are zeros.
  constexpr int EXACT = 150;
  char buffer[256];  // at most 39 integer digits, the point, 150 decimals
  std::snprintf(buffer, sizeof buffer, "%.150f", std::fabs(static_cast<double>(value)));
  std::string exact = buffer;
  if (d >= EXACT) exact.append(static_cast<size_t>(d - EXACT + 1), '0');

  const size_t point = exact.find('.');
  std::string digits = exact.substr(0, point) + exact.substr(point + 1, static_cast<size_t>(d));
  // The first dropped digit decides: 5 or more (an exact tie included)
  // rounds the magnitude up.
  if (exact[point + 1 + static_cast<size_t>(d)] >= '5') {
    size_t i = digits.size();
    while (i > 0) {
      --i;
      if (digits[i] == '9') {
        digits[i] = '0';
      } else {
        ++digits[i];
        break;
      }
      if (i == 0) {
        digits.insert(digits.begin(), '1');
        break;
      }
    }
  }
  const size_t int_len = digits.size() - static_cast<size_t>(d);
  int_digits = digits.substr(0, int_len);
  frac_digits = digits.substr(int_len);
  const size_t first = int_digits.find_first_not_of('0');
  int_digits = (first == std::string::npos) ? std::string() : int_digits.substr(first);
}

}  // namespace

std::string edit_F(float value, int w, int d) {
  if (d < 0) d = 0;
  if (std::isnan(value)) return fit_field("NaN", w);
  if (std::isinf(value)) return fit_field(value < 0.0f ? "-Infinity" : "Infinity", w);

  std::string int_digits, frac_digits;
  round_fixed(value, d, int_digits, frac_digits);

  // A negative value keeps its minus sign even when it rounds to zero
  // (-0.0001 in F8.3 is "  -0.000"); a zero of either sign has none.
  std::string body = int_digits + "." + frac_digits;
  const std::string sign = value < 0.0f ? "-" : "";
  if (int_digits.empty()) {
    // Integer part zero: a "0" before the point when the field has a column
    // to spare for it; it must stay when there are no fraction digits.
    const size_t without_zero = sign.size() + body.size();
    if (d == 0 || w <= 0 || without_zero < static_cast<size_t>(w)) body = "0" + body;
  }
  return fit_field(sign + body, w);
}

std::string edit_I(int32_t value, int w) {
  return fit_field(std::to_string(static_cast<int64_t>(value)), w);
}

std::string build_record(std::span<const FormatItem> format, std::span<const Value> values) {
  std::string record;
  size_t next = 0;
  for (const FormatItem& item : format) {
    if (item.kind == FormatItem::Literal) {
      record.append(item.text.data(), item.text.size());
      continue;
    }
    // A data item with no value left ends the record.
    if (next >= values.size()) break;
    const Value& v = values[next++];
    // A value of the wrong kind for its item cannot be shown: its field is
    // filled with asterisks (an A item writes nothing).
    switch (item.kind) {
      case FormatItem::A:
        if (v.kind == Value::Text) record.append(v.text.data(), v.text.size());
        break;
      case FormatItem::F:
        record += (v.kind == Value::Real) ? edit_F(v.real, item.w, item.d)
                                          : std::string(static_cast<size_t>(std::max(item.w, 1)), '*');
        break;
      case FormatItem::I:
        record += (v.kind == Value::Int) ? edit_I(v.integer, item.w)
                                         : std::string(static_cast<size_t>(std::max(item.w, 1)), '*');
        break;
      case FormatItem::Literal:
        break;
    }
  }
  return record;
}

// ---------------------------------------------------------------------------
// Output units

OutputUnit::~OutputUnit() {
  // A unit still open when it goes away is closed quietly: the run may be
  // ending through a fatal error, and a report must not be raised from here.
  // The program closes its report file explicitly, and that close is
  // checked.
  if (file_ != nullptr) std::fclose(file_);
}

void OutputUnit::open(int unit, std::string filename, std::string shown) {
  if (file_ != nullptr || memory_) close();
  unit_ = unit;
  filename_ = shown.empty() ? filename : std::move(shown);
  // Status "replace": the file is created, or emptied if it exists.
  file_ = std::fopen(filename.c_str(), "wb");
  if (file_ == nullptr) fatal(ERR_OPEN, unit_, filename_);
}

void OutputUnit::open_memory(int unit, std::string filename) {
  if (file_ != nullptr || memory_) close();
  unit_ = unit;
  filename_ = std::move(filename);
  memory_ = true;
  memory_text_.clear();
}

void OutputUnit::close() {
  if (memory_) {
    memory_ = false;  // the text stays readable
    return;
  }
  if (file_ == nullptr) return;
  std::FILE* f = file_;
  file_ = nullptr;
  // Buffered data reaches the disk here at the latest: a full disk shows up
  // as a failed flush or close and must not pass for success.
  const bool failed = std::fflush(f) != 0 || std::ferror(f) != 0;
  const bool close_failed = std::fclose(f) != 0;
  if (failed || close_failed) fatal(ERR_WRITE, unit_, filename_);
}

void OutputUnit::write_record(std::string_view text) {
  if (file_ == nullptr && !memory_) fatal(ERR_WRITE, unit_, filename_);
  if (text.size() > RECORD_LENGTH) fatal(ERR_OVERFLOW, unit_, filename_);
  if (memory_) {
    memory_text_.append(text);
    memory_text_.append("\r\n");
    return;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), file_) == text.size() &&
                  std::fwrite("\r\n", 1, 2, file_) == 2;
  if (!ok) fatal(ERR_WRITE, unit_, filename_);
}

void OutputUnit::write_text(std::string_view records) {
  if (memory_) {
    memory_text_.append(records);
    return;
  }
  if (file_ == nullptr) fatal(ERR_WRITE, unit_, filename_);
  if (std::fwrite(records.data(), 1, records.size(), file_) != records.size())
    fatal(ERR_WRITE, unit_, filename_);
}

void OutputUnit::write_formatted(std::span<const FormatItem> format, std::span<const Value> values) {
  write_record(build_record(format, values));
}

void OutputUnit::write_free_empty() { write_record(" "); }

// ---------------------------------------------------------------------------
// The console

namespace {
}

Console::Console(Tap tap) : tap_(std::move(tap)) {}

Console::Console(std::FILE* stream, Tap tap) : stream_(stream), tap_(std::move(tap)) {}

void Console::put(std::string_view text) {
  std::string record;
  record.reserve(text.size() + 2);
  record.append(text);
  record.append("\r\n");
  if (stream_ != nullptr) {
    // Each record is pushed out at once, so that progress shows while the
    // run goes on even when the output is a pipe or a file.
    if (std::fwrite(record.data(), 1, record.size(), stream_) != record.size() ||
        std::fflush(stream_) != 0)
      failed_ = true;
  } else {
    text_.append(record);
  }
  if (tap_) tap_(record);
}

void Console::write_record(std::string_view text) {
  message_open_ = false;
  if (journal_on_) journal_.push_back({Entry::Record, std::string(text)});
  put(text);
}

void Console::write_message_line(std::string_view text) {
  if (!message_open_) {
    message_.clear();
    message_open_ = true;
  } else {
    message_.push_back('\n');
  }
  message_.append(text);
  if (journal_on_) journal_.push_back({Entry::MessageLine, std::string(text)});
  put(text);
}

void Console::write_message_lines(std::string_view lines) {
  for (;;) {
    const size_t end = lines.find('\n');
    write_message_line(lines.substr(0, end));
    if (end == std::string_view::npos) break;
    lines.remove_prefix(end + 1);
  }
}

void Console::replay_to(Console& other) const {
  for (const Entry& e : journal_) {
    switch (e.kind) {
      case Entry::Record: other.write_record(e.text); break;
      case Entry::MessageLine: other.write_message_line(e.text); break;
      case Entry::EndMessage: other.end_message(); break;
    }
  }
}

void Console::clear() {
  text_.clear();
  message_.clear();
  message_open_ = false;
  journal_.clear();
}

void Console::close() {
  if (stream_ != nullptr && (std::fflush(stream_) != 0 || std::ferror(stream_) != 0)) failed_ = true;
  if (failed_) fatal(ERR_WRITE, CONSOLE_UNIT, "stdout");
}

}  // namespace textio
