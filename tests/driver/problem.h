// Builds a run's state from the text of an input file, as the run does up
// to the allocation of the working arrays.
#pragma once

#include <unistd.h>

#include <string>

#include "driver/run.h"
#include "numlib/random.h"
#include "textio/textio.h"

namespace driver_test {

inline void load(driver::RunState& s, const std::string& text) {
  textio::InputUnit in;
  in.open_text(10, "Input.txt", text);
  driver::read_problem(s, in);
  in.close();
  numlib::RGSEED(12345);
  s.NREP = 1000;
  driver::allocate_working_arrays(s);
}

// Runs `statement` with standard output sent to standard error, so that a
// death test can match what the program prints.
#define STDOUT_TO_STDERR() dup2(2, 1)

}  // namespace driver_test
