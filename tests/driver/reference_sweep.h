// The Gibbs sweeps of the two samplers written straight from their
// procedure, with no reuse of any sum and every bound slot filled: the
// oracle that the samplers' own sweeps must match bit for bit, and the
// source of the arguments that the update benchmarks replay.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "driver/run.h"
#include "numlib/normal.h"
#include "numlib/random.h"

namespace driver_test {

// The arguments of the library calls of one truncated draw.
struct DrawArgs {
  float a;  // standardised lower limit
  float b;  // standardised upper limit
  float P;  // clamped probability handed to ANORIN
};

namespace detail {

inline double d(float v) { return static_cast<double>(v); }

inline float slack(const driver::ProblemArrays& p, int64_t m, const driver::Array1<float>& point) {
  float S = 0.0f;
  for (int64_t l = 1; l <= int64_t{p.NPAR} + 1; ++l)
    S = static_cast<float>(d(S) + d(p.R(m, l)) * d(point(l)));
  return S;
}

// LOLIM and UPLIM of parameter i: every slot of `lower`/`upper` filled,
// then the largest and smallest taken (a NaN is never taken).
inline void limits(const driver::ProblemArrays& p, int32_t k, int64_t i,
                   const driver::Array1<float>& point, driver::Array1<float>& lower,
                   driver::Array1<float>& upper, float& lolim, float& uplim) {
  const float BIG = driver::BIG;
  for (int64_t j = 1; j <= k - 1; ++j) {
    const int64_t m = k - j;
    const float S = slack(p, m, point);
    const float r = p.R(m, i);
    const float q = static_cast<float>((d(r) * d(point(i)) - d(S)) / d(r));
    lower(j) = r > 0.0f ? q : -BIG;
    upper(j) = r < 0.0f ? q : BIG;
  }
  for (int64_t j = k; j <= p.NCON; ++j) {
    lower(j) = -BIG;
    upper(j) = BIG;
  }
  lolim = -std::numeric_limits<float>::infinity();
  uplim = std::numeric_limits<float>::infinity();
  for (int64_t j = 1; j <= p.NCON; ++j) {
    if (lower(j) > lolim) lolim = lower(j);
    if (upper(j) < uplim) uplim = upper(j);
  }
}

// Standard normal quantile truncated to [a, b] by inversion of one uniform.
inline float truncated_quantile(numlib::Context& lib, float a, float b,
                                std::vector<DrawArgs>* record) {
  int32_t tag;
  numlib::UNIFORM_TAG(tag);
  float U;
  numlib::UNIFORM_DRAW(lib, U, tag);
  const float PA = numlib::ANORDF(lib, a);
  const float PB = numlib::ANORDF(lib, b);
  float P = static_cast<float>(d(U) * (d(PB) - d(PA)) + d(PA));
  if (P > 0.999999f) P = 0.999999f;
  if (P < 0.000001f) P = 0.000001f;
  if (record != nullptr) record->push_back({a, b, P});
  return numlib::ANORIN(lib, P);
}

}  // namespace detail

// One sweep of the fit sampler on X for constraint k.
inline void reference_fit_sweep(driver::RunState& s, int32_t k,
                                std::vector<DrawArgs>* record = nullptr) {
  using detail::d;
  const driver::ProblemArrays& p = s.problem;
  const driver::Approximations& a = s.approx;
  driver::ChainArrays& c = s.fit_chain;
  const int64_t n = p.NPAR;
  for (int64_t i = 1; i <= n; ++i) {
    float sum = 0.0f;
    for (int64_t j = 1; j <= n; ++j)
      sum = static_cast<float>(d(sum) + d(a.C(i, j)) * (d(c.point(j)) - d(p.PARMEANS(j))));
    c.MEANS(i) = static_cast<float>(d(p.PARMEANS(i)) + d(sum) -
                                    d(a.C(i, i)) * (d(c.point(i)) - d(p.PARMEANS(i))));
    const float mean = c.MEANS(i);
    const float sd = std::sqrt(static_cast<float>(1.0 / d(a.INVCOV(i, i))));
    if (k == 1) {
      int32_t tag;
      numlib::NORMAL_TAG(tag);
      float Z;
      numlib::NORMAL_DRAW(s.lib, Z, tag);
      c.point(i) = static_cast<float>(d(Z) * d(sd) + d(mean));
      continue;
    }
    float lolim, uplim;
    detail::limits(p, k, i, c.point, c.lower, c.upper, lolim, uplim);
    const float lo = static_cast<float>((d(lolim) - d(mean)) / d(sd));
    const float up = static_cast<float>((d(uplim) - d(mean)) / d(sd));
    const float Z = detail::truncated_quantile(s.lib, lo, up, record);
    c.point(i) = static_cast<float>(d(Z) * d(sd) + d(mean));
  }
}

// One sweep of the complexity sampler on Y for constraint k.
inline void reference_complexity_sweep(driver::RunState& s, int32_t k,
                                       std::vector<DrawArgs>* record = nullptr) {
  using detail::d;
  const double BIG = driver::BIG;
  const driver::ProblemArrays& p = s.problem;
  driver::ChainArrays& c = s.complexity_chain;
  for (int64_t i = 1; i <= p.NPAR; ++i) {
    if (k == 1) {
      int32_t tag;
      numlib::NORMAL_TAG(tag);
      float Z;
      numlib::NORMAL_DRAW(s.lib, Z, tag);
      c.point(i) = static_cast<float>(d(Z) * BIG);
      continue;
    }
    float lolim, uplim;
    detail::limits(p, k, i, c.point, c.lower, c.upper, lolim, uplim);
    const float lo = static_cast<float>(d(lolim) / BIG);
    const float up = static_cast<float>(d(uplim) / BIG);
    const float Z = detail::truncated_quantile(s.lib, lo, up, record);
    c.point(i) = static_cast<float>(d(Z) * BIG);
  }
}

}  // namespace driver_test
