// The chains of the two samplers: one Gibbs sweep after another, each
// parameter redrawn from its full conditional truncated to the interval rows
// 1..k-1 leave open. samplers.cpp instantiates the chains once for each
// instruction set (driver/isa.h); the bits are the same whichever runs.
//
// All draws come from the one random stream, so their order is part of the
// result: one uniform deviate per parameter in the order i = 1..NPAR, sweep
// after sweep. A chain draws its deviates ahead in blocks (Deviates), which
// leaves the stream where drawing them one at a time leaves it, and makes
// ahead the standard normal deviates that do not depend on the chain's
// state, several at a time in the lanes of a vector (numlib/lanes.h).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "driver/bounds.h"
#include "driver/normal_feed.h"
#include "driver/run.h"
#include "driver/samplers.h"
#include "numlib/normal_kernels.h"
#include "numlib/random.h"
#include "numlib/random_kernels.h"
#include "textio/textio.h"

namespace driver::chains {

using numlib::narrowed;

// A chain is a template over the instruction set (Isa, one of the structs of
// driver/isa.h): it calls the library's truncated-draw routines and the
// lanes through Isa, whose functions are compiled for that instruction set.

inline constexpr float CLAMP_HIGH = 0.999999f;  // largest probability handed to ANORIN
inline constexpr float CLAMP_LOW = 0.000001f;   // smallest probability handed to ANORIN

inline float clamped(float P) {
  // A NaN passes both tests unchanged.
  if (P > CLAMP_HIGH) P = CLAMP_HIGH;
  if (P < CLAMP_LOW) P = CLAMP_LOW;
  return P;
}

// The probability handed to ANORIN for the uniform deviate U between the
// standardised limits whose distribution function values are PA and PB.
inline float probability(float U, float PA, float PB) {
  return clamped(rounded(wide(U) * (wide(PB) - wide(PA)) + wide(PA)));
}

// Quantile of a standard normal truncated to [a, b], by inversion of the
// uniform deviate U.
template <class Isa>
inline float truncated_standard_quantile(numlib::Context& lib, float a, float b, float U) {
  float PA, PB;
  Isa::anordf_pair(lib, a, b, PA, PB);  // PA := ANORDF(a); PB := ANORDF(b)
  return Isa::anorin(lib, probability(U, PA, PB));
}

// Whether no row 1..k-1 bounds parameter i (none has a coefficient that is
// greater or less than zero there): its interval is then -BIG .. BIG.
inline bool unbounded(const ProblemArrays& p, int32_t k, int64_t i) {
  for (int64_t m = 1; m < k; ++m) {
    const float r = p.R(m, i);
    if (r > 0.0f || r < 0.0f) return false;
  }
  return true;
}

// The uniform deviates of a chain, drawn ahead in blocks, and the standard
// normal deviates of the draws that do not depend on the chain's state:
// every draw at k = 1 (RGNINV of its deviate) and, for k > 1, the draws of
// parameters no row bounds (ANORIN of the probability their deviate gives
// between the missing bounds, -BIG and BIG: for the fit sampler between
// ANORDF values 0 and 1 as long as the conditional mean and standard
// deviation leave both limits far out, which the draw checks; for the
// complexity sampler between the fixed values at -1 and 1).
//
// ANORIN's central series runs in lanes. Its other lanes run the scalar
// routine ahead on a context of their own; one that raises anything there
// (it would leave a trace in the run's error handler) is marked not ready,
// and its draw calls ANORIN in its turn, so that every trace is left in the
// order of the draws.
template <class Isa>
class Deviates {
 public:
  struct Draw {
    float U;
    float Z;     // when ready
    bool ready;
  };

  Deviates(numlib::Context& lib, const ProblemArrays& p, int32_t k, Sampler kind, int64_t draws)
      : lib_(lib), p_(p), k_(k), kind_(kind), npar_(p.NPAR), left_(draws) {
    fill(0);
    fill(HALF);
    end_ = filled_[0];
  }
  Deviates(const Deviates&) = delete;
  Deviates& operator=(const Deviates&) = delete;

  Draw next() {
    if (pos_ == end_) [[unlikely]]
      turn();
    const int j = pos_++;
    return {U_[j], Z_[j], ready_[j] != 0};
  }

 private:
  static constexpr int W = 8;
  // Two halves: the chain takes its draws from one while the other, filled
  // a half earlier, waits; a half is filled again as soon as the chain has
  // left it, so that its work (the generator's steps, the lanes) is done
  // while the chain still has a half to go, not when the chain waits for it.
  static constexpr int HALF = 8 * W;
  static constexpr int CAP = 2 * HALF;

  // The half in use is used up: on to the other, and the one left is filled.
  void turn() {
    const int used = pos_ > HALF ? HALF : 0;
    const int other = HALF - used;
    pos_ = other;
    end_ = other + filled_[other / HALF];
    fill(used);
  }

  // Fills the half from `first` on with the next deviates of the chain.
  void fill(int first) {
    const int m = static_cast<int>(std::min<int64_t>(HALF, left_));
    filled_[first / HALF] = m;
    left_ -= m;
    float* U = U_ + first;
    for (int j = 0; j < m; ++j) U[j] = numlib::RGUNIF(lib_);
    if (k_ == 1) {
      Isa::rgninv(U, Z_ + first, m);
      for (int j = 0; j < m; ++j) ready_[first + j] = 1;
      return;
    }
    // The unbounded draws of the block and their probabilities.
    float PA = 0.0f, PB = 1.0f;
    if (kind_ == Sampler::complexity) {
      PA = numlib::kernels::anordf_unit(-1.0f);
      PB = numlib::kernels::anordf_unit(1.0f);
    }
    int nfree = 0;
    for (int j = first; j < first + m; ++j) {
      ready_[j] = 0;
      const int64_t i = param_ + 1;
      param_ = i == npar_ ? 0 : i;
      if (!unbounded(p_, k_, i)) continue;
      P_[nfree] = probability(U_[j], PA, PB);
      at_[nfree++] = j;
    }
    Isa::anorin_central(P_, Zc_, central_, nfree);
    for (int f = 0; f < nfree; ++f) {
      if (central_[f])
        settle(at_[f], Zc_[f]);
      else
        ahead(at_[f], P_[f]);
    }
  }

  void settle(int j, float z) {
    Z_[j] = z;
    ready_[j] = 1;
  }

  // ANORIN off its central series, on a context of its own: kept only if it
  // raised nothing there.
  void ahead(int j, float P) {
    numlib::Context& s = scratch_;
    float z = 0.0f;
    bool clean;
    try {
      z = Isa::anorin(s, P);
      clean = s.handler.level == 1 && s.handler.levels[1].type == 0 && s.handler.levels[1].code == 0 &&
              s.messages.stored == 0 && s.messages.message.empty() && scratch_console_.text().empty();
    } catch (const textio::RunEnded&) {
      clean = false;
    }
    if (clean) {
      settle(j, z);
      return;
    }
    numlib::clear_handler(s);
    scratch_console_.clear();
  }

  numlib::Context& lib_;
  const ProblemArrays& p_;
  int32_t k_;
  Sampler kind_;
  int64_t npar_;
  int64_t left_;       // deviates of the chain not yet drawn
  int64_t param_ = 0;  // parameters drawn in the current sweep, up to the next deviate to draw
  int pos_ = 0, end_ = 0;
  int filled_[2] = {0, 0};
  float U_[CAP], Z_[CAP], P_[HALF], Zc_[HALF];
  int at_[HALF];
  uint8_t ready_[CAP], central_[HALF];
  textio::Console scratch_console_;
  numlib::Context scratch_{scratch_console_};
};

// The interval that rows 1..k-1 leave open for each parameter in turn during
// one sweep over the point.
//
// The limits of parameter i are the largest lower and the smallest upper
// bound among one lower and one upper slot per row (slot j for row
// m = k - j; rows k..NCON and rows that do not bound it give -BIG and +BIG),
// a value replacing the one held only when strictly greater or smaller, so
// that a NaN is never taken and of two equal values the earlier slot's
// stays. The slots are folded here as they are formed, in slot order,
// without being stored; -BIG and +BIG are folded last, which gives the same
// result because they take part once or many times alike.
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
//
// The mean is a chain of sums each of which takes the float the one before
// it stored; between two draws it is the longest wait of an unrestricted
// sweep. Its floats are held in double as they are formed (narrowed: the
// same values as storing them and reading them back), and the value just
// drawn is handed over in a register rather than read back from X.
template <class Isa>
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

  // The value of parameter `j` (1-based) just drawn, in double: read there
  // instead of X(j).
  void drawn(int64_t j, double x) {
    last_j_ = j - 1;
    last_x_ = x;
  }

  // The sum of the mean of parameter i runs over j = 1..NPAR in index order.
  // Its terms j < i-1 are known before X(i-1) is redrawn: look_ahead(i-1)
  // adds them up then, while the draw of parameter i-1 is still under way,
  // and prepare(i) goes on from there with the same additions.
  void look_ahead(int64_t i) {
    if (i >= n_) return;
    ahead_ = partial_sum(i + 1, 0, i - 1, 0.0);
    ahead_for_ = i + 1;
  }

  // i in 1..NPAR.
  void prepare(int64_t i) {
    // All j including i, then the diagonal term taken off explicitly,
    // because C(i,i) is only approximately 0.
    const float* c_i = c_ + (i - 1);  // C(i,j) = c_i[(j - 1) * ldc]
    const double sum = ahead_for_ == i ? partial_sum(i, i - 2, n_, ahead_)
                                       : partial_sum(i, 0, n_, 0.0);
    ahead_for_ = 0;
    const double cii = wide(c_i[(i - 1) * ldc_]);
    const double xi = x(i - 1);
    const double pmi = wide(pm_[i - 1]);
    mean_ = narrowed((pmi + sum) - cii * (xi - pmi));
    means_[i - 1] = rounded(mean_);
    const double pii = wide(invcov_[(i - 1) * (ldp_ + 1)]);  // INVCOV(i,i)
    sd_ = std::sqrt(rounded(1.0 / pii));
  }

  // The draw of the parameter prepared, in double.
  double draw(typename Deviates<Isa>::Draw d, float lolim, float uplim, bool restricted) {
    if (d.ready) {
      if (!restricted) return narrowed(wide(d.Z) * wide(sd_) + mean_);
      // Unbounded: both limits far out, where ANORDF is exactly 0 and 1.
      const float a = rounded((wide(lolim) - mean_) / wide(sd_));
      const float b = rounded((wide(uplim) - mean_) / wide(sd_));
      if (numlib::kernels::anordf_is_zero(a) && numlib::kernels::anordf_is_one(b)) [[likely]]
        return narrowed(wide(d.Z) * wide(sd_) + mean_);
    }
    const float a = rounded((wide(lolim) - mean_) / wide(sd_));
    const float b = rounded((wide(uplim) - mean_) / wide(sd_));
    const float Z = truncated_standard_quantile<Isa>(lib_, a, b, d.U);
    return narrowed(wide(Z) * wide(sd_) + mean_);
  }

 private:
  double x(int64_t j0) const { return j0 == last_j_ ? last_x_ : wide(x_[j0]); }

  // sum + the terms j = first+1 .. last of the mean of parameter i.
  double partial_sum(int64_t i, int64_t first, int64_t last, double sum) const {
    const float* c_i = c_ + (i - 1);
    for (int64_t j = first; j < last; ++j)
      sum = narrowed(sum + wide(c_i[j * ldc_]) * (x(j) - wide(pm_[j])));
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
  double mean_ = 0.0;     // a float, held in double
  float sd_ = 0.0f;
  double ahead_ = 0.0;    // the terms j < ahead_for_ - 1 of that parameter's mean (a float)
  int64_t ahead_for_ = 0; // the parameter they belong to, or 0
  int64_t last_j_ = -1;   // the parameter (0-based) drawn last, and its value
  double last_x_ = 0.0;
};

// The prior full conditional: mean 0 and standard deviation BIG for every
// parameter, so a missing bound (+-BIG) standardises to exactly +-1.
template <class Isa>
class PriorConditional {
 public:
  explicit PriorConditional(numlib::Context& lib) : lib_(lib) {}
  void drawn(int64_t, double) {}
  void look_ahead(int64_t) {}
  void prepare(int64_t) {}
  double draw(typename Deviates<Isa>::Draw d, float lolim, float uplim, bool) {
    if (d.ready) return wide(rounded(wide(d.Z) * wide(BIG)));
    const float a = rounded(wide(lolim) / wide(BIG));
    const float b = rounded(wide(uplim) / wide(BIG));
    const float Z = truncated_standard_quantile<Isa>(lib_, a, b, d.U);
    return wide(rounded(wide(Z) * wide(BIG)));
  }

 private:
  numlib::Context& lib_;
};

// One Gibbs sweep: parameters 1..NPAR in order, each redrawn from its full
// conditional at the current point, truncated to the interval rows 1..k-1
// leave open.
template <class Isa, class Conditional>
inline void sweep(const ProblemArrays& p, ChainArrays& c, int32_t k, Conditional& cond,
                  Deviates<Isa>& deviates) {
  const int64_t npar = p.NPAR;
  if (npar < 1) return;
  c.point.check_range(1, npar);
  float* point = c.point.data();
  if (k == 1) {
    for (int64_t i = 1; i <= npar; ++i) {
      cond.prepare(i);
      cond.look_ahead(i);
      const double x = cond.draw(deviates.next(), -BIG, BIG, false);
      point[i - 1] = rounded(x);
      cond.drawn(i, x);
    }
    return;
  }
  BoundRows rows(p, c, k);
  for (int64_t i = 1; i <= npar; ++i) {
    cond.prepare(i);
    float lolim, uplim;
    rows.limits(i, lolim, uplim);
    cond.look_ahead(i);  // work for parameter i+1 that does not wait for this draw
    const double x = cond.draw(deviates.next(), lolim, uplim, true);
    point[i - 1] = rounded(x);
    cond.drawn(i, x);
  }
}

// One chain of NBURN + niter sweeps from INITIAL; returns the hits among the
// counted sweeps.
template <class Isa, class Conditional>
inline int32_t chain(numlib::Context& lib, const ProblemArrays& p, const Array1<float>& INITIAL,
                     ChainArrays& c, int32_t k, Sampler kind, int32_t niter, Conditional& cond,
                     const ChainPoll& poll) {
  const int64_t npar = p.NPAR;
  const int64_t n1 = npar + 1;
  for (int64_t j = 1; j <= n1; ++j) c.point(j) = INITIAL(j);

  const int32_t total = NBURN + niter;
  Deviates<Isa> deviates(lib, p, k, kind, chain_uniforms(p.NPAR, niter));
  int64_t next_poll = poll.every > 0 ? poll.every : std::numeric_limits<int64_t>::max();
  int32_t nhit = 0;
  for (int32_t it = 1; it <= total; ++it) {
    sweep(p, c, k, cond, deviates);
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

// The fit sampler's chain for constraint 1, where every draw is
// unrestricted, for up to SMALL_NPAR parameters: the same sums as
// PosteriorConditional and row_slack, in the same order, on copies in
// double of the values they read, kept in local arrays.
//
// Why a copy of PosteriorConditional's arithmetic: this chain is the whole
// of a run like bench/inputs/free, and what bounds it is the chain of
// partial sums; with the values in local double arrays, no subscript
// checks, no BoundRows and the deviates taken from a feed, a draw takes
// about half the time of the general chain's. The test
// SweepMatchesReference.UnrestrictedFitChainLeavesWhatTheGeneralChainLeaves
// (tests/driver/sweep_test.cpp) ties it to the general chain bit for bit.
//
// The one wait of a sweep is the chain of the conditional means' partial
// sums, each rounded to float; the standard normal deviates do not wait for
// it. Where another thread makes them ahead (NormalFeed), the chain takes
// them from its blocks and holds the partial sums in double as it forms
// them (narrowed: no conversions there and back on the way). Where it makes
// them itself, it makes one per draw in the loop, few instructions, which
// the processor runs while the chain waits; the conversions there and back
// take fewer instructions than narrowed, and leave it room to. Both give the
// same bits.
inline constexpr int64_t SMALL_NPAR = 16;

// The deviates of an unrestricted chain offered to a helper, when the poll
// takes offers and the chain is long enough for a helper to be worth it;
// withdrawn, and the helpers gone, however the chain ends.
class OfferedFeed {
 public:
  OfferedFeed(const ChainPoll& poll, int32_t start, float scale, int64_t draws,
              void (*rgninv)(const float*, float*, int))
      : poll_(poll) {
    if (poll.offer == nullptr || draws <= 2 * NormalFeed::BLOCK) return;
    feed_.emplace(start, scale, draws, rgninv);
    poll.offer(poll.context, &*feed_);
  }
  ~OfferedFeed() {
    if (!feed_) return;
    poll_.offer(poll_.context, nullptr);
    feed_->close();
  }
  OfferedFeed(const OfferedFeed&) = delete;
  OfferedFeed& operator=(const OfferedFeed&) = delete;

  // The feed, or nullptr when none was offered.
  NormalFeed* get() { return feed_ ? &*feed_ : nullptr; }

 private:
  const ChainPoll& poll_;
  std::optional<NormalFeed> feed_;
};

template <class Isa>
inline int32_t unrestricted_fit_chain(numlib::Context& lib, const ProblemArrays& p,
                                      const Approximations& a, const Array1<float>& INITIAL,
                                      ChainArrays& c, int32_t niter, const ChainPoll& poll) {
  constexpr int32_t k = 1;
  const int64_t n = p.NPAR;
  const int64_t n1 = n + 1;
  double C[SMALL_NPAR * SMALL_NPAR], pm[SMALL_NPAR], sd[SMALL_NPAR], x[SMALL_NPAR + 1], r[SMALL_NPAR + 1];
  for (int64_t i = 1; i <= n; ++i) {
    for (int64_t j = 1; j <= n; ++j) C[(i - 1) * n + (j - 1)] = wide(a.C(i, j));
    pm[i - 1] = wide(p.PARMEANS(i));
    sd[i - 1] = wide(std::sqrt(rounded(1.0 / wide(a.INVCOV(i, i)))));
  }
  for (int64_t j = 1; j <= n1; ++j) {
    c.point(j) = INITIAL(j);
    x[j - 1] = wide(INITIAL(j));
    r[j - 1] = wide(p.R(k, j));
  }
  c.point.check_range(1, n);
  c.MEANS.check_range(1, n);
  float* point = c.point.data();
  float* means = c.MEANS.data();

  // The draws as RGUNIF would make them: for a seeded generator its first
  // call only sets the first-call flag.
  numlib::GeneratorRecord& g = lib.generator;
  const int64_t draws = chain_uniforms(p.NPAR, niter);
  const int32_t start = g.state;

  OfferedFeed offered(poll, start, g.scale, draws, &Isa::rgninv);
  NormalFeed* const feed = offered.get();

  int64_t next_poll = poll.every > 0 ? poll.every : std::numeric_limits<int64_t>::max();
  int32_t nhit = 0;
  int32_t it = 1;
  int64_t i = 0;
  auto draw = [&](double Z, auto round) {
    const double* C_i = C + i * n;
    double sum = 0.0;
    for (int64_t j = 0; j < n; ++j) sum = round(sum + C_i[j] * (x[j] - pm[j]));
    // All j including i, then the diagonal term taken off explicitly,
    // because C(i,i) is only approximately 0.
    const double mean = round((pm[i] + sum) - C_i[i] * (x[i] - pm[i]));
    means[i] = rounded(mean);
    x[i] = round(Z * sd[i] + mean);
    point[i] = rounded(x[i]);
    if (++i < n) return;
    i = 0;
    double S = 0.0;
    for (int64_t j = 0; j < n1; ++j) S = round(S + r[j] * x[j]);
    if (rounded(S) > 0.0f && it > NBURN) ++nhit;
    if (it == next_poll) [[unlikely]] {
      poll.call(poll.context, it, nhit);
      next_poll += poll.every;
    }
    ++it;
  };
  auto converted = [](double v) { return wide(rounded(v)); };
  auto held = [](double v) { return narrowed(v); };
  for (int64_t b = 0, first = 0; first < draws; ++b, first += NormalFeed::BLOCK) {
    const int m = static_cast<int>(std::min<int64_t>(NormalFeed::BLOCK, draws - first));
    const float* z = feed != nullptr ? feed->take(b) : nullptr;
    if (z != nullptr) {
      for (int d = 0; d < m; ++d) draw(wide(z[d]), held);
    } else {
      numlib::GeneratorRecord own;
      own.state = numlib::rg_advance(start, first);
      own.scale = g.scale;
      for (int d = 0; d < m; ++d) draw(wide(numlib::kernels::rgninv(numlib::detail::rg_step(own))), converted);
    }
    if (feed != nullptr) feed->done_with(b);
  }
  g.state = numlib::rg_advance(start, draws);
  if (draws > 0) g.rgunif_called = true;
  return nhit;
}

template <class Isa>
inline int32_t run_chain(const RunState& s, Sampler kind, int32_t k, int32_t niter,
                         ChainArrays& c, numlib::Context& lib, const ChainPoll& poll) {
  if (kind == Sampler::fit && k == 1 && s.problem.NPAR >= 1 && s.problem.NPAR <= SMALL_NPAR &&
      lib.generator.initialised && lib.generator.seed_given)
    return unrestricted_fit_chain<Isa>(lib, s.problem, s.approx, s.start.INITIAL, c, niter, poll);
  if (kind == Sampler::fit) {
    PosteriorConditional<Isa> cond(lib, s.problem, s.approx, c);
    return chain<Isa>(lib, s.problem, s.start.INITIAL, c, k, kind, niter, cond, poll);
  }
  PriorConditional<Isa> cond(lib);
  return chain<Isa>(lib, s.problem, s.start.INITIAL, c, k, kind, niter, cond, poll);
}

}  // namespace driver::chains
