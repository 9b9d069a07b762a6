// Entry points into the chains for the tests and the microbenchmarks, which
// the program has no use for: one sweep of either sampler on the run's own
// chain arrays and context, with the chains of the instruction set the
// program picks (INEQBF_ISA), and one truncated draw.
#pragma once

#include <cstdint>

#include "driver/chains.h"
#include "driver/isa.h"

namespace driver_test {

template <class Isa>
void one_sweep_with(driver::RunState& s, driver::Sampler kind, int32_t k) {
  using namespace driver::chains;
  Deviates<Isa> deviates(s.lib, s.problem, k, kind, s.problem.NPAR > 0 ? s.problem.NPAR : 0);
  if (kind == driver::Sampler::fit) {
    PosteriorConditional<Isa> cond(s.lib, s.problem, s.approx, s.fit_chain);
    sweep(s.problem, s.fit_chain, k, cond, deviates);
  } else {
    PriorConditional<Isa> cond(s.lib);
    sweep(s.problem, s.complexity_chain, k, cond, deviates);
  }
}

// f(Isa{}) with the instruction set's struct of the chains the program picks.
template <class F>
decltype(auto) with_picked_isa(F&& f) {
  switch (driver::isa::chain_isa()) {
#ifdef __x86_64__
    case driver::isa::InstructionSet::avx2: return f(driver::isa::Avx2{});
    case driver::isa::InstructionSet::avx512: return f(driver::isa::Avx512{});
#endif
    default: return f(driver::isa::Portable{});
  }
}

// One Gibbs sweep of the fit sampler (on the fit chain's point) or of the
// complexity sampler for constraint k: parameters 1..NPAR in order, each
// redrawn from its full conditional truncated to the interval rows 1..k-1
// leave open.
inline void one_sweep(driver::RunState& s, driver::Sampler kind, int32_t k) {
  with_picked_isa([&](auto isa) { one_sweep_with<decltype(isa)>(s, kind, k); });
}
inline void fit_sweep(driver::RunState& s, int32_t k) { one_sweep(s, driver::Sampler::fit, k); }
inline void complexity_sweep(driver::RunState& s, int32_t k) {
  one_sweep(s, driver::Sampler::complexity, k);
}

// One draw from the normal distribution with mean mu and standard deviation
// sigma truncated to [lolim, uplim], by inversion of one uniform deviate, as
// a chain's draw makes it.
inline float truncnorm(numlib::Context& lib, float mu, float sigma, float lolim, float uplim) {
  using numlib::rounded;
  using numlib::wide;
  const float a = rounded((wide(lolim) - wide(mu)) / wide(sigma));
  const float b = rounded((wide(uplim) - wide(mu)) / wide(sigma));
  int32_t tag;
  numlib::UNIFORM_TAG(tag);
  float U;
  numlib::UNIFORM_DRAW(lib, U, tag);
  const float Z = driver::chains::truncated_standard_quantile<driver::isa::Portable>(lib, a, b, U);
  return rounded(wide(Z) * wide(sigma) + wide(mu));
}

}  // namespace driver_test
