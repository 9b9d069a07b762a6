// The library's one pseudo-random stream and the deviates drawn from it.
//
// A multiplicative congruential generator, modulus 2^31 - 1, multiplier
// 16807, without shuffling. Uniform deviates are state * scale rounded to
// float; normal deviates are the closed-form inverse normal of one uniform.
// Beta deviates (RNBET) take their uniforms from the same stream.
//
// The generator record belongs to the run's context (numlib/context.h);
// every routine here takes the context.
//
// RGUNIF and the draw entries are the samplers' inner loop: they are inline,
// allocate nothing and check their first-call flag with one branch.
#pragma once

#include <cstdint>

#include "numlib/context.h"
#include "numlib/precision.h"

namespace numlib {

inline constexpr int64_t RG_MULTIPLIER = 16807;
inline constexpr int64_t RG_MODULUS = 2147483647;

// First-time set-up (once), then ictl = -1 marks the seed as given and
// ictl = 0 clock-seeds a generator that has no seed yet.
void RGINIT(Context& ctx, int32_t ictl);
// 0 < iseed < 2^31-1 fixes the state; 0 takes a clock seed without marking
// the seed as given; anything else clock-seeds only an unseeded generator.
void RGSEED(Context& ctx, int32_t iseed);
// A seed from the local time of day: 10000 h + 100 m + s + 1, or 123457
// when that is 1 or less.
int32_t RGCLOCK();

namespace detail {
// First call of RGUNIF: RGINIT(0), then marks the flag.
void rgunif_first_call(Context& ctx);

// One step of the generator: the new state and its deviate. The product is
// exact in 64-bit integers and reduced exactly without a division (2^31 is 1
// modulo 2^31 - 1, and the state is never a multiple of the modulus); the
// deviate is y * v rounded once to float, so it is never 0 and never 1.
inline float rg_step(GeneratorRecord& g) {
  const int64_t prod = RG_MULTIPLIER * g.state;  // below 2^46
  int64_t r = (prod & RG_MODULUS) + (prod >> 31);
  if (r >= RG_MODULUS) r -= RG_MODULUS;
  const int32_t y = static_cast<int32_t>(r);
  g.state = y;
  return rounded(static_cast<double>(y) * wide(g.scale));  // the state converted exactly
}
}  // namespace detail

// The state `steps` steps after `state`: state * 16807^steps modulo
// 2^31 - 1, in O(log steps) multiplications. A run that starts a chain ahead
// of time gives it the stream where the chains before it will have left it.
int32_t rg_advance(int32_t state, int64_t steps);

// One uniform deviate in (0, 1); advances the state by one step.
inline float RGUNIF(Context& ctx) {
  GeneratorRecord& g = ctx.generator;
  if (!g.rgunif_called) [[unlikely]]
    detail::rgunif_first_call(ctx);
  return detail::rg_step(g);
}

// The standard normal quantile of u in (0, 1), by a rational approximation
// of the inverse error function of |2u - 1|.
float RGNINV(float u);

// One standard normal deviate; advances the state by exactly one step.
inline float RGNORM(Context& ctx) { return RGNINV(RGUNIF(ctx)); }

// Fills r[0 .. nr-1] with nr uniform deviates, the same values nr calls of
// RGUNIF would return; nr < 1 is a terminal error and draws nothing.
void RNUN(Context& ctx, int32_t nr, float* r);

// Entries the samplers call: each draw is preceded by its tag call, whose
// value is handed to the draw and ignored there.
inline void UNIFORM_TAG(int32_t& t) { t = 1; }
inline void UNIFORM_DRAW(Context& ctx, float& r, int32_t /*t*/) { r = RGUNIF(ctx); }
inline void NORMAL_TAG(int32_t& t) { t = 1; }
inline void NORMAL_DRAW(Context& ctx, float& r, int32_t /*t*/) { r = RGNORM(ctx); }

// Beta(pin, qin) deviates into r[0 .. nr-1], each in [LO, HI] as bounded
// below. Argument errors and the 1000-attempt failure are terminal errors.
void RNBET(Context& ctx, int32_t nr, float pin, float qin, float* r);

// The entry the driver calls: r is a contiguous array of `size` elements;
// nr < 0 means the count is absent and all `size` elements are filled. An
// explicit nr above `size` is refused (terminal error) rather than written
// past the end of r.
void RNBET_ARRAY(Context& ctx, float pin, float qin, float* r, int32_t size, int32_t nr = -1);

}  // namespace numlib
