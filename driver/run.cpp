// The stages of a run: read the problem, seed the random stream, allocate
// the working arrays, then the analysis stages in order. The files are
// opened by the caller (the library's Reader and ReportFile).
#include "driver/run.h"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "numlib/random.h"

namespace driver {

namespace {

// Reads `count` reals into the elements (first), (first + stride), ... of a
// checked array whose first and last elements were checked by the caller.
void read_reals(textio::InputUnit& in, float* first, int64_t count, int64_t stride) {
  if (count <= 0) {
    in.read({});  // a read that transfers nothing still takes one record
    return;
  }
  in.read({textio::reals_item(first, count, stride)});
}

}  // namespace

void read_problem(ProblemArrays& p, textio::InputUnit& in) {
  in.read({});  // heading
  in.read({textio::int_item(p.NPAR), textio::int_item(p.NCON)});

  const int64_t npar = p.NPAR;
  const int64_t np1 = npar + 1;
  p.PARMEANS.allocate("PARMEANS", np1);
  p.COV.allocate("COV", npar, npar);
  p.R.allocate("R", p.NCON, np1);

  in.read({});  // heading
  if (npar >= 1) {
    p.PARMEANS.check_range(1, npar);
    read_reals(in, &p.PARMEANS(1), npar, 1);
  } else {
    read_reals(in, nullptr, 0, 1);
  }
  p.PARMEANS(np1) = -1.0f;

  in.read({});  // heading
  for (int64_t i = 1; i <= npar; ++i) {
    (void)p.COV(i, npar);  // checks the last element of the row
    read_reals(in, &p.COV(i, 1), npar, p.COV.extent1());
  }

  in.read({});  // heading
  for (int64_t m = 1; m <= p.NCON; ++m) {
    (void)p.R(m, np1);
    read_reals(in, &p.R(m, 1), np1, p.R.extent1());
  }
}

void allocate_working_arrays(RunState& s) {
  const int64_t np1 = int64_t{s.problem.NPAR} + 1;
  const int64_t npar = s.problem.NPAR;
  const int64_t ncon = s.problem.NCON;
  const int64_t nrep = s.NREP;
  // The order of the allocations decides which of them a machine without
  // enough memory refuses first, and so which array the message of a
  // refused run names: it is part of what the program prints, and stays.
  s.fit_chain.point.allocate("X", np1);
  s.complexity_chain.point.allocate("Y", np1);
  s.fit_chain.MEANS.allocate("MEANS", np1);
  s.start.INITIAL.allocate("INITIAL", np1);
  s.start.LOWER.allocate("LOWER", np1);
  s.start.UPPER.allocate("UPPER", np1);
  s.start.LARGE.allocate("LARGE", ncon);
  s.start.SMALL.allocate("SMALL", ncon);
  s.fit.estimate.allocate("FF", ncon);
  s.complexity.estimate.allocate("CC", ncon);
  s.fit_chain.lower.allocate("LARGE1", ncon);
  s.complexity_chain.lower.allocate("LARGE2", ncon);
  s.fit_chain.upper.allocate("SMALL1", ncon);
  s.complexity_chain.upper.allocate("SMALL2", ncon);
  s.fit.iterations.allocate("NUMF", ncon);
  s.complexity.iterations.allocate("NUMC", ncon);
  s.summary.BFSAMPLE.allocate("BFSAMPLE", nrep);
  s.summary.BFCSAMPLE.allocate("BFCSAMPLE", nrep);
  s.fit.beta.allocate("FBETA", nrep);
  s.complexity.beta.allocate("CBETA", nrep);
  s.summary.FSAM.allocate("FSAM", nrep);
  s.summary.CSAM.allocate("CSAM", nrep);
  s.approx.IE.allocate("IE", npar, npar);
  s.approx.B.allocate("B", npar, npar);
  s.approx.C.allocate("C", npar, npar);
  s.approx.INVCOV.allocate("INVCOV", npar, npar);
  s.approx.INVB.allocate("INVB", npar, npar);
  s.fit.replicates.allocate("FSAMPLE", ncon, nrep);
  s.complexity.replicates.allocate("CSAMPLE", ncon, nrep);
  // Scratch of the samplers and the hit counts kept for callers.
  s.fit_chain.SLACKS.allocate("SLACKS", ncon);
  s.complexity_chain.SLACKS.allocate("SLACKS", ncon);
  s.fit.hits.allocate("NHITF", ncon);
  s.complexity.hits.allocate("NHITC", ncon);
}

void start_run(RunState& s, int32_t seed) {
  numlib::RGSEED(s.lib, seed);
  s.NREP = REPLICATES;
  allocate_working_arrays(s);
}

void analyse(RunState& s) {
  set_up_matrices(s);
  check_precision_diagonal(s);
  for (int32_t k = 1; k <= s.problem.NCON; ++k) {
    move_start_point(s, k);
    fit_sampler(s, k);
    complexity_sampler(s, k);
  }
  summarise(s);
}

Status end_of_run(textio::Console& console, const textio::RunEnded& e) {
  if (!e.pending.empty()) console.write_message_lines(e.pending);
  try {
    console.close();
  } catch (const textio::RunEnded&) {
    // The console itself failed: the run's own status stands.
  }
  return e.status;
}

int32_t default_threads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int32_t>(std::min<unsigned>(n, 1024));
}

}  // namespace driver
