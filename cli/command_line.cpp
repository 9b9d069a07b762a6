#include "cli/command_line.h"

#include <cstdio>

#include "driver/run.h"

namespace cli {

int run_command_line(int /*argc*/, const char* const* /*argv*/) {
  textio::Console console(stdout);
  return driver::run(console);
}

}  // namespace cli
