// ineqbf: Bayes factors for hypotheses made of linear inequality constraints.
// Without arguments it reads Input.txt in the current folder and writes
// Output.txt there; `ineqbf --help` tells the rest. Exit status 0 after a
// complete report, 1 on an input, output or allocation error, 2 when the
// numerical library stops the run, 3 on a subscript outside an array's
// bounds.
#include "cli/command_line.h"

int main(int argc, char** argv) { return cli::run_command_line(argc - 1, argv + 1); }
