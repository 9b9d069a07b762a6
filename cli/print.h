// What the command line prints: the console of a problem (its progress
// lines and messages as the program prints them), warnings and errors on
// standard error, the comparison table and the summary line of a batch.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "cli/json.h"

namespace cli {

// The console of a problem on a stream: records with CR LF line ends, each
// pushed out at once. A write that fails is remembered.
class ConsoleStream {
 public:
  explicit ConsoleStream(std::FILE* stream) : stream_(stream) {}
  // One record, CR LF added.
  void record(std::string_view text);
  // A record as the library hands it over, CR LF included.
  void raw(std::string_view records);
  // The lines of a message, separated by '\n'.
  void message(std::string_view lines);
  // Pushes out what is buffered; false when any write failed.
  bool close();

 private:
  std::FILE* stream_;
  bool failed_ = false;
};

// "ineqbf: <text>" on standard error (each line of text).
void say(const std::string& text);
// A usage error: its message and the usage lines, on standard error.
void say_usage(const std::string& text);

// The warnings of a problem: about its input, then each result's, on
// standard error; with the problem's path before each in a batch.
void print_input_warnings(const ProblemOutcome& p, bool with_path);
void print_result_warnings(const ProblemOutcome& p, size_t hypothesis, bool with_path);

// The comparison table printed on standard output after several hypotheses.
void print_comparison(const ProblemOutcome& p, std::FILE* stream);

// The summary line of a problem of a batch, with its warnings.
void print_summary(const ProblemOutcome& p);

}  // namespace cli
