// ineqbf: Bayes factors for hypotheses made of linear inequality constraints.
// Reads Input.txt in the current directory, writes Output.txt; arguments are
// ignored. Exit status 0 after a complete report, 1 on an input, output or
// allocation error, 2 when the numerical library stops the run, 3 on a
// subscript outside an array's bounds.
#include <cstdio>

#include "driver/run.h"

int main() {
  textio::Console console(stdout);
  return driver::run(console);
}
