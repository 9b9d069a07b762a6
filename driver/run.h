// One run of the analysis: read the problem, set up the normal
// approximations, for each constraint move the starting point and run the
// fit and complexity samplers, summarise, report.
#pragma once

#include <cstdint>
#include <string>

#include "driver/array.h"
#include "textio/textio.h"

namespace driver {

// The prior standard deviation of every parameter; -BIG and +BIG mark a
// missing lower and upper bound.
inline constexpr float BIG = 1661992960.0f;

// Every array and count of a run. The driver owns them; each is allocated
// once at its final size and lives until the run ends.
struct RunState {
  int32_t NPAR = 0;
  int32_t NCON = 0;
  int32_t NREP = 0;

  // The problem, as read.
  Array1<float> PARMEANS;  // NPAR+1; element NPAR+1 is -1.0
  Array2<float> COV;       // NPAR x NPAR
  Array2<float> R;         // NCON x (NPAR+1): coefficients, then right-hand side

  // Points and bounds.
  Array1<float> X, Y, MEANS, INITIAL, LOWER, UPPER;   // NPAR+1
  Array1<float> LARGE, SMALL, FF, CC, LARGE1, LARGE2, SMALL1, SMALL2;  // NCON
  Array1<int32_t> NUMF, NUMC;                         // NCON
  Array1<float> BFSAMPLE, BFCSAMPLE, FBETA, CBETA, FSAM, CSAM;  // NREP
  Array2<float> IE, B, C, INVCOV, INVB;               // NPAR x NPAR
  Array2<float> FSAMPLE, CSAMPLE;                     // NCON x NREP
  // Running slack sums of the bound rows within one sweep of either sampler
  // (scratch of the samplers, NCON).
  Array1<float> SLACKS;

  // Results of the summary.
  float TOTALFIT = 0.0f;
  float TOTALCOMP = 0.0f;
  float BFIA = 0.0f;
  float BFIC = 0.0f;
  float MCERRIA = 0.0f;
  float MCERRIC = 0.0f;
};

// Stages of a run (each in the file of the same name).

// run.cpp: reads the heading and counts, allocates the input arrays and
// reads means, covariance matrix and constraint rows.
void read_problem(RunState& s, textio::InputUnit& in);
// run.cpp: allocates every working array, in the fixed order.
void allocate_working_arrays(RunState& s);
// run.cpp: the whole run in the current directory; returns the exit status.
int run();

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
// summary.cpp: the positions of the 2.5 and 97.5 percentiles.
int32_t percentile_low(int32_t nrep);
int32_t percentile_high(int32_t nrep);

// report.cpp: writes the report records to the unit.
void write_report(RunState& s, textio::OutputUnit& out);

}  // namespace driver
