// A run of the driver on the text of an input file, read as the program
// reads it, seeded, with its working arrays allocated; its console is kept
// in memory (printed()).
#pragma once

#include <string>

#include "driver/run.h"
#include "textio/textio.h"

namespace driver_test {

struct LoadedRun {
  explicit LoadedRun(const std::string& text) {
    textio::InputUnit in;
    in.open_text(textio::INPUT_UNIT, "Input.txt", text);
    driver::read_problem(s.problem, in);
    in.close();
    driver::start_run(s, driver::SEED);
  }
  LoadedRun(const LoadedRun&) = delete;
  LoadedRun& operator=(const LoadedRun&) = delete;

  const std::string& printed() const { return console.text(); }

  textio::Console console;
  driver::RunState s{console};
};

}  // namespace driver_test
