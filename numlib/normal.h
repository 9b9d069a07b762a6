// Normal distribution function and its inverse, on the complementary error
// function, its inverse and truncated Chebyshev series.
//
// All routines work in single precision. Each keeps its term counts and
// argument limits in a record of its own, set up on its first call from the
// machine constants; under the default error settings a terminal error stops
// the program when the reporting routine returns.
#pragma once

#include <cstdint>

namespace numlib {

// Sum of the first n terms of the Chebyshev series cs(1..n) at x in
// [-1.1, 1.1], the first term halved.
float CSEVL(float x, const float* cs, int32_t n);
// Number of terms of the series os(1..nos) needed for accuracy eta.
int32_t INITS(const float* os, int32_t nos, float eta);
// erfc(x), in [0, 2].
float ERFC(float x);
// exp(x*x) * erfc(x).
float ERFCE(float x);
// The y with erfc(y) = x, for 0 < x < 2.
float ERFCI(float x);
// The standard normal distribution function.
float ANORDF(float x);
// pa := ANORDF(a), then pb := ANORDF(b): the same results and the same
// state of the error handler as the two calls. When both sum a series, the
// two series are summed side by side, so that neither waits for the other.
void ANORDF_PAIR(float a, float b, float& pa, float& pb);
// Its inverse, for 0 < p < 1.
float ANORIN(float p);

namespace detail {

// Set-up records of the error functions: a record is set up once its first
// term count is non-zero. Process-wide; only normal.cpp writes them.
struct ErfcSetup {
  int32_t NTCENT = 0;  // terms of the series for |x| <= 1
  int32_t NTTAIL = 0;  // terms of the series for |x| > 2
  int32_t NTMID = 0;   // terms of the series for 1 < |x| <= 2
  float XSML = 0.0f;   // below it erfc is 2 to single precision
  float XMAX = 0.0f;   // above it erfc underflows
  float SQEPS = 0.0f;  // below it erfc is 1 - 2x/sqrt(pi)
};

struct ErfceSetup {
  int32_t NTCENT = 0;
  int32_t NTTAIL = 0;
  int32_t NTMID = 0;
  float XMIN = 0.0f;   // below it exp(x*x) * erfc(x) overflows
  float XSML = 0.0f;
  float XMAX = 0.0f;   // above it the result underflows
  float SQEPS = 0.0f;
  float XSQMAX = 0.0f; // sqrt(XMAX): above it the tail series is at -1
};

struct ErfciSetup {
  int32_t NTINV = 0;  // terms of the series for |1 - x| < 0.75
  float XLIM = 0.0f;  // above it the result has less than half precision
  float TOL = 0.0f;   // relative tolerance of the Newton iteration
};

extern ErfcSetup g_erfc;
extern ErfceSetup g_erfce;
extern ErfciSetup g_erfci;

}  // namespace detail

}  // namespace numlib
