// Pieces of the samplers that are worth naming on their own.
#pragma once

#include <cstdint>

#include "driver/run.h"

namespace driver {

// Burn-in sweeps of every chain.
inline constexpr int32_t NBURN = 100;

// The counted iterations of the chains of the iteration ladder, in order: a
// sampler runs the first chain, and each next one while the estimate stays
// below the threshold of the chain before it.
inline constexpr int32_t LADDER_NITER[] = {1000, 3000, 9600, 120000, 360000, 2520000, 10000000};
inline constexpr int LADDER_RUNGS = 7;

// The iteration ladder: the number of counted iterations of the next chain
// after a chain of `niter` iterations whose estimate is `estimate`, or 0
// when the ladder stops there.
int32_t next_niter(int32_t niter, float estimate);

// The fewest hits of a chain of `niter` counted iterations with which the
// ladder stops there: 0 for the last chain, which ends it whatever its
// hits, and niter + 1 where no hit count would stop it.
int32_t stopping_hits(int32_t niter);

// The uniform deviates a chain of `niter` counted iterations draws: one per
// parameter and sweep, whichever the sampler and the constraint.
int64_t chain_uniforms(int32_t npar, int32_t niter);

// Where a chain reports how far it is: `call` is called every `every`
// sweeps (never when every is 0) with the sweeps done and the hits so far;
// it may end the chain by throwing.
class NormalFeed;

struct ChainPoll {
  int64_t every = 0;
  void (*call)(void* context, int64_t sweeps, int32_t hits) = nullptr;
  void* context = nullptr;
  // A chain whose standard normal deviates do not depend on its state offers
  // them through a NormalFeed (normal_feed.h) here when it starts, and
  // withdraws the offer (nullptr) before it ends: another thread may then
  // make them ahead of it. Not set: no one helps.
  void (*offer)(void* context, NormalFeed* feed) = nullptr;
};

// A chain draws a poll's worth of deviates between two calls of the hooks.
inline constexpr int64_t POLL_DRAWS = 65536;

// One chain of sampler `kind` for constraint k: NBURN + niter sweeps from
// INITIAL on the arrays c, drawing from lib; returns the hits among the
// counted sweeps. It reads the problem, the approximations and INITIAL of
// s and writes only c and lib.
int32_t run_chain(const RunState& s, Sampler kind, int32_t k, int32_t niter, ChainArrays& c,
                  numlib::Context& lib, const ChainPoll& poll);

// Whether the run has hooks, and one call of them: cancel() first (ending the
// run when it says so), then progress().
bool hooks_wanted(const RunState& s);
void poll_hooks(RunState& s, int32_t k, Sampler kind, int32_t niter, int64_t done);

}  // namespace driver
