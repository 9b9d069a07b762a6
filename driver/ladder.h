// The iteration ladder with its chains run ahead of time on threads of
// their own.
//
// Every chain of the ladder starts from INITIAL at a known place of the one
// random stream: the chains before it draw exactly chain_uniforms() deviates
// each, and the Beta replicates come only after the last chain. So while
// one chain runs, the next can already run on another thread, from the
// stream advanced past the chains before it, on a library context, console
// and chain arrays of its own. It is kept only if the ladder gets there and
// it started from exactly the state that the chains before it left
// (numlib::started_alike); then what it printed is printed, its library
// state and its arrays are taken over, and a stop inside it ends the run
// there, all in the order of the run one chain after another. A chain that
// is not kept leaves no trace. The results are those of the chains run one
// after another, to the bit.
#pragma once

#include <cstdint>

#include "driver/run.h"
#include "driver/samplers.h"

namespace driver {

// The counted iterations and the hits of the chain a ladder ended with.
struct LadderEnd {
  int32_t niter = 0;
  int32_t nhit = 0;
};

// How a ladder runs one chain: run_chain, or what a test puts in its place.
using ChainRunner = int32_t (*)(const RunState& s, Sampler kind, int32_t k, int32_t niter,
                                ChainArrays& c, numlib::Context& lib, const ChainPoll& poll);

// The ladder of sampler `kind` for constraint k: its chains one after
// another, each on the run's context with the run's hooks asked now and then
// and at its end, or ahead of time on the run's threads when it has more
// than one (and can have them). The estimate of every chain is written to
// e.estimate(k), the chain arrays of the last one are left in c.
LadderEnd climb_ladder(RunState& s, Sampler kind, int32_t k, ChainArrays& c, Estimates& e,
                       ChainRunner chain = &run_chain);

// The threads of a run and the places their chains work in; created when the
// first ladder needs them, stopped when the run ends.
class LadderWorkers;

}  // namespace driver
