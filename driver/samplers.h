// Pieces of the samplers that are worth naming on their own.
#pragma once

#include <cstdint>

namespace driver {

// The iteration ladder: the number of counted iterations of the next chain
// after a chain of `niter` iterations whose estimate is `estimate`, or 0
// when the ladder stops there.
int32_t next_niter(int32_t niter, float estimate);

// One draw from the normal distribution with mean mu and standard deviation
// sigma truncated to [lolim, uplim], by inversion of one uniform deviate.
float TRUNCNORM(float mu, float sigma, float lolim, float uplim);

}  // namespace driver
