// Pieces of the samplers that are worth naming on their own.
#pragma once

#include <cstdint>

#include "driver/run.h"

namespace driver {

// The iteration ladder: the number of counted iterations of the next chain
// after a chain of `niter` iterations whose estimate is `estimate`, or 0
// when the ladder stops there.
int32_t next_niter(int32_t niter, float estimate);

// One draw from the normal distribution with mean mu and standard deviation
// sigma truncated to [lolim, uplim], by inversion of one uniform deviate.
float TRUNCNORM(numlib::Context& lib, float mu, float sigma, float lolim, float uplim);

// One Gibbs sweep of the fit sampler (on X) or of the complexity sampler (on
// Y) for constraint k: parameters 1..NPAR in order, each redrawn from its
// full conditional truncated to the interval rows 1..k-1 leave open. The
// samplers run NBURN + NITER of these per chain.
void fit_sweep(RunState& s, int32_t k);
void complexity_sweep(RunState& s, int32_t k);

}  // namespace driver
