// The options of the command line, read before anything else happens: a
// command line that cannot be read touches no file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ineqbf/ineqbf.h"

namespace cli {

// Exit status of a command line that cannot be understood.

struct Options {
  bool help = false;
  bool version = false;
  std::vector<std::string> paths;          // folders or files; none: the current folder
  std::optional<std::string> output;       // -o FILE: the report of the one problem
  std::optional<std::string> json;         // --json FILE, or "-" for standard output
  std::vector<std::string> hypotheses;     // --hypothesis TEXT, each given
  std::optional<std::vector<std::string>> names;  // --names a,b,c
  int32_t seed = ineqbf::default_seed;     // --seed N
  int32_t jobs = 0;                        // -j N: problems at a time (0: the number of cores)
  int32_t threads = 0;                     // --threads N: threads of one analysis (0: the number of cores)
  bool quiet = false;                      // -q: no warnings, no live progress
  ineqbf::Method method = ineqbf::Method::gibbs;  // --method gibbs|integration
  double precision = 1e-3;                 // --precision X
  bool check = true;                       // --no-check turns the Gibbs cross-check off
  std::vector<double> prior;               // --prior w1,w2[,wU]
};

// Reads the arguments after the program's name. A malformed command line
// gives an error text (without the usage lines) instead.
struct Parsed {
  Options options;
  std::string error;
};
Parsed parse_arguments(int argc, const char* const* argv);

// "a, b ,c" as its items between commas, blanks around each dropped (the
// items of --names and --prior).
std::vector<std::string> split_list(std::string_view text);

// The usage lines printed after a command-line error, and the help text.
std::string usage_text();
std::string help_text();

}  // namespace cli
