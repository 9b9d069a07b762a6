// Pieces of the library's implementation shared by its files.
#pragma once

#include "driver/run.h"
#include "ineqbf/ineqbf.h"

namespace ineqbf::detail {

// The message of an allocation that could not be had.
inline constexpr const char* kNoMemory = "vexlib: severe: insufficient virtual memory";

// Ends a run that stopped: prints what is pending on its console and
// throws Error with the run's status, message and console. The second ends
// it as memory that could not be had ("insufficient virtual memory").
[[noreturn]] void end_run(textio::Console& console, const textio::RunEnded& e);
[[noreturn]] void end_run_out_of_memory(textio::Console& console);

// Throws Error(Status::usage) when the problem's shapes do not agree, or a
// value is not a finite number within single precision, or its names are
// not distinct.
void check_problem(const Problem& p);
// Allocates the problem arrays of a run and fills them from a checked
// problem, each value rounded once to float.
void load_problem(driver::ProblemArrays& a, const Problem& p);
// The problem held in a run's arrays (as read).
Problem problem_from_arrays(const driver::ProblemArrays& a);
// Fills the comparisons of c from c.results (one per hypothesis), with the
// prior model probabilities `prior` (empty: equal prior odds).
void compare(Comparison& c, const std::vector<double>& prior);
// The prior model probabilities checked against n hypotheses, as weights
// (n + 1 of them, the unconstrained hypothesis last).
std::vector<double> prior_weights(const std::vector<double>& prior, size_t n);
// An analysis by integration (Method::integration) of a problem that
// check_problem has passed.
Result integrate(const Problem& problem, const Settings& settings);

}  // namespace ineqbf::detail
