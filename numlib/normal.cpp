// Normal distribution function and its inverse, the complementary error
// function, its scaled form and its inverse, and the Chebyshev series they
// are evaluated from: the entry points, whose bodies are in
// normal_kernels.h, and the term counts and limits.
//
// The term counts and limits are the constants of normal.h; the functions
// that compute them as a first call would are kept for the test that checks
// those constants.
#include "numlib/normal.h"

#include <cmath>

#include "numlib/elementary.h"
#include "numlib/errors.h"
#include "numlib/normal_kernels.h"
#include "numlib/precision.h"

namespace numlib {

namespace {

using kernels::CS_CENTRAL;
using kernels::CS_INVERSE;
using kernels::CS_MIDDLE;
using kernels::CS_TAIL;
using kernels::kSQRTPI;

constexpr char kINITS[] = "INITS ";

// Tolerance for the term counts of every series: 0.1 * AMACH(3).
float series_eta(Context& ctx) { return rounded(wide(0.1f) * AMACH(ctx, 3)); }

// XSML of ERFC and ERFCE: -sqrt(-ln(sqrt(pi) * AMACH(3))).
float small_limit(Context& ctx) {
  const float spe = rounded(wide(kSQRTPI) * AMACH(ctx, 3));
  return -std::sqrt(-numlib::logf(spe));
}

// SQEPS of ERFC and ERFCE: sqrt(2 * AMACH(3)).
float sqeps_limit(Context& ctx) { return std::sqrt(rounded(2.0 * AMACH(ctx, 3))); }

// The term counts of the three series of ERFC and ERFCE, the same for both.
void series_terms(Context& ctx, int32_t& central, int32_t& tail, int32_t& middle) {
  const float eta = series_eta(ctx);
  central = INITS(ctx, CS_CENTRAL, 13, eta);
  tail = INITS(ctx, CS_TAIL, 24, eta);
  middle = INITS(ctx, CS_MIDDLE, 23, eta);
}

}  // namespace

namespace detail {

ErfcSetup compute_erfc_setup(Context& ctx) {
  ErfcSetup s{};
  series_terms(ctx, s.NTCENT, s.NTTAIL, s.NTMID);
  s.XSML = small_limit(ctx);
  const float spm = rounded(wide(kSQRTPI) * AMACH(ctx, 1));
  const float T = std::sqrt(-numlib::logf(spm));
  // Grouping: (T - (0.5 * ln T) / T) - 0.01.
  s.XMAX = rounded(wide(T) - wide(0.5f) * numlib::logf(T) / T - wide(0.01f));
  s.SQEPS = sqeps_limit(ctx);
  return s;
}

ErfceSetup compute_erfce_setup(Context& ctx) {
  ErfceSetup s{};
  series_terms(ctx, s.NTCENT, s.NTTAIL, s.NTMID);
  const float half_big = rounded(AMACH(ctx, 2) / 2.0);
  s.XMIN = rounded(wide(0.01f) - std::sqrt(numlib::logf(half_big)));
  s.XSML = small_limit(ctx);
  const float spm = rounded(wide(kSQRTPI) * AMACH(ctx, 1));
  const float lmin = std::fmin(-numlib::logf(spm), numlib::logf(AMACH(ctx, 2)));
  s.XMAX = numlib::expf(rounded(wide(lmin) - wide(0.01f)));
  s.SQEPS = sqeps_limit(ctx);
  // The tail series is evaluated at -1 above sqrt(XMAX); the root is taken
  // once (the same float as taking it on every call).
  s.XSQMAX = std::sqrt(s.XMAX);
  return s;
}

ErfciSetup compute_erfci_setup(Context& ctx) {
  ErfciSetup s{};
  s.NTINV = INITS(ctx, CS_INVERSE, 22, series_eta(ctx));
  const float a = std::sqrt(rounded(wide(AMACH(ctx, 4)) / 12.566f));
  const float b = rounded(-wide(a) / numlib::logf(rounded(wide(1.77f) * a)));
  const float l = numlib::logf(rounded(wide(1.77f) * b));
  const double bd = b;
  const double ld = l;
  s.XLIM = rounded(2.0 - (bd - (bd * ld + a) / (1.0 + ld)));
  s.TOL = rounded(10.0 * AMACH(ctx, 4));
  return s;
}

}  // namespace detail

int32_t INITS(Context& ctx, const float* os, int32_t nos, float eta) {
  E1PSH(ctx, kINITS);
  if (nos < 1) {
    E1SUBI(ctx, 1, nos);
    E1MSG(ctx, ERR_TERMINAL, 5, "The number of coefficients is less than 1. NOS = %(I1).");
    E1POP(ctx, kINITS);
    return 0;
  }
  float err = 0.0f;
  int32_t i = nos;
  bool stopped = false;
  for (; i >= 1; --i) {
    err = rounded(wide(err) + std::fabs(os[i - 1]));
    if (err > eta) {
      stopped = true;
      break;
    }
  }
  int32_t result = stopped ? i : 1;
  if ((stopped && i == nos) || (!stopped && nos == 1)) {
    E1MSG(ctx, ERR_TERMINAL, 6, "Too much accuracy may be requested. ETA should be increased.");
    result = 0;
  }
  E1POP(ctx, kINITS);
  return result;
}

float CSEVL(Context& ctx, float x, const float* cs, int32_t n) { return kernels::csevl<false>(ctx, x, cs, n); }
float ERFC(Context& ctx, float x) { return kernels::erfc<false>(ctx, x); }
float ERFCE(Context& ctx, float x) { return kernels::erfce<false>(ctx, x); }
float ERFCI(Context& ctx, float x) { return kernels::erfci<false>(ctx, x); }
float ANORDF(Context& ctx, float x) { return kernels::anordf<false>(ctx, x); }
void ANORDF_PAIR(Context& ctx, float a, float b, float& pa, float& pb) {
  kernels::anordf_pair<false>(ctx, a, b, pa, pb);
}
float ANORIN(Context& ctx, float p) { return kernels::anorin<false>(ctx, p); }

}  // namespace numlib
