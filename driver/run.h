// One run of the analysis: read the problem, set up the normal
// approximations, for each constraint move the starting point and run the
// fit and complexity samplers, summarise, report.
//
// A run is a value: everything it changes lives in its RunState, the
// numerical library's context included, so that runs in different threads
// never meet. A run that cannot go on ends by throwing textio::RunEnded with
// its exit status; only the caller that started the run catches it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/array.h"
#include "numlib/context.h"
#include "numlib/precision.h"
#include "textio/textio.h"

namespace driver {

// The prior standard deviation of every parameter; -BIG and +BIG mark a
// missing lower and upper bound.
inline constexpr float BIG = 1661992960.0f;

// The seed of the random stream (the library's default seed) and the
// number of Beta replicates.
inline constexpr int32_t SEED = ineqbf::default_seed;
inline constexpr int32_t REPLICATES = 1000;

// Every stored quantity of the run is rounded once, when it is stored.
using numlib::rounded;
using numlib::wide;

// ---- the arrays, by the stage that fills them ------------------------------

// The problem as read (read stage).
struct ProblemArrays {
  int32_t NPAR = 0;
  int32_t NCON = 0;
  Array1<float> PARMEANS;  // NPAR+1; element NPAR+1 is -1.0
  Array2<float> COV;       // NPAR x NPAR
  Array2<float> R;         // NCON x (NPAR+1): coefficients, then right-hand side
};

// The precision matrix and the coefficients of the conditional means, set
// once before the constraints are evaluated (setup.cpp).
struct Approximations {
  Array2<float> IE, B, C, INVCOV, INVB;  // NPAR x NPAR
};

// The starting point of the samplers, moved at the top of every pass
// (setup.cpp).
struct StartPoint {
  Array1<float> INITIAL, LOWER, UPPER;  // NPAR+1
  Array1<float> LARGE, SMALL;           // NCON
};

// One sampler's chain: its current point, the conditional means (fit
// sampler only), the bound slots of the rows and the running slack sums of
// the bound rows within one sweep. A chain reads the problem, the
// approximations and the starting point and writes only here.
struct ChainArrays {
  Array1<float> point;     // X or Y, NPAR+1
  Array1<float> MEANS;     // NPAR+1 (fit sampler; empty for the complexity sampler)
  Array1<float> lower;     // LARGE1 or LARGE2, NCON
  Array1<float> upper;     // SMALL1 or SMALL2, NCON
  Array1<float> SLACKS;    // NCON
};

// What one sampler leaves per constraint: its estimate, the iterations of
// its final chain, the hits of that chain and its Beta replicates.
struct Estimates {
  Array1<float> estimate;       // FF or CC, NCON
  Array1<int32_t> iterations;   // NUMF or NUMC, NCON
  Array1<float> beta;           // FBETA or CBETA, NREP: the Beta generator's buffer
  Array2<float> replicates;     // FSAMPLE or CSAMPLE, NCON x NREP
  Array1<int32_t> hits;         // NHITF or NHITC, NCON: hits of the final chain
};

// The Bayes factor summary (summary.cpp).
struct Summary {
  Array1<float> BFSAMPLE, BFCSAMPLE, FSAM, CSAM;  // NREP
  float TOTALFIT = 0.0f;
  float TOTALCOMP = 0.0f;
  float BFIA = 0.0f;
  float BFIC = 0.0f;
  float MCERRIA = 0.0f;
  float MCERRIC = 0.0f;
  // The replicates of BFia and BFic in the order drawn, before the sort
  // (for callers that pair them with another run's).
  std::vector<float> unsorted_bf, unsorted_bfc;
};

// ---- what a caller may ask of a run ---------------------------------------------

// The two samplers and the progress of a chain, as the library's callers
// see them.
using ineqbf::Progress;
using ineqbf::Sampler;

// Progress of a chain and a way to stop the run; both optional. They are
// consulted now and then during a chain (every few thousand draws) and at
// its end; cancel() returning true ends the run with Status::cancelled.
struct Hooks {
  std::function<void(const Progress&)> progress;
  std::function<bool()> cancel;
};

// ---- the run ---------------------------------------------------------------------

class LadderWorkers;

struct RunState {
  explicit RunState(textio::Console& console_) : console(console_), lib(console_) {}

  textio::Console& console;  // unit 6: progress lines and messages
  numlib::Context lib;       // the numerical library's state: stream, error handler, options
  Hooks hooks;
  // Threads the run may use: with more than one, the chains of a ladder run
  // ahead of time on threads of their own (ladder.h); the results are the
  // same whatever the number. 0: one per core, looked up when a ladder
  // first has a chain worth starting ahead (a short run never asks).
  int32_t threads = 1;
  // The least work (deviates drawn, a truncated draw counting ten) of a
  // chain for it to be started ahead of time: below it a thread costs more
  // than the chain.
  int64_t ahead_min_work = 100000;

  int32_t NREP = 0;
  ProblemArrays problem;
  Approximations approx;
  StartPoint start;
  ChainArrays fit_chain, complexity_chain;
  Estimates fit, complexity;
  Summary summary;

  // The threads of the ladders, made when the first ladder needs them;
  // declared last, so that they stop before anything they read goes.
  std::shared_ptr<LadderWorkers> workers;
};

// The threads a run uses when its caller does not say: one per core.
int32_t default_threads();

// Stages of a run (each in the file of the same name).

// run.cpp: reads the heading and counts, allocates the input arrays and
// reads means, covariance matrix and constraint rows.
void read_problem(ProblemArrays& p, textio::InputUnit& in);
// run.cpp: the seed, NREP, and every working array, allocated in the fixed
// order.
void start_run(RunState& s, int32_t seed);
void allocate_working_arrays(RunState& s);
// run.cpp: the analysis of a problem that has been read, from the set-up
// to the summary.
void analyse(RunState& s);
// run.cpp: prints on the console what a run that ended early still has to
// say, and returns its exit status.
Status end_of_run(textio::Console& console, const textio::RunEnded& e);

// setup.cpp: the precision matrix, the conditional-mean coefficients and the
// first starting point.
void set_up_matrices(RunState& s);
// setup.cpp: stops the run when the precision matrix has a diagonal element
// that is not strictly positive (the covariance is not positive definite).
void check_precision_diagonal(const RunState& s);
// setup.cpp: moves INITIAL into the region of rows 1..k, one parameter after
// the other, leaving the bounds found in LOWER and UPPER.
void move_start_point(RunState& s, int32_t k);

// samplers.cpp: fit and complexity of constraint k, with their replicates
// and progress lines.
void fit_sampler(RunState& s, int32_t k);
void complexity_sampler(RunState& s, int32_t k);

// summary.cpp: total fit and complexity, Bayes factors, replicates sorted,
// MC errors.
void summarise(RunState& s);
// summary.cpp: the MC error of nrep replicates v[0 .. nrep-1]: their
// population standard deviation, sums in index order with every partial sum
// rounded to float.
float mc_error(const float* v, int32_t nrep);
// summary.cpp: the positions of the 2.5 and 97.5 percentiles.
int32_t percentile_low(int32_t nrep);
int32_t percentile_high(int32_t nrep);

// report.cpp: the numbers of a report, whichever method made them.
struct ReportTable {
  const char* counts = "iterations";  // what the counts beside the estimates count
  std::vector<std::pair<float, int32_t>> fits, complexities;  // estimate and count per constraint
  float total_fit = 0.0f, total_complexity = 0.0f;
  float bf_ia[4] = {}, bf_ic[4] = {};  // value, MC error, 2.5 and 97.5 percentiles
  bool bf_ic_infinite = false;         // the report reads "infinit"
};
// Writes the report records to the unit: the run's own, or a table.
void write_report(const RunState& s, textio::OutputUnit& out);
void write_report(const ReportTable& t, textio::OutputUnit& out);

}  // namespace driver
