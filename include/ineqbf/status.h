// ineqbf/status.h: the exit statuses of the program and of the library,
// defined once for every part of both (ineqbf.h includes it).
#pragma once

#include <string_view>

namespace ineqbf {

// 0 to 3 are those of the program run on Input.txt; the others belong to
// the library's callers and the command line.
enum class Status : int {
  ok = 0,
  io_error = 1,        // input not readable, output not writable, memory exhausted
  numerical_stop = 2,  // the numerical library stopped the run
  subscript = 3,       // an array subscript out of bounds (a bad count)
  usage = 4,           // a malformed problem, hypothesis or command line
  cancelled = 5,       // the caller cancelled the analysis
};

// The status as the process's exit status.
constexpr int exit_code(Status s) { return static_cast<int>(s); }

// Every status with its name, for the packages that list them (Python's
// ineqbf.Status).
struct StatusName {
  Status status;
  std::string_view name;
};
inline constexpr StatusName status_names[] = {
    {Status::ok, "ok"},           {Status::io_error, "io_error"}, {Status::numerical_stop, "numerical_stop"},
    {Status::subscript, "subscript"}, {Status::usage, "usage"},       {Status::cancelled, "cancelled"},
};

}  // namespace ineqbf
