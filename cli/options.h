// The options of the command line, read before anything else happens: a
// command line that cannot be read touches no file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Exit status of a command line that cannot be understood (the program's
// own statuses are 0 to 3).
inline constexpr int EXIT_USAGE = 4;

struct Options {
  bool help = false;
  bool version = false;
  std::vector<std::string> paths;          // folders or files; none: the current folder
  std::optional<std::string> output;       // -o FILE: the report of the one problem
  std::optional<std::string> json;         // --json FILE, or "-" for standard output
  std::optional<std::string> hypothesis;   // --hypothesis TEXT
  std::vector<std::string> names;          // --names a,b,c
  int32_t seed;                            // --seed N
  int32_t jobs = 0;                        // -j N: problems at a time (0: the number of cores)
  int32_t threads = 0;                     // --threads N: threads of one analysis (0: the number of cores)
  bool quiet = false;                      // -q: no warnings, no live progress
};

// Reads the arguments after the program's name. A malformed command line
// gives an error text (without the usage lines) instead.
struct Parsed {
  Options options;
  std::string error;
};
Parsed parse_arguments(int argc, const char* const* argv);

// The usage lines printed after a command-line error, and the help text.
std::string usage_text();
std::string help_text();

}  // namespace cli
