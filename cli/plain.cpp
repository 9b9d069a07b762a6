#include "cli/plain.h"

#include <cstdio>

#include "api/internal.h"
#include "api/read_check.h"
#include "cli/files.h"
#include "cli/print.h"
#include "cli/progress.h"
#include "driver/run.h"
#include "ineqbf/ineqbf.h"
#include "textio/textio.h"

namespace cli {

int run_plain() {
  // A report that is the input (a link to it, or a hard link) would
  // destroy it when it is emptied: refused before anything is opened.
  if (same_file("Output.txt", "Input.txt")) {
    say("Output.txt is Input.txt (the same file, or a link to it); the report would destroy the input, "
        "so nothing is read or written: remove the link Output.txt and run again");
    return ineqbf::status_io_error;
  }
  textio::Console console(stdout);
  ProgressLine progress(true);
  ineqbf::detail::ReadLog log;
  ProblemOutcome said;
  driver::RunWatch watch;
  watch.statements = &log.statements;
  watch.commas = &log.commas;
  watch.read_done = [&](textio::InputUnit& in, const driver::ProblemArrays& p) {
    try {
      said.warnings = ineqbf::detail::layout_warnings(p, log, in);
    } catch (const textio::RunEnded&) {
      // The rest of the file could not be read: nothing more to say of it.
    }
    print_input_warnings(said, false);
  };
  std::string detail;
  watch.read_failed = [&](const textio::InputUnit& in, const driver::ProblemArrays& p) {
    detail = ineqbf::detail::read_failure_detail(in.failure(), log, p);
  };
  if (progress.active())
    watch.hooks.progress = [&](int32_t k, driver::SamplerKind kind, int32_t niter, int64_t done, int64_t total) {
      progress.update(ineqbf::detail::progress_of(k, kind, niter, done, total));
    };
  const int status = driver::run(console, &watch);
  progress.clear();
  if (!detail.empty()) say("Input.txt, " + detail);
  return status;
}

}  // namespace cli
