// The generator record, its seeding, uniform deviates in bulk and the
// inverse normal that turns one uniform deviate into a normal one.
//
// Rounding: every named quantity is a float; each assignment evaluates its
// right-hand side in double and rounds once when it is stored.

#include "numlib/random.h"

#include <cmath>
#include <ctime>

#include "numlib/errors.h"
#include "numlib/random_kernels.h"
#include "numlib/precision.h"

namespace numlib {

namespace {

constexpr char kRNUN[] = "RNUN  ";

// First-time set-up of the record: the modulus and the scale v, the largest
// float with v * 2^31 < 1, found by shrinking 2^-31 by (1 - AMACH(3)).
void rginit_first_time(Context& ctx, GeneratorRecord& g) {
  g.modulus = 2147483647.0;
  const double two31 = 2147483648.0;
  const double shrink = 1.0 - wide(AMACH(ctx, 3));
  float v = 1.0f / 2147483648.0f;  // 2^-31, bit pattern 0x30000000
  double p;
  do {
    p = shrink * wide(v);  // the test below is on this unrounded p
    v = rounded(p);
  } while (!(p * two31 < 1.0));
  g.scale = v;
  g.initialised = true;
}

}  // namespace

void RGINIT(Context& ctx, int32_t ictl) {
  GeneratorRecord& g = ctx.generator;
  if (!g.initialised) rginit_first_time(ctx, g);
  if (ictl == -1) {
    g.seed_given = true;
  } else if (ictl == 0 && !g.seed_given) {
    g.state = RGCLOCK();
    g.seed_given = true;
  }
}

void RGSEED(Context& ctx, int32_t iseed) {
  if (iseed > 0 && iseed < 2147483647) {
    RGINIT(ctx, -1);
    ctx.generator.state = iseed;
  } else if (iseed == 0) {
    // Clock seed without marking the seed as given: the first draw of an
    // unseeded generator replaces it by a fresh clock seed.
    ctx.generator.state = RGCLOCK();
  } else {
    RGINIT(ctx, 0);
  }
}

int32_t RGCLOCK() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  int32_t h = 0, m = 0, s = 0;
  if (localtime_r(&now, &local) != nullptr) {
    h = local.tm_hour;
    m = local.tm_min;
    s = local.tm_sec;
  }
  const int32_t k = 10000 * h + 100 * m + s + 1;
  return k > 1 ? k : 123457;
}

int32_t rg_advance(int32_t state, int64_t steps) {
  if (steps <= 0) return state;
  // Products of two residues stay below 2^62: exact in 64 bits.
  uint64_t result = static_cast<uint64_t>(state);
  uint64_t power = RG_MULTIPLIER;
  for (uint64_t n = static_cast<uint64_t>(steps); n > 0; n >>= 1) {
    if (n & 1) result = result * power % RG_MODULUS;
    power = power * power % RG_MODULUS;
  }
  return static_cast<int32_t>(result);
}

namespace detail {
void rgunif_first_call(Context& ctx) {
  RGINIT(ctx, 0);
  ctx.generator.rgunif_called = true;
}
}  // namespace detail

void RNUN(Context& ctx, int32_t nr, float* r) {
  if (nr < 1) {
    E1PSH(ctx, kRNUN);
    int32_t code = 1;
    I1ACHK(ctx, nr, "NR", 1, 0, code);
    E1POP(ctx, kRNUN);
    return;
  }
  GeneratorRecord& g = ctx.generator;
  if (!g.rnun_called) [[unlikely]] {
    RGINIT(ctx, 0);
    g.rnun_called = true;
  }
  for (int32_t i = 0; i < nr; ++i) r[i] = detail::rg_step(g);
}

float RGNINV(float u) { return kernels::rgninv(u); }

}  // namespace numlib
