// The text layer: free-format reads of the input file, formatted and
// free-format writes of records to the console and to the report file, and
// the layer's fatal errors. Every record written ends with CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace textio {

// Exit status of a run ended by a fatal error of the text layer or of the
// allocation layer.
inline constexpr int EXIT_IO_ERROR = 1;

// Error numbers of the layer.
inline constexpr int ERR_EOF = 24;         // end-of-file during read
inline constexpr int ERR_SYNTAX = 59;      // list-directed I/O syntax error
inline constexpr int ERR_CONVERSION = 64;  // input conversion error
inline constexpr int ERR_OVERFLOW = 66;    // output statement overflows record
inline constexpr int ERR_NOT_FOUND = 29;   // file not found (read after a failed open)
inline constexpr int ERR_OPEN = 30;        // open failure (file cannot be created)
inline constexpr int ERR_WRITE = 38;       // error during write or close
inline constexpr int ERR_READ = 39;        // error during read (the system refused a read)

// Longest record that a unit accepts, in characters (error 66 beyond it).
inline constexpr size_t RECORD_LENGTH = 65536;

// Flushes standard output and ends the run with `status`. (In the fuzz
// build it throws the status instead, so that one process can try input
// after input.) Every early end of the program goes through here.
[[noreturn]] void end_run(int status);

// Prints "vexlib: severe (N): <text with unit and file>" and ends the run
// with EXIT_IO_ERROR.
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

// An input unit opened with status "OLD": a failed open is recorded and not
// reported; the first read from it then ends the run.
class InputUnit {
 public:
  InputUnit() = default;
  ~InputUnit();
  InputUnit(const InputUnit&) = delete;
  InputUnit& operator=(const InputUnit&) = delete;

  void open(int unit, std::string filename);
  // For tests and the fuzz target: read from text held in memory.
  void open_text(int unit, std::string filename, std::string text);
  void close();

  // One free-format read statement. An empty list consumes one record.
  void read(std::span<const ReadItem> items);
  void read(std::initializer_list<ReadItem> items) {
    read(std::span<const ReadItem>(items.begin(), items.size()));
  }

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

  int unit_ = 0;
  std::string filename_;
  std::FILE* file_ = nullptr;
  std::string buffer_;
  size_t pos_ = 0;
  size_t len_ = 0;
  bool opened_ = false;
  int open_error_ = ERR_NOT_FOUND;  // error a read reports when the open failed
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

// An output unit: the console (unit 6) or a file opened with status
// "replace".
class OutputUnit {
 public:
  OutputUnit() = default;
  ~OutputUnit();
  OutputUnit(const OutputUnit&) = delete;
  OutputUnit& operator=(const OutputUnit&) = delete;

  void open_console();                        // unit 6, standard output
  void open(int unit, std::string filename);  // status "replace"
  void close();

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

 private:
  int unit_ = 0;
  std::string filename_;
  std::FILE* file_ = nullptr;
  bool console_ = false;
};

// The console, unit 6.
OutputUnit& console();

}  // namespace textio
