// What the command line prints besides the console of a problem (the
// library's ProgramConsole): warnings and errors on standard error, the
// comparison table and the summary line of a batch.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "cli/json.h"

namespace cli {

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
