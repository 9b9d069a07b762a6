// Normal distribution function and its inverse, on the complementary error
// function, its inverse and truncated Chebyshev series.
//
// All routines work in single precision and take the run's context for the
// error handler. The term counts and argument limits of the series, which
// the routines would compute from the machine constants on their first
// call, never change: they are held as constants (checked by a test that
// computes them as the first call would). Under the default error settings
// a terminal error stops the run when the reporting routine returns.
#pragma once

#include <bit>
#include <cstdint>

#include "numlib/context.h"

namespace numlib {

// Sum of the first n terms of the Chebyshev series cs(1..n) at x in
// [-1.1, 1.1], the first term halved.
float CSEVL(Context& ctx, float x, const float* cs, int32_t n);
// Number of terms of the series os(1..nos) needed for accuracy eta.
int32_t INITS(Context& ctx, const float* os, int32_t nos, float eta);
// erfc(x), in [0, 2].
float ERFC(Context& ctx, float x);
// exp(x*x) * erfc(x).
float ERFCE(Context& ctx, float x);
// The y with erfc(y) = x, for 0 < x < 2.
float ERFCI(Context& ctx, float x);
// The standard normal distribution function.
float ANORDF(Context& ctx, float x);
// pa := ANORDF(a), then pb := ANORDF(b): the same results and the same
// messages as the two calls. When both sum a series, the two series are
// summed side by side, so that neither waits for the other.
void ANORDF_PAIR(Context& ctx, float a, float b, float& pa, float& pb);
// Its inverse, for 0 < p < 1.
float ANORIN(Context& ctx, float p);

namespace detail {

// Term counts and argument limits of the error functions.
struct ErfcSetup {
  int32_t NTCENT;  // terms of the series for |x| <= 1
  int32_t NTTAIL;  // terms of the series for |x| > 2
  int32_t NTMID;   // terms of the series for 1 < |x| <= 2
  float XSML;      // below it erfc is 2 to single precision
  float XMAX;      // above it erfc underflows
  float SQEPS;     // below it erfc is 1 - 2x/sqrt(pi)
};

struct ErfceSetup {
  int32_t NTCENT;
  int32_t NTTAIL;
  int32_t NTMID;
  float XMIN;    // below it exp(x*x) * erfc(x) overflows
  float XSML;
  float XMAX;    // above it the result underflows
  float SQEPS;
  float XSQMAX;  // sqrt(XMAX): above it the tail series is at -1
};

struct ErfciSetup {
  int32_t NTINV;  // terms of the series for |1 - x| < 0.75
  float XLIM;     // above it the result has less than half precision
  float TOL;      // relative tolerance of the Newton iteration
};

constexpr float bits(uint32_t b) { return std::bit_cast<float>(b); }

// The values, as bit patterns: XSML -4.00785923, XMAX 9.18492794, SQEPS
// 3.4530682e-04; XMIN -9.37240124, XMAX of ERFCE 4.75071888e+37, XSQMAX
// 6.89254592e+18; XLIM 1.99999118, TOL 1.19237006e-06.
inline constexpr ErfcSetup kErfc = {7, 9, 10, bits(0xC0804062u), bits(0x4112F577u), bits(0x39B50A4Cu)};
inline constexpr ErfceSetup kErfce = {7,
                                      9,
                                      10,
                                      bits(0xC115F55Bu),
                                      bits(0xC0804062u),
                                      bits(0x7E0EF635u),
                                      bits(0x39B50A4Cu),
                                      bits(0x5EBF4E7Cu)};
inline constexpr ErfciSetup kErfci = {11, bits(0x3FFFFFB6u), bits(0x35A00986u)};

// The same values computed from the machine constants, as the first call of
// each routine computes them (for the test that checks the constants).
ErfcSetup compute_erfc_setup(Context& ctx);
ErfceSetup compute_erfce_setup(Context& ctx);
ErfciSetup compute_erfci_setup(Context& ctx);

}  // namespace detail

}  // namespace numlib
