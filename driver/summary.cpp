// The Bayes factor summary: total fit and complexity, BFia (the hypothesis
// against the unconstrained one) and BFic (against its complement), their
// replicates from the Beta draws of every constraint, sorted, and their MC
// errors (population standard deviations of the replicates).
//
// No divisor is tested: a zero gives an IEEE infinity or NaN that flows on
// into the report, where it is written as such.
#include <cmath>

#include "driver/run.h"

namespace driver {

namespace {

// One exchange sort over both replicate arrays in the same passes, each
// compared and swapped on its own values. Strictly "less than": equal
// neighbours and NaN never move by their own comparison. Every pass runs.
void sort_together(Array1<float>& a, Array1<float>& b, int32_t nrep) {
  a.check_range(1, nrep);
  b.check_range(1, nrep);
  float* pa = a.data();
  float* pb = b.data();
  for (int32_t i = 1; i <= nrep; ++i) {
    for (int32_t j = 1; j <= nrep - i; ++j) {
      if (pa[j] < pa[j - 1]) {
        const float t = pa[j];
        pa[j] = pa[j - 1];
        pa[j - 1] = t;
      }
      if (pb[j] < pb[j - 1]) {
        const float t = pb[j];
        pb[j] = pb[j - 1];
        pb[j - 1] = t;
      }
    }
  }
}

}  // namespace

float mc_error(const float* v, int32_t nrep) {
  float SUM = 0.0f;
  for (int32_t m = 0; m < nrep; ++m) SUM = rounded(wide(SUM) + wide(v[m]));
  const float count = static_cast<float>(nrep);
  float SS = 0.0f;
  for (int32_t m = 0; m < nrep; ++m) {
    const float D = rounded(wide(SUM) / wide(count) - wide(v[m]));
    SS = rounded(wide(SS) + wide(D) * wide(D));
  }
  return std::sqrt(rounded(wide(SS) / wide(count)));
}

int32_t percentile_low(int32_t nrep) {
  return static_cast<int32_t>(rounded(wide(static_cast<float>(nrep)) * wide(2.5f) / wide(100.0f)));
}

int32_t percentile_high(int32_t nrep) {
  return static_cast<int32_t>(rounded(wide(static_cast<float>(nrep)) * wide(97.5f) / wide(100.0f)));
}

void summarise(RunState& s) {
  const int64_t ncon = s.problem.NCON;
  const Array1<float>& FF = s.fit.estimate;
  const Array1<float>& CC = s.complexity.estimate;
  const Array2<float>& FSAMPLE = s.fit.replicates;
  const Array2<float>& CSAMPLE = s.complexity.replicates;
  Summary& u = s.summary;

  u.TOTALFIT = 1.0f;
  u.TOTALCOMP = 1.0f;
  u.BFIA = 1.0f;
  for (int64_t k = 1; k <= ncon; ++k) {
    u.TOTALFIT = rounded(wide(u.TOTALFIT) * wide(FF(k)));
    u.TOTALCOMP = rounded(wide(u.TOTALCOMP) * wide(CC(k)));
    // The per-constraint ratio first, then multiplied in.
    u.BFIA = rounded(wide(u.BFIA) * (wide(FF(k)) / wide(CC(k))));
  }
  // The ratio of the complements first, then BFIA divided by it.
  u.BFIC = rounded(wide(u.BFIA) / ((1.0 - wide(u.TOTALFIT)) / (1.0 - wide(u.TOTALCOMP))));

  for (int64_t r = 1; r <= s.NREP; ++r) {
    u.BFSAMPLE(r) = 1.0f;
    u.BFCSAMPLE(r) = 1.0f;
    u.FSAM(r) = 1.0f;
    u.CSAM(r) = 1.0f;
    for (int64_t k = 1; k <= ncon; ++k) {
      // Multiply first, then divide.
      u.BFSAMPLE(r) = rounded(wide(u.BFSAMPLE(r)) * wide(FSAMPLE(k, r)) / wide(CSAMPLE(k, r)));
      u.FSAM(r) = rounded(wide(u.FSAM(r)) * wide(FSAMPLE(k, r)));
      u.CSAM(r) = rounded(wide(u.CSAM(r)) * wide(CSAMPLE(k, r)));
    }
    u.BFCSAMPLE(r) = rounded((wide(u.FSAM(r)) / wide(u.CSAM(r))) /
                             ((1.0 - wide(u.FSAM(r))) / (1.0 - wide(u.CSAM(r)))));
  }
  // The replicates in the order drawn, for callers that pair them with
  // another run's; the report reads the sorted arrays.
  u.unsorted_bf.assign(u.BFSAMPLE.data(), u.BFSAMPLE.data() + u.BFSAMPLE.extent());
  u.unsorted_bfc.assign(u.BFCSAMPLE.data(), u.BFCSAMPLE.data() + u.BFCSAMPLE.extent());

  sort_together(u.BFSAMPLE, u.BFCSAMPLE, s.NREP);
  u.BFSAMPLE.check_range(1, s.NREP);
  u.BFCSAMPLE.check_range(1, s.NREP);
  u.MCERRIA = mc_error(u.BFSAMPLE.data(), s.NREP);
  u.MCERRIC = mc_error(u.BFCSAMPLE.data(), s.NREP);
}

}  // namespace driver
