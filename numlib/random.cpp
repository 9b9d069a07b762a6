// The generator record, its seeding, uniform deviates in bulk and the
// inverse normal that turns one uniform deviate into a normal one.
//
// Rounding: every named quantity is a float; each assignment evaluates its
// right-hand side in double and rounds once when it is stored.

#include "numlib/random.h"

#include <cmath>
#include <ctime>

#include "numlib/errors.h"
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

namespace {

// Largest relative spacing, AMACH(4).
float rgninv_eps() { return amach_constant(4); }

// Tail formula for one coefficient set in the variable z: numerator and
// denominator are stored, then x := s + s*(g + N/D).
struct TailSet {
  float a, b, c, d, e, f, g;
};

constexpr TailSet kSetA = {0.0507397503f, -0.236820102f, -7.58610296f, -0.131477401f,
                           21.9854603f,   -44.2797699f,  -0.114666604f};
constexpr TailSet kSetB = {0.0620896295f, -0.316650093f, -2.96288300f, 0.393702090f,
                           4.66626310f,   -6.26678610f,  -0.0566842183f};
constexpr TailSet kSetC = {0.0107863899f, -0.149838403f, -0.0688830093f, -0.00202815211f,
                           0.521173298f,  0.0995297506f, 0.000185115903f};

inline float tail(const TailSet& k, float s, float z) {
  const double zd = z;
  const float n = rounded(((k.a * zd + k.b) * zd + k.d) * zd);
  const float d = rounded(((zd + k.c) * zd + k.e) * zd + k.f);
  return rounded(s + wide(s) * (k.g + wide(n) / d));
}

constexpr float kP0 = -0.113773003f;
constexpr float kP1 = -0.575170279f;
constexpr float kQ1 = -3.29347396f;
constexpr float kR2C = -1.89651299f;
constexpr float kQ2 = -2.37499595f;
constexpr float kR3C = -0.0549626090f;
constexpr float kQ3 = -1.18751502f;

constexpr float kSqrt2 = 1.41421354f;

}  // namespace

float RGNINV(float u) {
  const float e = rgninv_eps();
  const double ud = u;
  float x;
  // The extreme test compares U with the unrounded 1 - 3e (in double); the
  // float 1 - 3e would select the same deviates.
  if (u <= e || ud >= 1.0 - 3.0 * wide(e)) {
    const float q = u < 0.5f ? rounded(2.0 * ud) : rounded(2.0 * (1.0 - ud));
    // 2q - q^2 = 1 - (1 - q)^2 without cancellation.
    const float arg = rounded(2.0 * q - wide(q) * q);
    const float s = std::sqrt(-std::log(arg));
    const float z = rounded(1.0 / s);
    x = tail(kSetC, s, z);
  } else {
    const float y = rounded(std::fabs(1.0 - 2.0 * ud));
    if (y <= 0.85f) {
      const float w = rounded(wide(y) * y);
      const double wd = w;
      // One store; the sums in the continued fraction go left to right,
      // (w + q1) + r2c/(...).
      x = rounded(
          y + wide(y) *
                  (kP0 + kP1 * wd / (wd + kQ1 + kR2C / (wd + kQ2 + kR3C / (wd + kQ3)))));
    } else {
      // -ln(1 - y^2) formed as -ln((1 - y) + y(1 - y)).
      const double omy = 1.0 - wide(y);
      const float arg = rounded(omy + wide(y) * omy);
      const float s = std::sqrt(-std::log(arg));
      if (s < 2.5f) {
        x = tail(kSetA, s, s);
      } else if (s < 4.0f) {
        x = tail(kSetB, s, s);
      } else {
        const float z = rounded(1.0 / s);
        x = tail(kSetC, s, z);
      }
    }
  }
  return u < 0.5f ? rounded(-wide(kSqrt2) * x)
                  : rounded(wide(kSqrt2) * x);
}

}  // namespace numlib
