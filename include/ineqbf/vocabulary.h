// ineqbf/vocabulary.h: the words the program and the library share, each
// defined once for every part of both (ineqbf.h includes this header): the
// exit statuses, the seed and its range, the samplers and the progress of
// a run.
#pragma once

#include <cstdint>
#include <string_view>

namespace ineqbf {

// ---- exit statuses ---------------------------------------------------------------

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

// ---- the seed ----------------------------------------------------------------------

// The seed the program uses; every analysis starts its random stream from
// Settings::seed, which defaults to it.
inline constexpr int32_t default_seed = 12345;
// The seeds the generator takes: 1 to 2^31 - 2 (the generator would take
// any other for a seed from the clock, and a run would not repeat itself).
inline constexpr int32_t min_seed = 1;
inline constexpr int32_t max_seed = 2147483646;

// ---- progress --------------------------------------------------------------------

// Which sampler a progress report is about.
enum class Sampler { fit, complexity };
constexpr std::string_view name_of(Sampler s) { return s == Sampler::complexity ? "complexity" : "fit"; }

struct Progress {
  int32_t hypothesis = 0;    // 0-based index of the hypothesis analysed (0 for one problem)
  int32_t hypotheses = 1;    // how many the analysis has
  int32_t constraint = 0;    // k, 1-based
  Sampler sampler = Sampler::fit;
  int32_t iterations = 0;    // counted iterations of the current chain (1000, 3000, …)
  int64_t sweeps_done = 0;   // sweeps of the current chain done so far
  int64_t sweeps_total = 0;  // 100 burn-in sweeps plus the counted iterations
};

}  // namespace ineqbf
