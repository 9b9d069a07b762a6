#include "cli/plain.h"

#include <cstdio>

#include "cli/checks.h"
#include "cli/files.h"
#include "cli/json.h"
#include "cli/print.h"
#include "cli/progress.h"
#include "ineqbf/ineqbf.h"

namespace cli {

namespace {

// The stages of the run in the program's order: Input.txt opened, Output.txt
// created (emptied), the problem read, analysed, the report written. An
// error of the reader or of the report file is printed here; one of the
// analysis has been printed through the console tap already.
ineqbf::Status run_stages(ineqbf::ProgramConsole& console, ProgressLine& progress) {
  ineqbf::Reader reader;
  ineqbf::ReportFile report;
  ProblemOutcome said;  // what is said on standard error
  said.input = "Input.txt";
  bool printed = false;  // the warnings about the input
  try {
    reader.open("Input.txt");
    report.open("Output.txt");
    ineqbf::Problem problem;
    try {
      problem = reader.read();
    } catch (const ineqbf::Error&) {
      for (const std::string& w : reader.warnings()) said.warnings.push_back("Input.txt, " + w);
      throw;
    }
    said.warnings = reader.warnings();
    add_checks(said.warnings, problem, ineqbf::Method::gibbs);
    print_input_warnings(said, false);
    printed = true;  // said once
    ineqbf::Settings settings;
    settings.console = [&](std::string_view record) {
      progress.clear();
      console.write(record);
    };
    if (progress.active()) settings.progress = [&](const ineqbf::Progress& p) { progress.update(p); };
    try {
      said.results.push_back(ineqbf::analyse(problem, settings));
    } catch (const ineqbf::Error& e) {
      progress.clear();
      console.close();
      return e.status();
    }
    progress.clear();
    print_result_warnings(said, 0, false);
    report.write(said.results[0].report);
    report.close();
  } catch (const ineqbf::Error& e) {
    console.message(e.message());
    console.close();
    if (!printed) print_input_warnings(said, false);
    return e.status();
  }
  return console.close();
}

}  // namespace

ineqbf::Status run_plain() {
  // A report that is the input (a link to it, or a hard link) would
  // destroy it when it is emptied: refused before anything is opened.
  if (same_file("Output.txt", "Input.txt")) {
    say("Output.txt is Input.txt (the same file, or a link to it); the report would destroy the input, "
        "so nothing is read or written: remove the link Output.txt and run again");
    return ineqbf::Status::io_error;
  }
  ineqbf::ProgramConsole console(stdout);
  ProgressLine progress(true);
  return run_stages(console, progress);
}

}  // namespace cli
