// The program without arguments: Input.txt of the current folder read,
// Output.txt written there, the console on standard output, the run's
// status; warnings about the input and the live progress on standard error.
#pragma once

#include "ineqbf/ineqbf.h"

namespace cli {

ineqbf::Status run_plain();

}  // namespace cli
