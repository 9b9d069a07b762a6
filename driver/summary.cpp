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

double d(float x) { return static_cast<double>(x); }

// Population standard deviation of v(1..nrep), sums in index order with
// every partial sum rounded to float.
float mc_error(const Array1<float>& v, int32_t nrep) {
  float SUM = 0.0f;
  for (int64_t m = 1; m <= nrep; ++m) SUM = static_cast<float>(d(SUM) + d(v(m)));
  const float count = static_cast<float>(nrep);
  float SS = 0.0f;
  for (int64_t m = 1; m <= nrep; ++m) {
    const float D = static_cast<float>(d(SUM) / d(count) - d(v(m)));
    SS = static_cast<float>(d(SS) + d(D) * d(D));
  }
  return std::sqrt(static_cast<float>(d(SS) / d(count)));
}

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

int32_t percentile_low(int32_t nrep) {
  return static_cast<int32_t>(static_cast<float>(d(static_cast<float>(nrep)) * d(2.5f) / d(100.0f)));
}

int32_t percentile_high(int32_t nrep) {
  return static_cast<int32_t>(
      static_cast<float>(d(static_cast<float>(nrep)) * d(97.5f) / d(100.0f)));
}

void summarise(RunState& s) {
  s.TOTALFIT = 1.0f;
  s.TOTALCOMP = 1.0f;
  s.BFIA = 1.0f;
  for (int64_t k = 1; k <= s.NCON; ++k) {
    s.TOTALFIT = static_cast<float>(d(s.TOTALFIT) * d(s.FF(k)));
    s.TOTALCOMP = static_cast<float>(d(s.TOTALCOMP) * d(s.CC(k)));
    // The per-constraint ratio first, then multiplied in.
    s.BFIA = static_cast<float>(d(s.BFIA) * (d(s.FF(k)) / d(s.CC(k))));
  }
  // The ratio of the complements first, then BFIA divided by it.
  s.BFIC = static_cast<float>(d(s.BFIA) / ((1.0 - d(s.TOTALFIT)) / (1.0 - d(s.TOTALCOMP))));

  for (int64_t r = 1; r <= s.NREP; ++r) {
    s.BFSAMPLE(r) = 1.0f;
    s.BFCSAMPLE(r) = 1.0f;
    s.FSAM(r) = 1.0f;
    s.CSAM(r) = 1.0f;
    for (int64_t k = 1; k <= s.NCON; ++k) {
      // Multiply first, then divide.
      s.BFSAMPLE(r) =
          static_cast<float>(d(s.BFSAMPLE(r)) * d(s.FSAMPLE(k, r)) / d(s.CSAMPLE(k, r)));
      s.FSAM(r) = static_cast<float>(d(s.FSAM(r)) * d(s.FSAMPLE(k, r)));
      s.CSAM(r) = static_cast<float>(d(s.CSAM(r)) * d(s.CSAMPLE(k, r)));
    }
    s.BFCSAMPLE(r) = static_cast<float>((d(s.FSAM(r)) / d(s.CSAM(r))) /
                                        ((1.0 - d(s.FSAM(r))) / (1.0 - d(s.CSAM(r)))));
  }

  sort_together(s.BFSAMPLE, s.BFCSAMPLE, s.NREP);
  s.MCERRIA = mc_error(s.BFSAMPLE, s.NREP);
  s.MCERRIC = mc_error(s.BFCSAMPLE, s.NREP);
}

}  // namespace driver
