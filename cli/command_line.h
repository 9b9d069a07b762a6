// The ineqbf command line: ineqbf [OPTIONS] [PATH ...].
#pragma once

namespace cli {

// Runs the program with the arguments after the program's name; writes on
// the process's standard output and standard error; returns the exit
// status. Without arguments: Input.txt of the current folder analysed, its
// report written to Output.txt there, the console on standard output.
int run_command_line(int argc, const char* const* argv);

}  // namespace cli
