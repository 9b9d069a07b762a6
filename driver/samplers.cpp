// The fit and complexity samplers.
//
// Both estimate, for constraint k, the probability that row k holds given
// that rows 1..k-1 hold, by a Gibbs sampler that redraws one parameter at a
// time from its normal full conditional truncated to the interval rows
// 1..k-1 leave open. The fit sampler draws from the posterior (mean
// PARMEANS, precision INVCOV); the complexity sampler from the vague prior
// (every parameter independently normal, mean 0, standard deviation BIG).
// Everything else is shared: chains, burn-in, hit test, iteration ladder,
// Beta replicates and the progress line.
//
// All draws come from the one random stream, so their order is part of the
// result: one draw per parameter in the order i = 1..NPAR, sweep after
// sweep, chain after chain, then the Beta replicates.
#include <cmath>
#include <cstdint>

#include "driver/bounds.h"
#include "driver/run.h"
#include "driver/samplers.h"
#include "numlib/normal.h"
#include "numlib/random.h"
#include "textio/textio.h"

namespace driver {

namespace {

constexpr int32_t NBURN = 100;
constexpr int32_t FIRST_NITER = 1000;
constexpr float CLAMP_HIGH = 0.999999f;  // largest probability handed to ANORIN
constexpr float CLAMP_LOW = 0.000001f;   // smallest probability handed to ANORIN

// The iteration ladder: after a chain of `niter` counted iterations whose
// estimate is below `threshold` (strict, single precision), a new chain of
// `next` iterations replaces it.
struct Rung {
  int32_t niter;
  float threshold;
  int32_t next;
};
constexpr Rung LADDER[] = {
    {1000, 0.5f, 3000},          {3000, 0.166f, 9600},        {9600, 0.042f, 120000},
    {120000, 0.008f, 360000},    {360000, 0.0014f, 2520000},  {2520000, 0.0002f, 10000000},
};

// Quantile of a standard normal truncated to [a, b], by inversion of one
// uniform deviate, with the probability clamped into [CLAMP_LOW, CLAMP_HIGH]
// (a NaN passes both tests unchanged).
float truncated_standard_quantile(float a, float b) {
  int32_t tag;
  numlib::UNIFORM_TAG(tag);
  float U;
  numlib::UNIFORM_DRAW(U, tag);
  const float PA = numlib::ANORDF(a);
  const float PB = numlib::ANORDF(b);
  float P = static_cast<float>(static_cast<double>(U) *
                                   (static_cast<double>(PB) - static_cast<double>(PA)) +
                               static_cast<double>(PA));
  if (P > CLAMP_HIGH) P = CLAMP_HIGH;
  if (P < CLAMP_LOW) P = CLAMP_LOW;
  return numlib::ANORIN(P);
}

float standard_normal_draw() {
  int32_t tag;
  numlib::NORMAL_TAG(tag);
  float Z;
  numlib::NORMAL_DRAW(Z, tag);
  return Z;
}

// Lower and upper limit that rows k-1, k-2, ..., 1 set on parameter i at the
// current point; rows k..NCON leave their slots unbounded.
void limits_of_parameter(const RunState& s, int32_t k, int64_t i, const Array1<float>& point,
                         Array1<float>& lower_slots, Array1<float>& upper_slots, float& lolim,
                         float& uplim) {
  const int64_t n1 = int64_t{s.NPAR} + 1;
  for (int64_t j = 1; j <= k - 1; ++j) {
    const int64_t m = k - j;
    const float S = row_slack(s.R, m, point, n1);
    const float r = s.R(m, i);
    lower_slots(j) = r > 0.0f ? bound_from_row(r, point(i), S) : -BIG;
    upper_slots(j) = r < 0.0f ? bound_from_row(r, point(i), S) : BIG;
  }
  for (int64_t j = k; j <= s.NCON; ++j) {
    lower_slots(j) = -BIG;
    upper_slots(j) = BIG;
  }
  lolim = largest(lower_slots, s.NCON);
  uplim = smallest(upper_slots, s.NCON);
}

// The posterior full conditional of parameter i.
struct PosteriorConditional {
  RunState& s;
  float mean = 0.0f;
  float sd = 0.0f;

  void prepare(int64_t i) {
    const int64_t n = s.NPAR;
    // All j including i, then the diagonal term taken off explicitly,
    // because C(i,i) is only approximately 0.
    float sum = 0.0f;
    for (int64_t j = 1; j <= n; ++j)
      sum = static_cast<float>(
          static_cast<double>(sum) +
          static_cast<double>(s.C(i, j)) *
              (static_cast<double>(s.X(j)) - static_cast<double>(s.PARMEANS(j))));
    s.MEANS(i) = static_cast<float>(
        static_cast<double>(s.PARMEANS(i)) + static_cast<double>(sum) -
        static_cast<double>(s.C(i, i)) *
            (static_cast<double>(s.X(i)) - static_cast<double>(s.PARMEANS(i))));
    mean = s.MEANS(i);
    sd = std::sqrt(static_cast<float>(1.0 / static_cast<double>(s.INVCOV(i, i))));
  }
  float unrestricted(float Z) const {
    return static_cast<float>(static_cast<double>(Z) * static_cast<double>(sd) +
                              static_cast<double>(mean));
  }
  float restricted(float lolim, float uplim) const { return TRUNCNORM(mean, sd, lolim, uplim); }
};

// The prior full conditional: mean 0 and standard deviation BIG for every
// parameter, so a missing bound (+-BIG) standardises to exactly +-1.
struct PriorConditional {
  void prepare(int64_t) {}
  float unrestricted(float Z) const {
    return static_cast<float>(static_cast<double>(Z) * static_cast<double>(BIG));
  }
  float restricted(float lolim, float uplim) const {
    const float a = static_cast<float>(static_cast<double>(lolim) / static_cast<double>(BIG));
    const float b = static_cast<float>(static_cast<double>(uplim) / static_cast<double>(BIG));
    const float Z = truncated_standard_quantile(a, b);
    return static_cast<float>(static_cast<double>(Z) * static_cast<double>(BIG));
  }
};

// The arrays one sampler works on and fills.
struct SamplerArrays {
  Array1<float>& point;        // X or Y
  Array1<float>& lower_slots;  // LARGE1 or LARGE2
  Array1<float>& upper_slots;  // SMALL1 or SMALL2
  Array1<float>& estimate;     // FF or CC
  Array1<int32_t>& iterations; // NUMF or NUMC
  Array1<float>& beta;         // FBETA or CBETA
  Array2<float>& replicates;   // FSAMPLE or CSAMPLE
  const char* closing_text;    // of the progress line
};

// One Gibbs sweep: parameters 1..NPAR in order, each redrawn from its full
// conditional at the current point, truncated to the interval rows 1..k-1
// leave open.
template <class Conditional>
void sweep(RunState& s, int32_t k, Conditional& cond, SamplerArrays& a) {
  const int64_t npar = s.NPAR;
  for (int64_t i = 1; i <= npar; ++i) {
    cond.prepare(i);
    if (k == 1) {
      a.point(i) = cond.unrestricted(standard_normal_draw());
    } else {
      float lolim, uplim;
      limits_of_parameter(s, k, i, a.point, a.lower_slots, a.upper_slots, lolim, uplim);
      a.point(i) = cond.restricted(lolim, uplim);
    }
  }
}

// One chain of NBURN + niter sweeps from INITIAL; returns the hits among the
// counted sweeps.
template <class Conditional>
int32_t run_chain(RunState& s, int32_t k, int32_t niter, Conditional& cond, SamplerArrays& a) {
  const int64_t npar = s.NPAR;
  const int64_t n1 = npar + 1;
  for (int64_t j = 1; j <= n1; ++j) a.point(j) = s.INITIAL(j);

  int32_t nhit = 0;
  const int32_t total = NBURN + niter;
  for (int32_t it = 1; it <= total; ++it) {
    sweep(s, k, cond, a);
    // The hit test comes after the complete sweep; a slack of exactly 0
    // (or NaN) is no hit.
    if (row_slack(s.R, k, a.point, n1) > 0.0f && it > NBURN) ++nhit;
  }
  return nhit;
}

template <class Conditional>
void run_sampler(RunState& s, int32_t k, Conditional& cond, SamplerArrays& a) {
  int32_t niter = FIRST_NITER;
  int32_t nhit = 0;
  for (;;) {
    nhit = run_chain(s, k, niter, cond, a);
    a.estimate(k) = static_cast<float>(static_cast<float>(nhit)) / static_cast<float>(niter);
    const int32_t next = next_niter(niter, a.estimate(k));
    if (next == 0) break;
    niter = next;
  }
  a.iterations(k) = niter;

  const float PIN = static_cast<float>(nhit + 1);
  const float QIN = static_cast<float>(niter - nhit + 1);
  numlib::RNBET_ARRAY(PIN, QIN, a.beta.data(), static_cast<int32_t>(a.beta.extent()));
  for (int64_t m = 1; m <= s.NREP; ++m) a.replicates(k, m) = a.beta(m);

  static constexpr textio::FormatItem kLineStart = {textio::FormatItem::Literal, "Constraint"};
  static constexpr textio::FormatItem kNumber = {textio::FormatItem::I, {}, 4};
  const textio::FormatItem closing = {textio::FormatItem::Literal, a.closing_text};
  static constexpr textio::FormatItem kUnused = {textio::FormatItem::I, {}, 10};
  textio::console().write_formatted({kLineStart, kNumber, closing, kUnused},
                                    {textio::int_value(k)});
}

}  // namespace

int32_t next_niter(int32_t niter, float estimate) {
  for (const Rung& r : LADDER)
    if (r.niter == niter) return estimate < r.threshold ? r.next : 0;
  return 0;
}

float TRUNCNORM(float mu, float sigma, float lolim, float uplim) {
  const float a = static_cast<float>((static_cast<double>(lolim) - static_cast<double>(mu)) /
                                     static_cast<double>(sigma));
  const float b = static_cast<float>((static_cast<double>(uplim) - static_cast<double>(mu)) /
                                     static_cast<double>(sigma));
  const float Z = truncated_standard_quantile(a, b);
  return static_cast<float>(static_cast<double>(Z) * static_cast<double>(sigma) +
                            static_cast<double>(mu));
}

namespace {

SamplerArrays fit_arrays(RunState& s) {
  return {s.X,    s.LARGE1, s.SMALL1,  s.FF,
          s.NUMF, s.FBETA,  s.FSAMPLE, " for    fit     has been evaluated"};
}

SamplerArrays complexity_arrays(RunState& s) {
  return {s.Y,    s.LARGE2, s.SMALL2,  s.CC,
          s.NUMC, s.CBETA,  s.CSAMPLE, " for complexity has been evaluated"};
}

}  // namespace

void fit_sampler(RunState& s, int32_t k) {
  PosteriorConditional cond{s};
  SamplerArrays a = fit_arrays(s);
  run_sampler(s, k, cond, a);
}

void complexity_sampler(RunState& s, int32_t k) {
  PriorConditional cond;
  SamplerArrays a = complexity_arrays(s);
  run_sampler(s, k, cond, a);
}

void fit_sweep(RunState& s, int32_t k) {
  PosteriorConditional cond{s};
  SamplerArrays a = fit_arrays(s);
  sweep(s, k, cond, a);
}

void complexity_sweep(RunState& s, int32_t k) {
  PriorConditional cond;
  SamplerArrays a = complexity_arrays(s);
  sweep(s, k, cond, a);
}

}  // namespace driver
