// The text layer: free-format reads of the input file, formatted and
// free-format writes of records to the console and to the report file, and
// the layer's fatal errors. Every record written ends with CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ineqbf/vocabulary.h"

namespace textio {

// The exit statuses of a run that ends early are the library's
// (ineqbf/vocabulary.h), for every part of the program.
using ineqbf::Status;

// The units of a run: the input file, the report file and the console.
inline constexpr int INPUT_UNIT = 10;
inline constexpr int REPORT_UNIT = 20;
inline constexpr int CONSOLE_UNIT = 6;

// Error numbers of the layer.
inline constexpr int ERR_EOF = 24;         // end-of-file during read
inline constexpr int ERR_SYNTAX = 59;      // list-directed I/O syntax error
inline constexpr int ERR_CONVERSION = 64;  // input conversion error
inline constexpr int ERR_OVERFLOW = 66;    // output statement overflows record
inline constexpr int ERR_NOT_FOUND = 29;   // file not found (read after a failed open)
inline constexpr int ERR_OPEN = 30;        // open failure (file cannot be created)
inline constexpr int ERR_WRITE = 38;       // error during write or close
inline constexpr int ERR_READ = 39;        // error during read (the system refused a read)
inline constexpr int ERR_LONG_RECORD = 67; // input record too long (beyond INPUT_RECORD_LIMIT)

// Longest record that a unit accepts, in characters (error 66 beyond it).
inline constexpr size_t RECORD_LENGTH = 65536;
// Longest input record read, in characters (error 67 beyond it): far above
// any real line, it stops a file that never ends a line (a link to
// /dev/zero) instead of reading it for ever.
inline constexpr int64_t INPUT_RECORD_LIMIT = INT64_C(64) << 20;

// Every early end of a run, whatever stops it (the text layer, the
// allocator, a subscript, the numerical library, a check of the driver):
// thrown where the run stops and caught where the run was started, which
// prints what is still pending on the run's console and turns `status` into
// the program's exit status or the caller's error.
struct RunEnded : std::exception {
  RunEnded(Status status_, std::string pending_) : status(status_), pending(std::move(pending_)) {}
  const char* what() const noexcept override { return "the run ended early"; }
  Status status;
  // The lines of the message that says why (separated by '\n', without
  // record ends) not yet printed; empty when the message has been printed.
  std::string pending;
};

// Ends the run: throws RunEnded.
[[noreturn]] void end_run(Status status, std::string pending = {});

// The text of the layer's fatal error N: "vexlib: severe (N): <text with
// unit and file>".
std::string fatal_text(int number, int unit, std::string_view filename);
// Ends the run with that message and Status::io_error.
[[noreturn]] void fatal(int number, int unit, std::string_view filename);

// One variable (or a run of `count` consecutive variables `stride` elements
// apart) of a free-format read.
struct ReadItem {
  enum Kind { Int, Real } kind;
  void* base;
  int64_t count;
  int64_t stride;
};

inline ReadItem int_item(int32_t& v) { return {ReadItem::Int, &v, 1, 1}; }
inline ReadItem real_item(float& v) { return {ReadItem::Real, &v, 1, 1}; }
inline ReadItem reals_item(float* first, int64_t count, int64_t stride = 1) {
  return {ReadItem::Real, first, count, stride};
}

// Where a read statement of an input unit went, for callers that check the
// layout of a file (line numbers count records from 1).
struct ReadStatement {
  int64_t first_line = 0;  // the record the read started in
  int64_t last_line = 0;   // the record of its last value (its only record when it reads nothing)
  int64_t asked = 0;       // variables in its list
  int64_t values = 0;      // values (and null values) it transferred
  // The text of the record skipped after its last value (or the whole
  // record of a read with no variables), at most TRACE_TEXT characters.
  std::string rest;
  int64_t first_value_line = 0;  // the record of its first value (0 when none)
};
inline constexpr size_t TRACE_TEXT = 200;

// A value written with a comma between digits ("0,42"), which the reader
// takes as two values.
struct DecimalCommaSuspect {
  int64_t line = 0;
  int64_t column = 0;
  std::string text;
};

// A real value as written, before its rounding to single precision: the
// variable it was read into and the value in double precision.
struct ExactReal {
  const float* variable = nullptr;
  double value = 0.0;
};

// Where and on what the read that ended the run failed.
struct ReadFailure {
  int number = 0;          // the layer's error number
  int64_t line = 0;        // 1-based record
  int64_t column = 0;      // 1-based character of the value (or of the end)
  std::string found;       // the value's text, at most TRACE_TEXT characters; empty at the end of the file
  int64_t asked = 0;       // variables of the read
  int64_t values = 0;      // values it had transferred before
};

// An input unit opened with status "OLD": a failed open is recorded and not
// reported; the first read from it then ends the run.
class InputUnit {
 public:
  InputUnit() = default;
  ~InputUnit();
  InputUnit(const InputUnit&) = delete;
  InputUnit& operator=(const InputUnit&) = delete;

  // Messages name the file `shown` (the path opened when it is empty).
  void open(int unit, std::string filename, std::string shown = {});
  // Read from text held in memory, named `filename` in messages.
  void open_text(int unit, std::string filename, std::string text);
  void close();

  // One free-format read statement. An empty list consumes one record.
  void read(std::span<const ReadItem> items);
  void read(std::initializer_list<ReadItem> items) {
    read(std::span<const ReadItem>(items.begin(), items.size()));
  }

  // The layout checks of the command line: when `trace` is given, every
  // read statement appends where it went, and values that look like
  // decimal commas are noted.
  void keep_trace(std::vector<ReadStatement>* trace, std::vector<DecimalCommaSuspect>* commas) {
    trace_ = trace;
    commas_ = commas;
  }
  // When `exact` is given, every real value read also appends its value in
  // double precision (for callers that want the values as written).
  void keep_exact(std::vector<ExactReal>* exact) { exact_ = exact; }
  // After a read that ended the run: where and on what it failed.
  const ReadFailure& failure() const { return failure_; }
  // The record the next read starts in.
  int64_t line() const { return line_; }
  // Whether the unit reads a regular file or text in memory (whose end comes
  // without waiting), rather than a pipe or a device.
  bool has_end() const { return has_end_; }
  // The next record as text (at most TRACE_TEXT characters kept); false at
  // the end of the file.
  bool next_record(std::string& text);

 private:
  // Character source: input is taken through a buffer of bytes, refilled from
  // the file, so a file of any size is read one piece at a time. A unit opened
  // from text holds the whole text in the buffer.
  int peek();        // next character, END_OF_RECORD or END_OF_FILE
  void advance();    // consumes it (CR LF counts as one record end)
  int raw_peek();
  bool fill();
  void skip_record();  // up to and including the next record end
  bool at_end_of_file() { return peek() == END_OF_FILE; }

  static constexpr int END_OF_FILE = -1;
  static constexpr int END_OF_RECORD = -2;
  static constexpr size_t BUFFER_SIZE = 65536;

  // Ends the run with error `number`, noting where and on what.
  [[noreturn]] void fail(int number, std::string_view found, int64_t column, int64_t asked,
                         int64_t values);
  void note_rest(ReadStatement* statement);

  // The steps of a read statement (read.cpp): the variables of its list in
  // turn, and where the scan of the record is.
  class ReadList;
  struct Scan;
  void read_values(ReadList& list, ReadStatement* statement);
  bool cross_separator(int c, ReadList& list, Scan& scan);
  void note_glued_number(const Scan& scan);
  void scan_value(Scan& scan);
  void store_value(ReadList& list, const Scan& scan);

  int unit_ = 0;
  std::string filename_;
  std::FILE* file_ = nullptr;
  std::string buffer_;
  size_t pos_ = 0;
  size_t len_ = 0;
  bool opened_ = false;
  int open_error_ = ERR_NOT_FOUND;  // error a read reports when the open failed
  bool has_end_ = false;
  int64_t line_ = 1;    // record of the next character
  int64_t column_ = 0;  // characters of that record before it
  ReadFailure failure_;
  std::vector<ReadStatement>* trace_ = nullptr;
  std::vector<DecimalCommaSuspect>* commas_ = nullptr;
  std::vector<ExactReal>* exact_ = nullptr;
};

// One item of a format: literal text, A (text, written in full), F w.d,
// I w.
struct FormatItem {
  enum Kind { Literal, A, F, I } kind;
  std::string_view text;  // Literal only
  int w = 0;
  int d = 0;
};

// One value of a formatted write's item list.
struct Value {
  enum Kind { Text, Real, Int } kind;
  std::string_view text;
  float real = 0.0f;
  int32_t integer = 0;
};
inline Value text_value(std::string_view s) { return {Value::Text, s, 0.0f, 0}; }
inline Value real_value(float x) { return {Value::Real, {}, x, 0}; }
inline Value int_value(int32_t i) { return {Value::Int, {}, 0.0f, i}; }

// Field editing.
std::string edit_F(float value, int w, int d);
std::string edit_I(int32_t value, int w);
// Builds the text of one record (without its terminator): the format is
// walked left to right; the record ends at the first data item that has no
// value left.
std::string build_record(std::span<const FormatItem> format, std::span<const Value> values);

// An output unit: a file opened with status "replace", or text kept in
// memory under a file name (for callers of the library that want the report
// rather than a file).
class OutputUnit {
 public:
  OutputUnit() = default;
  ~OutputUnit();
  OutputUnit(const OutputUnit&) = delete;
  OutputUnit& operator=(const OutputUnit&) = delete;

  // Status "replace"; messages name the file `shown` (the path when empty).
  void open(int unit, std::string filename, std::string shown = {});
  void open_memory(int unit, std::string filename);  // records kept in text()
  void close();
  // What a unit opened in memory holds.
  const std::string& text() const { return memory_text_; }

  void write_formatted(std::span<const FormatItem> format, std::span<const Value> values);
  void write_formatted(std::initializer_list<FormatItem> format,
                       std::initializer_list<Value> values) {
    write_formatted(std::span<const FormatItem>(format.begin(), format.size()),
                    std::span<const Value>(values.begin(), values.size()));
  }
  // Free-format write with no items: one space.
  void write_free_empty();
  // Writes one record of exactly this text.
  void write_record(std::string_view text);
  // Writes records already built, record ends included (a report kept in
  // memory, written to its file).
  void write_text(std::string_view records);

 private:
  int unit_ = 0;
  std::string filename_;
  std::FILE* file_ = nullptr;
  bool memory_ = false;
  std::string memory_text_;
};

// The console of one run, unit 6: the progress lines and every message, each
// record ending in CR LF. Records go to a stream (the program's standard
// output, each pushed out as soon as it is written) or are kept in memory;
// either way each can also be handed to a tap as it is written.
//
// The console also keeps the lines of the last message apart: a message is
// the run of message lines since the last progress line or the last
// end_message(), so that a caller can be told exactly what the message that
// stopped a run said.
class Console {
 public:
  using Tap = std::function<void(std::string_view record)>;

  // Kept in memory (text()).
  explicit Console(Tap tap = {});
  // Written to `stream`. A failed write is remembered and reported when the
  // console is closed, so that the report is still written in full.
  explicit Console(std::FILE* stream, Tap tap = {});
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // One record that is not a message (a progress line).
  void write_record(std::string_view text);
  // One line of a message; `message()` collects it.
  void write_message_line(std::string_view text);
  // Lines of a message, separated by '\n' (the pending lines of RunEnded).
  void write_message_lines(std::string_view lines);
  // The message in hand is complete: the next message line starts another.
  void end_message() {
    message_open_ = false;
    if (journal_on_) journal_.push_back({Entry::EndMessage, {}});
  }
  // The lines of the last message, joined by '\n'.
  const std::string& message() const { return message_; }
  // Everything written (consoles kept in memory only).
  const std::string& text() const { return text_; }
  // Pushes out what is buffered; a write that failed at any time ends the
  // run with error 38 of unit 6.
  void close();

  // A console that keeps a journal notes every record, message line and end
  // of a message in order, so that another console can be given the same
  // writes later (replay_to): work done ahead of time prints on a console
  // of its own and hands over what it printed only if the work is kept.
  void keep_journal() { journal_on_ = true; }
  void replay_to(Console& other) const;
  // Forgets everything written: text, message and journal.
  void clear();

 private:
  struct Entry {
    enum Kind { Record, MessageLine, EndMessage } kind;
    std::string text;
  };

  void put(std::string_view text);

  std::FILE* stream_ = nullptr;
  bool failed_ = false;
  Tap tap_;
  std::string text_;
  std::string message_;
  bool message_open_ = false;
  bool journal_on_ = false;
  std::vector<Entry> journal_;
};

}  // namespace textio
