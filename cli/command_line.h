// The ineqbf command line: ineqbf [OPTIONS] [PATH ...].
#pragma once

namespace cli {

// Runs the program with the arguments after the program's name; writes on
// the process's standard output and standard error; returns the exit
// status. Without arguments: the analysis of Input.txt in the current
// folder, exactly as the program has always run.
int run_command_line(int argc, const char* const* argv);

}  // namespace cli
