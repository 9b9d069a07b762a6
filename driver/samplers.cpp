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
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "driver/bounds.h"
#include "driver/ladder.h"
#include "driver/run.h"
#include "driver/samplers.h"
#include "numlib/normal.h"
#include "numlib/random.h"
#include "textio/textio.h"

namespace driver {

namespace {

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
static_assert(LADDER_NITER[0] == FIRST_NITER);

// Quantile of a standard normal truncated to [a, b], by inversion of one
// uniform deviate, with the probability clamped into [CLAMP_LOW, CLAMP_HIGH]
// (a NaN passes both tests unchanged).
float truncated_standard_quantile(numlib::Context& lib, float a, float b) {
  int32_t tag;
  numlib::UNIFORM_TAG(tag);
  float U;
  numlib::UNIFORM_DRAW(lib, U, tag);
  float PA, PB;
  numlib::ANORDF_PAIR(lib, a, b, PA, PB);  // PA := ANORDF(a); PB := ANORDF(b)
  float P = rounded(wide(U) * (wide(PB) - wide(PA)) + wide(PA));
  if (P > CLAMP_HIGH) P = CLAMP_HIGH;
  if (P < CLAMP_LOW) P = CLAMP_LOW;
  return numlib::ANORIN(lib, P);
}

float standard_normal_draw(numlib::Context& lib) {
  int32_t tag;
  numlib::NORMAL_TAG(tag);
  float Z;
  numlib::NORMAL_DRAW(lib, Z, tag);
  return Z;
}

// The interval that rows 1..k-1 leave open for each parameter in turn during
// one sweep over the point.
//
// The procedure fills, for parameter i, a lower and an upper slot per row
// (slot j for row m = k - j; the rows k..NCON leave -BIG and +BIG) and takes
// the largest lower and the smallest upper slot, strictly greater or
// smaller replacing, so that a NaN is never taken and of two equal values
// the earlier slot stays. The slots are folded here as they are formed, in
// slot order, without being stored; -BIG and +BIG are folded last, which
// gives the same result because they take part once or many times alike.
//
// A row's slot needs its slack, the sum over l = 1..NPAR+1 of
// R(m,l)*point(l) in index order with every partial sum rounded to float.
// For parameter i the terms l < i are those of parameters already redrawn in
// this sweep, and none of them has changed since parameter i-1 formed them:
// so each row carries its partial sum over l < i (SLACKS(m)) from one
// parameter to the next, extended by the one new term l = i-1. The rest of
// the sum, over l = i..NPAR+1, must be formed anew for every parameter (its
// terms are the same but what they are added to is not), and only for the
// rows that bound parameter i: a row with R(m,i) = 0 (or NaN) leaves -BIG and
// +BIG in its slots whatever its slack. Rows are independent sums, so the
// bounding rows are summed side by side, a few at a time; a row's terms
// after its last non-zero coefficient add exact zeros and are passed over
// where that changes nothing (zero_tail). The additions that change
// anything are those of the full sum in the same order, and so are the
// bits.
//
// The whole ranges of R, the point and SLACKS are checked once; the loops
// then walk raw storage.
class BoundRows {
 public:
  BoundRows(const ProblemArrays& p, ChainArrays& c, int32_t k)
      : npar_(p.NPAR), rows_(int64_t{k} - 1), ldr_(p.R.extent1()), point_(c.point.data()),
        slacks_(c.SLACKS.data()) {
    const int64_t n1 = npar_ + 1;
    (void)p.R(1, 1);
    (void)p.R(rows_, n1);
    c.point.check_range(1, n1);
    c.SLACKS.check_range(1, rows_);
    R_ = p.R.data();
    for (int64_t m = 0; m < rows_; ++m) slacks_[m] = 0.0f;
  }

  // LOLIM and UPLIM of parameter i; the parameters are taken in the order
  // 1..NPAR, each after its predecessor has been redrawn.
  void limits(int64_t i, float& lolim, float& uplim) {
    if (i > 1) extend_slacks(i - 1);
    lolim = -std::numeric_limits<float>::infinity();
    uplim = std::numeric_limits<float>::infinity();
    const float* r_i = column(i);
    int64_t group[kGroup];
    int ng = 0;
    for (int64_t j = 1; j <= rows_; ++j) {
      const int64_t m = rows_ + 1 - j;  // = k - j
      const float r = r_i[m - 1];
      if (!(r > 0.0f || r < 0.0f)) continue;
      group[ng++] = m;
      if (ng == kGroup) {
        fold_group<kGroup>(i, group, lolim, uplim);
        ng = 0;
      }
    }
    switch (ng) {
      case 1: fold_group<1>(i, group, lolim, uplim); break;
      case 2: fold_group<2>(i, group, lolim, uplim); break;
      case 3: fold_group<3>(i, group, lolim, uplim); break;
      default: break;
    }
    if (-BIG > lolim) lolim = -BIG;
    if (BIG < uplim) uplim = BIG;
  }

 private:
  static constexpr int kGroup = 4;  // at most this many rows summed side by side

  const float* column(int64_t l) const { return R_ + (l - 1) * ldr_; }

  // SLACKS(m) += R(m,l) * point(l) for every row: the term of the parameter
  // l just redrawn.
  void extend_slacks(int64_t l) {
    const float* r_l = column(l);
    const double x = wide(point_[l - 1]);
    for (int64_t m = 0; m < rows_; ++m) slacks_[m] = rounded(wide(slacks_[m]) + wide(r_l[m]) * x);
  }

  // Finishes the slacks of the NG rows in `group` (in slot order) over
  // l = i..NPAR+1, then folds their bounds on parameter i into the limits.
  // Each row is summed up to its last non-zero coefficient; its remaining
  // terms go through zero_tail.
  template <int NG>
  void fold_group(int64_t i, const int64_t* group, float& lolim, float& uplim) const {
    float S[NG];
    int64_t last[NG];
    int64_t end = i - 1;
    for (int g = 0; g < NG; ++g) {
      S[g] = slacks_[group[g] - 1];
      last[g] = last_term(group[g], i);
      if (last[g] > end) end = last[g];
    }
    for (int64_t l = i; l <= end; ++l) {
      const float* r_l = column(l);
      const double x = wide(point_[l - 1]);
      for (int g = 0; g < NG; ++g)
        if (l <= last[g]) S[g] = rounded(wide(S[g]) + wide(r_l[group[g] - 1]) * x);
    }
    for (int g = 0; g < NG; ++g) S[g] = zero_tail(group[g], last[g] + 1, S[g]);
    const float* r_i = column(i);
    const float x_i = point_[i - 1];
    for (int g = 0; g < NG; ++g) {
      const float r = r_i[group[g] - 1];
      const float q = bound_from_row(r, x_i, S[g]);
      if (r > 0.0f) {
        if (q > lolim) lolim = q;
      } else if (q < uplim) {
        uplim = q;
      }
    }
  }

  // The last column l >= i whose coefficient in row m is not zero (NaN
  // counts as not zero), or i - 1 when there is none.
  int64_t last_term(int64_t m, int64_t i) const {
    int64_t l = npar_ + 1;
    while (l >= i && column(l)[m - 1] == 0.0f) --l;
    return l;
  }

  // The slack S of row m plus its terms l = from..NPAR+1, whose coefficients
  // are all zero. Each such term is a zero when its value is finite, and
  // adding a zero leaves a non-zero (or NaN) sum exactly as it is; a zero
  // sum (whose sign the terms may change) or a value that is not finite
  // (zero times it is NaN) takes the additions.
  float zero_tail(int64_t m, int64_t from, float S) const {
    const int64_t n1 = npar_ + 1;
    if (from > n1) return S;
    if (S != 0.0f) {
      bool finite = true;
      for (int64_t l = from; l <= n1; ++l) finite = finite && std::isfinite(point_[l - 1]);
      if (finite) return S;
    }
    for (int64_t l = from; l <= n1; ++l) S = rounded(wide(S) + wide(column(l)[m - 1]) * wide(point_[l - 1]));
    return S;
  }

  int64_t npar_;
  int64_t rows_;
  int64_t ldr_;
  const float* R_ = nullptr;
  float* point_;
  float* slacks_;
};

// The posterior full conditional of parameter i: mean MEANS(i) from PARMEANS,
// C and the current X; standard deviation sqrt(1/INVCOV(i,i)).
class PosteriorConditional {
 public:
  PosteriorConditional(numlib::Context& lib, const ProblemArrays& p, const Approximations& a,
                       ChainArrays& c)
      : lib_(lib), n_(p.NPAR), ldc_(a.C.extent1()), ldp_(a.INVCOV.extent1()), x_(c.point.data()),
        pm_(p.PARMEANS.data()), means_(c.MEANS.data()) {
    if (n_ < 1) return;
    (void)a.C(1, 1);
    (void)a.C(n_, n_);
    (void)a.INVCOV(n_, n_);
    c.point.check_range(1, n_);
    p.PARMEANS.check_range(1, n_);
    c.MEANS.check_range(1, n_);
    c_ = a.C.data();
    invcov_ = a.INVCOV.data();
  }

  // The sum of the mean of parameter i runs over j = 1..NPAR in index order.
  // Its terms j < i-1 are known before X(i-1) is redrawn: look_ahead(i-1)
  // adds them up then, while the draw of parameter i-1 is still under way,
  // and prepare(i) goes on from there with the same additions.
  void look_ahead(int64_t i) {
    if (i >= n_) return;
    ahead_ = partial_sum(i + 1, 0, i - 1, 0.0f);
    ahead_for_ = i + 1;
  }

  // i in 1..NPAR.
  void prepare(int64_t i) {
    // All j including i, then the diagonal term taken off explicitly,
    // because C(i,i) is only approximately 0.
    const float* c_i = c_ + (i - 1);  // C(i,j) = c_i[(j - 1) * ldc]
    const float sum = ahead_for_ == i ? partial_sum(i, i - 2, n_, ahead_)
                                      : partial_sum(i, 0, n_, 0.0f);
    ahead_for_ = 0;
    const double cii = wide(c_i[(i - 1) * ldc_]);
    const double xi = wide(x_[i - 1]);
    const double pmi = wide(pm_[i - 1]);
    means_[i - 1] = rounded(pmi + wide(sum) - cii * (xi - pmi));
    mean_ = means_[i - 1];
    const double pii = wide(invcov_[(i - 1) * (ldp_ + 1)]);  // INVCOV(i,i)
    sd_ = std::sqrt(rounded(1.0 / pii));
  }
  float unrestricted(float Z) const { return rounded(wide(Z) * wide(sd_) + wide(mean_)); }
  float restricted(float lolim, float uplim) const {
    return TRUNCNORM(lib_, mean_, sd_, lolim, uplim);
  }

 private:
  // sum + the terms j = first+1 .. last of the mean of parameter i.
  float partial_sum(int64_t i, int64_t first, int64_t last, float sum) const {
    const float* c_i = c_ + (i - 1);
    for (int64_t j = first; j < last; ++j)
      sum = rounded(wide(sum) + wide(c_i[j * ldc_]) * (wide(x_[j]) - wide(pm_[j])));
    return sum;
  }

  numlib::Context& lib_;
  int64_t n_;
  int64_t ldc_;
  int64_t ldp_;
  const float* c_ = nullptr;
  const float* invcov_ = nullptr;
  const float* x_;
  const float* pm_;
  float* means_;
  float mean_ = 0.0f;
  float sd_ = 0.0f;
  float ahead_ = 0.0f;    // the terms j < ahead_for_ - 1 of that parameter's mean
  int64_t ahead_for_ = 0; // the parameter they belong to, or 0
};

// The prior full conditional: mean 0 and standard deviation BIG for every
// parameter, so a missing bound (+-BIG) standardises to exactly +-1.
class PriorConditional {
 public:
  explicit PriorConditional(numlib::Context& lib) : lib_(lib) {}
  void look_ahead(int64_t) {}
  void prepare(int64_t) {}
  float unrestricted(float Z) const { return rounded(wide(Z) * wide(BIG)); }
  float restricted(float lolim, float uplim) const {
    const float a = rounded(wide(lolim) / wide(BIG));
    const float b = rounded(wide(uplim) / wide(BIG));
    const float Z = truncated_standard_quantile(lib_, a, b);
    return rounded(wide(Z) * wide(BIG));
  }

 private:
  numlib::Context& lib_;
};

// One Gibbs sweep: parameters 1..NPAR in order, each redrawn from its full
// conditional at the current point, truncated to the interval rows 1..k-1
// leave open.
template <class Conditional>
void sweep(numlib::Context& lib, const ProblemArrays& p, ChainArrays& c, int32_t k,
           Conditional& cond) {
  const int64_t npar = p.NPAR;
  if (npar < 1) return;
  c.point.check_range(1, npar);
  float* point = c.point.data();
  if (k == 1) {
    for (int64_t i = 1; i <= npar; ++i) {
      cond.prepare(i);
      cond.look_ahead(i);
      point[i - 1] = cond.unrestricted(standard_normal_draw(lib));
    }
    return;
  }
  BoundRows rows(p, c, k);
  for (int64_t i = 1; i <= npar; ++i) {
    cond.prepare(i);
    float lolim, uplim;
    rows.limits(i, lolim, uplim);
    cond.look_ahead(i);  // work for parameter i+1 that does not wait for this draw
    point[i - 1] = cond.restricted(lolim, uplim);
  }
}

// One chain of NBURN + niter sweeps from INITIAL; returns the hits among the
// counted sweeps.
template <class Conditional>
int32_t chain(numlib::Context& lib, const ProblemArrays& p, const Array1<float>& INITIAL,
              ChainArrays& c, int32_t k, int32_t niter, Conditional& cond, const ChainPoll& poll) {
  const int64_t npar = p.NPAR;
  const int64_t n1 = npar + 1;
  for (int64_t j = 1; j <= n1; ++j) c.point(j) = INITIAL(j);

  const int32_t total = NBURN + niter;
  int64_t next_poll = poll.every > 0 ? poll.every : std::numeric_limits<int64_t>::max();
  int32_t nhit = 0;
  for (int32_t it = 1; it <= total; ++it) {
    sweep(lib, p, c, k, cond);
    // The hit test comes after the complete sweep; a slack of exactly 0
    // (or NaN) is no hit.
    if (row_slack(p.R, k, c.point, n1) > 0.0f && it > NBURN) ++nhit;
    if (it == next_poll) [[unlikely]] {
      poll.call(poll.context, it, nhit);
      next_poll += poll.every;
    }
  }
  return nhit;
}

// The progress line of a sampler for constraint k.
void progress_line(textio::Console& console, int32_t k, const char* closing_text) {
  static constexpr textio::FormatItem kLineStart = {textio::FormatItem::Literal, "Constraint"};
  static constexpr textio::FormatItem kNumber = {textio::FormatItem::I, {}, 4};
  static constexpr textio::FormatItem kUnused = {textio::FormatItem::I, {}, 10};
  const textio::FormatItem format[] = {kLineStart, kNumber,
                                       {textio::FormatItem::Literal, closing_text}, kUnused};
  const textio::Value values[] = {textio::int_value(k)};
  console.write_record(textio::build_record(format, values));
}

// The Beta replicates of the final chain's hit count and the progress line.
void finish_sampler(RunState& s, int32_t k, Estimates& e, int32_t niter, int32_t nhit,
                    const char* closing_text) {
  e.iterations(k) = niter;
  e.hits(k) = nhit;

  const float PIN = static_cast<float>(nhit + 1);
  const float QIN = static_cast<float>(niter - nhit + 1);
  numlib::RNBET_ARRAY(s.lib, PIN, QIN, e.beta.data(), static_cast<int32_t>(e.beta.extent()));
  for (int64_t m = 1; m <= s.NREP; ++m) e.replicates(k, m) = e.beta(m);

  progress_line(s.console, k, closing_text);
}

constexpr const char* FIT_TEXT = " for    fit     has been evaluated";
constexpr const char* COMPLEXITY_TEXT = " for complexity has been evaluated";

}  // namespace

int32_t next_niter(int32_t niter, float estimate) {
  for (const Rung& r : LADDER)
    if (r.niter == niter) return estimate < r.threshold ? r.next : 0;
  return 0;
}

float TRUNCNORM(numlib::Context& lib, float mu, float sigma, float lolim, float uplim) {
  const float a = rounded((wide(lolim) - wide(mu)) / wide(sigma));
  const float b = rounded((wide(uplim) - wide(mu)) / wide(sigma));
  const float Z = truncated_standard_quantile(lib, a, b);
  return rounded(wide(Z) * wide(sigma) + wide(mu));
}

int32_t stopping_hits(int32_t niter) {
  // The estimate nhit / niter (single precision) grows with nhit, so the
  // ladder stops from some hit count on: the first at which next_niter
  // gives 0.
  int32_t lo = 0, hi = niter + 1;  // the ladder climbs at lo hits; hi is at or past the answer
  if (next_niter(niter, 0.0f) == 0) return 0;
  while (hi - lo > 1) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (next_niter(niter, static_cast<float>(mid) / static_cast<float>(niter)) == 0)
      hi = mid;
    else
      lo = mid;
  }
  return hi;
}

int64_t chain_uniforms(int32_t npar, int32_t niter) {
  return (int64_t{NBURN} + niter) * (npar > 0 ? npar : 0);
}

int32_t run_chain(const RunState& s, SamplerKind kind, int32_t k, int32_t niter, ChainArrays& c,
                  numlib::Context& lib, const ChainPoll& poll) {
  if (kind == SamplerKind::fit) {
    PosteriorConditional cond(lib, s.problem, s.approx, c);
    return chain(lib, s.problem, s.start.INITIAL, c, k, niter, cond, poll);
  }
  PriorConditional cond(lib);
  return chain(lib, s.problem, s.start.INITIAL, c, k, niter, cond, poll);
}

bool hooks_wanted(const RunState& s) { return s.hooks.progress || s.hooks.cancel; }

void poll_hooks(RunState& s, int32_t k, SamplerKind kind, int32_t niter, int64_t done) {
  if (s.hooks.cancel && s.hooks.cancel())
    textio::end_run(EXIT_CANCELLED, "ineqbf: the analysis was cancelled");
  if (s.hooks.progress) s.hooks.progress(k, kind, niter, done, int64_t{NBURN} + niter);
}

namespace {

void run_sampler(RunState& s, int32_t k, SamplerKind kind, ChainArrays& c, Estimates& e,
                 const char* closing_text) {
  const LadderEnd end = climb_ladder(s, kind, k, c, e);
  finish_sampler(s, k, e, end.niter, end.nhit, closing_text);
}

}  // namespace

void fit_sampler(RunState& s, int32_t k) {
  run_sampler(s, k, SamplerKind::fit, s.fit_chain, s.fit, FIT_TEXT);
}

void complexity_sampler(RunState& s, int32_t k) {
  run_sampler(s, k, SamplerKind::complexity, s.complexity_chain, s.complexity, COMPLEXITY_TEXT);
}

void fit_sweep(RunState& s, int32_t k) {
  PosteriorConditional cond(s.lib, s.problem, s.approx, s.fit_chain);
  sweep(s.lib, s.problem, s.fit_chain, k, cond);
}

void complexity_sweep(RunState& s, int32_t k) {
  PriorConditional cond(s.lib);
  sweep(s.lib, s.problem, s.complexity_chain, k, cond);
}

}  // namespace driver
