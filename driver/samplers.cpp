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
// The chains themselves are in chains.h, compiled here once for each
// instruction set the program supports; one the processor has is picked
// when the first chain runs. The results are the same to the bit whichever
// runs (the environment variable INEQBF_ISA=portable, avx2 or avx512 forces
// one, for the tests that check this).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include "driver/chains.h"
#include "driver/ladder.h"
#include "driver/run.h"
#include "driver/samplers.h"
#include "numlib/lanes.h"
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

// The pieces of a chain that differ by instruction set, each compiled for
// it with everything it calls compiled into it (flatten): ANORDF_PAIR and
// ANORIN (whose Clenshaw steps use fused multiply-adds where the processor
// has them) and the lanes (as wide as its vectors). The chains themselves
// are compiled for every processor and call these.
#define INEQBF_ISA(Name, fma, width, attributes)                                                \
  struct Name {                                                                                 \
    attributes static void anordf_pair(numlib::Context& lib, float a, float b, float& pa,       \
                                       float& pb) {                                             \
      numlib::kernels::anordf_pair<fma>(lib, a, b, pa, pb);                                     \
    }                                                                                           \
    attributes static float anorin(numlib::Context& lib, float p) {                             \
      return numlib::kernels::anorin<fma>(lib, p);                                              \
    }                                                                                           \
    attributes static void rgninv(const float* u, float* z, int n) {                            \
      numlib::lanes::rgninv<width>(u, z, n);                                                    \
    }                                                                                           \
    attributes static void anorin_central(const float* p, float* z, uint8_t* central, int n) {  \
      numlib::lanes::anorin_central<width>(p, z, central, n);                                   \
    }                                                                                           \
  };

INEQBF_ISA(Portable, false, 2, __attribute__((flatten)))
#if defined(__x86_64__)
#define INEQBF_CHAINS_X86 1
INEQBF_ISA(Avx2, true, 4, __attribute__((flatten, target("avx2,fma"))))
INEQBF_ISA(Avx512, true, 8,
           __attribute__((flatten, target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma"))))
#endif
#undef INEQBF_ISA

#define INEQBF_CHAIN_ENTRIES(suffix, Isa)                                                        \
  int32_t run_chain_##suffix(const RunState& s, SamplerKind kind, int32_t k, int32_t niter,     \
                             ChainArrays& c, numlib::Context& lib, const ChainPoll& poll) {     \
    return chains::run_chain<Isa>(s, kind, k, niter, c, lib, poll);                             \
  }                                                                                             \
  void one_sweep_##suffix(RunState& s, SamplerKind kind, int32_t k) {                           \
    chains::one_sweep<Isa>(s, kind, k);                                                         \
  }

INEQBF_CHAIN_ENTRIES(portable, Portable)
#ifdef INEQBF_CHAINS_X86
INEQBF_CHAIN_ENTRIES(avx2, Avx2)
INEQBF_CHAIN_ENTRIES(avx512, Avx512)
#endif
#undef INEQBF_CHAIN_ENTRIES

struct ChainEntries {
  ChainRunner run;
  void (*sweep)(RunState& s, SamplerKind kind, int32_t k);
};

// The chains for this processor, or those INEQBF_ISA names (when this
// processor has what they need). AVX-512 only when named: on the machine
// the program was measured on its chains were no faster than AVX2's (the
// deviates made ahead come in blocks too small for its vectors) and its
// complexity chains slower.
#ifdef INEQBF_CHAINS_X86
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

ChainEntries pick_chains() {
  const ChainEntries portable = {&run_chain_portable, &one_sweep_portable};
#ifdef INEQBF_CHAINS_X86
  const X86Features cpu = x86_features();
  const bool avx2 = cpu.avx2;
  const bool avx512 = cpu.avx512;
  const ChainEntries with_avx2 = {&run_chain_avx2, &one_sweep_avx2};
  const ChainEntries with_avx512 = {&run_chain_avx512, &one_sweep_avx512};
  const char* forced = std::getenv("INEQBF_ISA");
  if (forced != nullptr) {
    if (std::strcmp(forced, "portable") == 0) return portable;
    if (std::strcmp(forced, "avx2") == 0 && avx2) return with_avx2;
    if (std::strcmp(forced, "avx512") == 0 && avx512) return with_avx512;
  }
  if (avx2) return with_avx2;
#endif
  return portable;
}

const ChainEntries& chain_entries() {
  static const ChainEntries entries = pick_chains();
  return entries;
}

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

void run_sampler(RunState& s, int32_t k, SamplerKind kind, ChainArrays& c, Estimates& e,
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

float TRUNCNORM(numlib::Context& lib, float mu, float sigma, float lolim, float uplim) {
  const float a = rounded((wide(lolim) - wide(mu)) / wide(sigma));
  const float b = rounded((wide(uplim) - wide(mu)) / wide(sigma));
  int32_t tag;
  numlib::UNIFORM_TAG(tag);
  float U;
  numlib::UNIFORM_DRAW(lib, U, tag);
  const float Z = chains::truncated_standard_quantile<Portable>(lib, a, b, U);
  return rounded(wide(Z) * wide(sigma) + wide(mu));
}

int32_t run_chain(const RunState& s, SamplerKind kind, int32_t k, int32_t niter, ChainArrays& c,
                  numlib::Context& lib, const ChainPoll& poll) {
  return chain_entries().run(s, kind, k, niter, c, lib, poll);
}

bool hooks_wanted(const RunState& s) { return s.hooks.progress || s.hooks.cancel; }

void poll_hooks(RunState& s, int32_t k, SamplerKind kind, int32_t niter, int64_t done) {
  if (s.hooks.cancel && s.hooks.cancel())
    textio::end_run(EXIT_CANCELLED, "ineqbf: the analysis was cancelled");
  if (s.hooks.progress) s.hooks.progress(k, kind, niter, done, int64_t{NBURN} + niter);
}

void fit_sampler(RunState& s, int32_t k) {
  run_sampler(s, k, SamplerKind::fit, s.fit_chain, s.fit, FIT_TEXT);
}

void complexity_sampler(RunState& s, int32_t k) {
  run_sampler(s, k, SamplerKind::complexity, s.complexity_chain, s.complexity, COMPLEXITY_TEXT);
}

void fit_sweep(RunState& s, int32_t k) { chain_entries().sweep(s, SamplerKind::fit, k); }

void complexity_sweep(RunState& s, int32_t k) {
  chain_entries().sweep(s, SamplerKind::complexity, k);
}

}  // namespace driver
