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
//
// The chains themselves are in chains.h, instantiated here once for each
// instruction set the program supports (driver/isa.h says what of them is
// compiled for it); one the processor has is picked when the first chain
// runs. The results are the same to the bit whichever runs (the environment
// variable INEQBF_ISA=portable, avx2 or avx512 forces one, for the tests
// that check this).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include "driver/chains.h"
#include "driver/isa.h"
#include "driver/ladder.h"
#include "driver/run.h"
#include "driver/samplers.h"
#include "numlib/normal.h"
#include "numlib/normal_kernels.h"
#include "numlib/random.h"
#include "textio/textio.h"

namespace driver {

namespace {

constexpr int32_t FIRST_NITER = 1000;

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

// ---- the chains, once per instruction set ------------------------------------------

#ifdef __x86_64__
// What the processor and the system offer, from the three leaves of CPUID
// that say it (each CPUID can cost a trip out of a virtual machine, so the
// compiler's own detection, which reads many more, is not used: a short run
// would spend a noticeable part of its time on it).
struct X86Features {
  bool avx2 = false;    // AVX2 and FMA, with the YMM registers saved by the system
  bool avx512 = false;  // AVX-512 F, DQ, VL and BW, with the ZMM registers saved
};

X86Features x86_features() {
  X86Features f;
  unsigned a, b, c, d;
  if (__get_cpuid(0, &a, &b, &c, &d) == 0 || a < 7) return f;
  __get_cpuid(1, &a, &b, &c, &d);
  const bool fma = (c & (1u << 12)) != 0;
  const bool osxsave = (c & (1u << 27)) != 0;
  const bool avx = (c & (1u << 28)) != 0;
  if (!(fma && osxsave && avx)) return f;
  unsigned xcr0_low, xcr0_high;
  __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  if ((xcr0_low & 0x6u) != 0x6u) return f;  // XMM and YMM state
  __get_cpuid_count(7, 0, &a, &b, &c, &d);
  f.avx2 = (b & (1u << 5)) != 0;
  const unsigned avx512_bits = (1u << 16) | (1u << 17) | (1u << 30) | (1u << 31);  // F, DQ, BW, VL
  f.avx512 = f.avx2 && (b & avx512_bits) == avx512_bits && (xcr0_low & 0xE6u) == 0xE6u;
  return f;
}
#endif

// AVX-512 only when named: on the machine the program was measured on its
// chains were no faster than AVX2's (the deviates made ahead come in blocks
// too small for its vectors) and its complexity chains slower.
isa::InstructionSet pick_isa() {
#ifdef __x86_64__
  const X86Features cpu = x86_features();
  const char* forced = std::getenv("INEQBF_ISA");
  if (forced != nullptr) {
    if (std::strcmp(forced, "portable") == 0) return isa::InstructionSet::portable;
    if (std::strcmp(forced, "avx2") == 0 && cpu.avx2) return isa::InstructionSet::avx2;
    if (std::strcmp(forced, "avx512") == 0 && cpu.avx512) return isa::InstructionSet::avx512;
  }
  if (cpu.avx2) return isa::InstructionSet::avx2;
#endif
  return isa::InstructionSet::portable;
}

// The chains, one entry per instruction set, in the order of
// isa::InstructionSet; a processor other than x86-64 has the portable ones
// only, which chain_isa() always picks there.
#ifdef __x86_64__
constexpr ChainRunner CHAINS[] = {&chains::run_chain<isa::Portable>, &chains::run_chain<isa::Avx2>,
                                  &chains::run_chain<isa::Avx512>};
#else
constexpr ChainRunner CHAINS[] = {&chains::run_chain<isa::Portable>};
#endif

// ---- the samplers --------------------------------------------------------------------

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

void run_sampler(RunState& s, int32_t k, Sampler kind, ChainArrays& c, Estimates& e,
                 const char* closing_text) {
  const LadderEnd end = climb_ladder(s, kind, k, c, e);
  finish_sampler(s, k, e, end.niter, end.nhit, closing_text);
}

constexpr const char* FIT_TEXT = " for    fit     has been evaluated";
constexpr const char* COMPLEXITY_TEXT = " for complexity has been evaluated";

}  // namespace

int32_t next_niter(int32_t niter, float estimate) {
  for (const Rung& r : LADDER)
    if (r.niter == niter) return estimate < r.threshold ? r.next : 0;
  return 0;
}

int32_t stopping_hits(int32_t niter) {
  // The estimate nhit / niter (single precision) grows with nhit, so the
  // ladder stops from some hit count on: the first at which next_niter
  // gives 0.
  if (next_niter(niter, 0.0f) == 0) return 0;
  int32_t lo = 0, hi = niter + 1;  // the ladder climbs at lo hits; hi is at or past the answer
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

int32_t run_chain(const RunState& s, Sampler kind, int32_t k, int32_t niter, ChainArrays& c,
                  numlib::Context& lib, const ChainPoll& poll) {
  return CHAINS[static_cast<int>(isa::chain_isa())](s, kind, k, niter, c, lib, poll);
}

bool hooks_wanted(const RunState& s) { return s.hooks.progress || s.hooks.cancel; }

void poll_hooks(RunState& s, int32_t k, Sampler kind, int32_t niter, int64_t done) {
  if (s.hooks.cancel && s.hooks.cancel())
    textio::end_run(Status::cancelled, "ineqbf: the analysis was cancelled");
  if (!s.hooks.progress) return;
  Progress p;
  p.constraint = k;
  p.sampler = kind;
  p.iterations = niter;
  p.sweeps_done = done;
  p.sweeps_total = int64_t{NBURN} + niter;
  s.hooks.progress(p);
}

void fit_sampler(RunState& s, int32_t k) {
  run_sampler(s, k, Sampler::fit, s.fit_chain, s.fit, FIT_TEXT);
}

void complexity_sampler(RunState& s, int32_t k) {
  run_sampler(s, k, Sampler::complexity, s.complexity_chain, s.complexity, COMPLEXITY_TEXT);
}

namespace isa {

InstructionSet chain_isa() {
  static const InstructionSet picked = pick_isa();
  return picked;
}

}  // namespace isa

}  // namespace driver
