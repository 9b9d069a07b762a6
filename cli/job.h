// One problem of the command line, as a client of the library: its input
// read (Reader), its names and hypotheses checked, then each hypothesis
// analysed (analyse) and its report written.
#pragma once

#include <vector>

#include "cli/files.h"
#include "cli/json.h"
#include "cli/options.h"
#include "cli/print.h"
#include "cli/progress.h"
#include "ineqbf/ineqbf.h"

namespace cli {

// A problem read and checked, ready to be analysed.
struct Prepared {
  Job job;
  ProblemOutcome out;
  ineqbf::Problem problem;
  std::vector<ineqbf::Hypothesis> hypotheses;
  bool readable = false;  // read without error: to be analysed
};

// Where the console lines of a problem go: a stream for a problem alone,
// nowhere for one of a batch (its summary line says what became of it).
struct Sink {
  ineqbf::ProgramConsole* console = nullptr;
  ProgressLine* progress = nullptr;
  bool warn_now = false;  // print warnings as soon as they are known
};

// Reads the input of a job (a missing input said on standard error, a read
// that fails on the console), then checks the names and parses the
// hypotheses. Throws ineqbf::Error(Status::usage) for names or hypotheses
// that do not fit the problem; writes no file.
Prepared prepare(const Job& job, const Options& o, const Sink& sink);

// The rows of a problem as the text of one hypothesis ("a - b > 0 & b > 0").
std::string file_rows_text(const ineqbf::Problem& p, const std::vector<std::string>& names);

// The reports, the JSON file and the inputs of a run, checked: the first
// overlap, said in a message, or empty.
std::string check_outputs(const std::vector<Prepared>& problems, const Options& o);

// Analyses each hypothesis of a problem read and writes its reports (a
// report whose analysis stopped is left empty, as the program leaves it;
// a refused request writes none). `threads` for each analysis.
void analyse_and_report(Prepared& p, const Options& o, int32_t threads, const Sink& sink);

}  // namespace cli
