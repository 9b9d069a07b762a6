// The run skeleton: open the two files, read the problem, seed the random
// stream, allocate the working arrays, then the analysis stages in order.
#include "driver/run.h"

#include <cstdio>
#include <vector>

#include "numlib/random.h"

namespace driver {

namespace {

constexpr int INPUT_UNIT = 10;
constexpr int OUTPUT_UNIT = 20;
constexpr int32_t SEED = 12345;
constexpr int32_t REPLICATES = 1000;

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

void read_problem(RunState& s, textio::InputUnit& in) {
  in.read({});  // heading
  in.read({textio::int_item(s.NPAR), textio::int_item(s.NCON)});

  const int64_t npar = s.NPAR;
  const int64_t np1 = npar + 1;
  s.PARMEANS.allocate("PARMEANS", np1);
  s.COV.allocate("COV", npar, npar);
  s.R.allocate("R", s.NCON, np1);

  in.read({});  // heading
  if (npar >= 1) {
    s.PARMEANS.check_range(1, npar);
    read_reals(in, &s.PARMEANS(1), npar, 1);
  } else {
    read_reals(in, nullptr, 0, 1);
  }
  s.PARMEANS(np1) = -1.0f;

  in.read({});  // heading
  for (int64_t i = 1; i <= npar; ++i) {
    (void)s.COV(i, npar);  // checks the last element of the row
    read_reals(in, &s.COV(i, 1), npar, s.COV.extent1());
  }

  in.read({});  // heading
  for (int64_t m = 1; m <= s.NCON; ++m) {
    (void)s.R(m, np1);
    read_reals(in, &s.R(m, 1), np1, s.R.extent1());
  }
}

void allocate_working_arrays(RunState& s) {
  const int64_t np1 = int64_t{s.NPAR} + 1;
  const int64_t npar = s.NPAR;
  const int64_t ncon = s.NCON;
  const int64_t nrep = s.NREP;
  s.X.allocate("X", np1);
  s.Y.allocate("Y", np1);
  s.MEANS.allocate("MEANS", np1);
  s.INITIAL.allocate("INITIAL", np1);
  s.LOWER.allocate("LOWER", np1);
  s.UPPER.allocate("UPPER", np1);
  s.LARGE.allocate("LARGE", ncon);
  s.SMALL.allocate("SMALL", ncon);
  s.FF.allocate("FF", ncon);
  s.CC.allocate("CC", ncon);
  s.LARGE1.allocate("LARGE1", ncon);
  s.LARGE2.allocate("LARGE2", ncon);
  s.SMALL1.allocate("SMALL1", ncon);
  s.SMALL2.allocate("SMALL2", ncon);
  s.NUMF.allocate("NUMF", ncon);
  s.NUMC.allocate("NUMC", ncon);
  s.BFSAMPLE.allocate("BFSAMPLE", nrep);
  s.BFCSAMPLE.allocate("BFCSAMPLE", nrep);
  s.FBETA.allocate("FBETA", nrep);
  s.CBETA.allocate("CBETA", nrep);
  s.FSAM.allocate("FSAM", nrep);
  s.CSAM.allocate("CSAM", nrep);
  s.IE.allocate("IE", npar, npar);
  s.B.allocate("B", npar, npar);
  s.C.allocate("C", npar, npar);
  s.INVCOV.allocate("INVCOV", npar, npar);
  s.INVB.allocate("INVB", npar, npar);
  s.FSAMPLE.allocate("FSAMPLE", ncon, nrep);
  s.CSAMPLE.allocate("CSAMPLE", ncon, nrep);
  s.SLACKS.allocate("SLACKS", ncon);
}

int run() {
  textio::InputUnit in;
  textio::OutputUnit out;
  in.open(INPUT_UNIT, "Input.txt");
  out.open(OUTPUT_UNIT, "Output.txt");

  RunState s;
  read_problem(s, in);
  in.close();

  numlib::RGSEED(SEED);
  s.NREP = REPLICATES;
  allocate_working_arrays(s);

  set_up_matrices(s);
  check_precision_diagonal(s);
  for (int32_t k = 1; k <= s.NCON; ++k) {
    move_start_point(s, k);
    fit_sampler(s, k);
    complexity_sampler(s, k);
  }
  summarise(s);
  write_report(s, out);
  out.close();
  textio::console().close();  // a console that lost output is a failed run too
  return 0;
}

}  // namespace driver
