// Tests of the random stream: the generator record and its seeding, the
// uniform deviates (state sequence, scale, extreme states), RNUN, the draw
// entries, and the inverse normal RGNINV against an exact double-precision
// quantile.
//
// Each test draws from the stream of a run of its own: the generator record
// belongs to the run's context and starts as at program start.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "library_stop.h"
#include "numlib/errors.h"
#include "numlib/random.h"
#include "support/run.h"
#include "support/stop.h"

namespace {

using namespace numlib;
using namespace numlib_test;
using namespace test_support;

// ---- helpers -----------------------------------------------------------

constexpr int64_t M = 2147483647;

int64_t MulMod(int64_t a, int64_t b) { return (a * b) % M; }

int64_t PowMod(int64_t a, int64_t e) {
  int64_t r = 1;
  for (; e > 0; e >>= 1, a = MulMod(a, a))
    if (e & 1) r = MulMod(r, a);
  return r;
}

// The state whose next step is y.
int32_t StateBefore(int64_t y) {
  const int64_t inverse = PowMod(16807, M - 2);
  return static_cast<int32_t>(MulMod(y, inverse));
}

// The clock seed computed from the local time as it is now.
int32_t ClockNow() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  const int32_t k = 10000 * tm.tm_hour + 100 * tm.tm_min + tm.tm_sec + 1;
  return k > 1 ? k : 123457;
}

// Exact standard normal quantile of p in (0, 0.5], by bisection on the
// double-precision erfc (accurate to the last bits in the lower tail).
double LowerQuantile(double p) {
  double lo = -40.0, hi = 0.0;
  for (int i = 0; i < 2000 && hi - lo > 0.0; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (mid == lo || mid == hi) break;
    if (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p)
      lo = mid;
    else
      hi = mid;
  }
  return 0.5 * (lo + hi);
}

// A run whose generator record is as at program start. Drawing and seeding
// print nothing and leave the error handler as it was.
class Generator : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(run_.printed(), "");
    EXPECT_EQ(ctx.handler.level, 1);
  }

  TestRun run_;
  Context& ctx = run_.ctx;
};

// ---- seed 12345 -------------------------------------------------------------

TEST_F(Generator, StatesAndDeviatesAfterSeed12345) {
  RGSEED(ctx, 12345);
  const int32_t states[5] = {207482415, 1790989824, 2035175616, 77048696, 24794531};
  const float deviates[3] = {0.0966165215f, 0.833994567f, 0.947702467f};
  for (int i = 0; i < 5; ++i) {
    const float u = RGUNIF(ctx);
    EXPECT_EQ(ctx.generator.state, states[i]) << "step " << i + 1;
    if (i < 3) {
      EXPECT_EQ(Bits(u), Bits(deviates[i])) << "step " << i + 1;
    }
  }
}

TEST_F(Generator, PublishedCheckValueAfterTenThousandSteps) {
  // The minimal standard generator started from 1 is at 1043618065 after
  // 10000 steps.
  RGSEED(ctx, 1);
  for (int i = 0; i < 10000; ++i) RGUNIF(ctx);
  EXPECT_EQ(ctx.generator.state, 1043618065);
}

TEST_F(Generator, FirstTimeSetUp) {
  RGINIT(ctx, -1);
  EXPECT_TRUE(ctx.generator.initialised);
  EXPECT_TRUE(ctx.generator.seed_given);
  EXPECT_EQ(ctx.generator.modulus, 2147483647.0);
  EXPECT_EQ(Bits(ctx.generator.scale), 0x2FFFFFFFu);
  EXPECT_EQ(ctx.generator.scale, std::ldexp(1.0f - std::ldexp(1.0f, -24), -31));
}

TEST_F(Generator, ExtremeStatesGiveNeitherZeroNorOne) {
  RGSEED(ctx, 12345);
  const struct {
    int64_t y;
    uint32_t bits;
  } cases[] = {
      {2147483646, 0x3F7FFFFFu},  // 0.99999994: the factor 1 - 2^-24 keeps it below 1
      {1, 0x2FFFFFFFu},           // the scale itself
      {2147483645, 0x3F7FFFFFu},
      {1073741824, 0x3EFFFFFFu},  // 2^30 * v = 0.5 * (1 - 2^-24)
  };
  for (const auto& c : cases) {
    ctx.generator.state = StateBefore(c.y);
    const float u = RGUNIF(ctx);
    EXPECT_EQ(ctx.generator.state, c.y);
    EXPECT_EQ(Bits(u), c.bits) << "y = " << c.y;
  }
}

// ---- seeding rules ---------------------------------------------------------

TEST_F(Generator, ValidSeedsFixTheState) {
  for (int32_t seed : {1, 12345, 2147483646}) {
    RGSEED(ctx, seed);
    EXPECT_EQ(ctx.generator.state, seed);
    EXPECT_TRUE(ctx.generator.seed_given);
  }
}

TEST_F(Generator, InvalidSeedAfterAValidOneChangesNothing) {
  RGSEED(ctx, 12345);
  for (int32_t seed : {-5, 2147483647, -2147483647 - 1}) {
    RGSEED(ctx, seed);
    EXPECT_EQ(ctx.generator.state, 12345) << seed;
  }
  EXPECT_EQ(Bits(RGUNIF(ctx)), Bits(0.0966165215f));
}

TEST_F(Generator, InvalidSeedFirstTakesAClockSeed) {
  const int32_t before = ClockNow();
  RGSEED(ctx, -5);
  const int32_t after = ClockNow();
  EXPECT_TRUE(ctx.generator.seed_given);
  EXPECT_TRUE(ctx.generator.initialised);
  EXPECT_TRUE(ctx.generator.state == before || ctx.generator.state == after) << ctx.generator.state;
  // The seed is now given: a later invalid seed keeps the state.
  const int32_t state = ctx.generator.state;
  RGSEED(ctx, -5);
  EXPECT_EQ(ctx.generator.state, state);
}

TEST_F(Generator, SeedZeroTakesTheClockWithoutMarkingTheSeed) {
  const int32_t before = ClockNow();
  RGSEED(ctx, 0);
  const int32_t after = ClockNow();
  EXPECT_TRUE(ctx.generator.state == before || ctx.generator.state == after) << ctx.generator.state;
  EXPECT_FALSE(ctx.generator.seed_given);
  EXPECT_FALSE(ctx.generator.initialised);
  // The first draw clock-seeds again and marks the seed as given.
  RGUNIF(ctx);
  EXPECT_TRUE(ctx.generator.seed_given);
  EXPECT_TRUE(ctx.generator.rgunif_called);
}

TEST_F(Generator, SeedZeroAfterAValidSeedIsDrawnFrom) {
  RGSEED(ctx, 12345);
  RGSEED(ctx, 0);
  const int32_t clock = ctx.generator.state;
  EXPECT_NE(clock, 12345);
  EXPECT_TRUE(ctx.generator.seed_given);
  RGUNIF(ctx);  // no reseeding: one step from the clock state
  EXPECT_EQ(ctx.generator.state, MulMod(clock, 16807));
}

TEST_F(Generator, ClockSeedIsTheTimeOfDay) {
  const int32_t before = ClockNow();
  const int32_t k = RGCLOCK();
  const int32_t after = ClockNow();
  EXPECT_TRUE(k == before || k == after) << k;
  EXPECT_GE(k, 2);
  EXPECT_LE(k, 235960);
}

TEST_F(Generator, FirstDrawOfAnUnseededGeneratorTakesAClockSeed) {
  const int32_t before = ClockNow();
  RGUNIF(ctx);
  const int32_t after = ClockNow();
  EXPECT_TRUE(ctx.generator.seed_given);
  const int64_t s = ctx.generator.state;
  EXPECT_TRUE(s == MulMod(before, 16807) || s == MulMod(after, 16807)) << s;

  // A run whose first draw is through RNUN.
  TestRun other;
  float r[1];
  RNUN(other.ctx, 1, r);
  EXPECT_TRUE(other.ctx.generator.seed_given);
  EXPECT_TRUE(other.ctx.generator.rnun_called);
  EXPECT_FALSE(other.ctx.generator.rgunif_called);
}

TEST_F(Generator, RunsDrawFromStreamsOfTheirOwn) {
  TestRun other;
  RGSEED(ctx, 12345);
  RGSEED(other.ctx, 1);
  EXPECT_EQ(Bits(RGUNIF(ctx)), Bits(0.0966165215f));
  RGUNIF(other.ctx);
  RGUNIF(other.ctx);
  EXPECT_EQ(Bits(RGUNIF(ctx)), Bits(0.833994567f));
  EXPECT_EQ(ctx.generator.state, 1790989824);
  EXPECT_EQ(other.ctx.generator.state, MulMod(16807, 16807));
}

// ---- RNUN and the draw entries ---------------------------------------------

TEST_F(Generator, RnunMatchesSuccessiveRgunifCalls) {
  for (int32_t nr : {1, 2, 3, 17, 1000}) {
    RGSEED(ctx, 12345);
    std::vector<float> r(nr);
    RNUN(ctx, nr, r.data());
    const int32_t end_state = ctx.generator.state;
    RGSEED(ctx, 12345);
    for (int32_t i = 0; i < nr; ++i) ASSERT_EQ(Bits(r[i]), Bits(RGUNIF(ctx))) << "nr " << nr << " i " << i;
    EXPECT_EQ(ctx.generator.state, end_state);
  }
  RGSEED(ctx, 12345);
  float r[3];
  RNUN(ctx, 3, r);
  EXPECT_EQ(Bits(r[0]), Bits(0.0966165215f));
  EXPECT_EQ(Bits(r[1]), Bits(0.833994567f));
  EXPECT_EQ(Bits(r[2]), Bits(0.947702467f));
}

TEST_F(Generator, RnunAndRgunifInterleaveOnOneStream) {
  RGSEED(ctx, 12345);
  float r[2];
  const float u1 = RGUNIF(ctx);
  RNUN(ctx, 1, r);
  const float u3 = RGUNIF(ctx);
  EXPECT_EQ(Bits(u1), Bits(0.0966165215f));
  EXPECT_EQ(Bits(r[0]), Bits(0.833994567f));
  EXPECT_EQ(Bits(u3), Bits(0.947702467f));
}

// A jump ahead of n steps lands where n steps of the generator do.
TEST_F(Generator, AdvanceLandsWhereTheStepsDo) {
  struct Jump {
    int32_t state;
    int64_t steps;
  };
  const Jump jumps[] = {{12345, 0}, {12345, 1}, {12345, 2}, {12345, 9999}, {1, 31},
                        {2147483646, 1000}, {987654321, 123457}, {12345, -5}};
  for (const Jump& j : jumps) {
    RGSEED(ctx, j.state);
    for (int64_t i = 0; i < j.steps; ++i) (void)RGUNIF(ctx);
    EXPECT_EQ(rg_advance(j.state, j.steps), ctx.generator.state) << j.state << " + " << j.steps;
  }
  // 2^31 - 2 steps make the full period.
  EXPECT_EQ(rg_advance(12345, 2147483646), 12345);
  EXPECT_EQ(rg_advance(12345, int64_t{3} * 2147483646 + 7), rg_advance(12345, 7));
}

TEST_F(Generator, DrawEntries) {
  int32_t t = 0;
  UNIFORM_TAG(t);
  EXPECT_EQ(t, 1);
  t = 0;
  NORMAL_TAG(t);
  EXPECT_EQ(t, 1);

  RGSEED(ctx, 12345);
  float u = 0.0f, z = 0.0f;
  UNIFORM_TAG(t);
  UNIFORM_DRAW(ctx, u, t);
  EXPECT_EQ(Bits(u), Bits(0.0966165215f));
  NORMAL_TAG(t);
  NORMAL_DRAW(ctx, z, t);
  EXPECT_EQ(Bits(z), Bits(RGNINV(0.833994567f)));
  UNIFORM_DRAW(ctx, u, 12345);  // the integer is ignored
  EXPECT_EQ(Bits(u), Bits(0.947702467f));
}

TEST_F(Generator, RgnormConsumesOneStep) {
  RGSEED(ctx, 12345);
  const float z = RGNORM(ctx);
  EXPECT_EQ(ctx.generator.state, 207482415);
  EXPECT_EQ(Bits(z), Bits(RGNINV(0.0966165215f)));
  EXPECT_NEAR(z, -1.30108, 1e-5);
  EXPECT_EQ(Bits(RGUNIF(ctx)), Bits(0.833994567f));
}

using GeneratorStops = Generator;

TEST_F(GeneratorStops, RnunWithoutDeviatesStops) {
  // Reported at once, the run stops when RNUN returns; nothing drawn.
  TestRun stopped;
  float r[1] = {-1.0f};
  const Stop stop = StopIn(stopped, [&](Context& c) {
    RGSEED(c, 12345);
    RNUN(c, 0, r);
  });
  EXPECT_STOP_PRINTS(stop, Exactly(Lines({
                               " *** TERMINAL ERROR 1 from RNUN.  NR = 0.  NR must be greater than or",
                               " ***          equal to 1.",
                           })));
  EXPECT_EQ(stopped.ctx.generator.state, 12345);
  EXPECT_EQ(r[0], -1.0f);
  EXPECT_LIBRARY_STOPS(RNUN(ctx, -7, r), "^ \\*\\*\\* TERMINAL ERROR 1 from RNUN\\.  NR = -7\\.  NR must be greater");
  EXPECT_EQ(r[0], -1.0f);
}

// ---- RGNINV ------------------------------------------------------------------

TEST(Rgninv, KnownValues) {
  const struct {
    float u;
    double z;
    double tol;
  } cases[] = {
      {0.5f, 0.0, 0.0},
      {0.0966165215f, -1.30108, 1e-5},
      {0.975f, 1.959963985, 1e-6},
      {0.025f, -1.959963985, 1e-6},
      {0.84134474f, 1.0, 1e-6},
      {0.99f, 2.326347874, 1e-6},
      {1e-10f, -6.361340902, 1e-5},
      {1e-30f, -11.46402360, 1e-5},
  };
  for (const auto& c : cases) EXPECT_NEAR(RGNINV(c.u), c.z, c.tol) << "U = " << c.u;
  EXPECT_EQ(Bits(RGNINV(0.5f)), Bits(0.0f));
  EXPECT_LT(RGNINV(std::nextafter(0.5f, 0.0f)), 0.0f);
  EXPECT_GT(RGNINV(std::nextafter(0.5f, 1.0f)), 0.0f);
}

// Region of the algorithm a deviate falls in.
enum class Region { Central, SetA, SetB, Extreme };

const float kE = 1.19237e-07f;  // AMACH(4)

Region RegionOf(float u) {
  if (u <= kE || static_cast<double>(u) >= 1.0 - 3.0 * kE) return Region::Extreme;
  const float y = static_cast<float>(std::fabs(1.0 - 2.0 * static_cast<double>(u)));
  if (y <= 0.85f) return Region::Central;
  const double s = std::sqrt(-std::log1p(-static_cast<double>(y) * y));
  return s < 2.5 ? Region::SetA : Region::SetB;
}

// The exact value that RGNINV approximates: the quantile of (1 - y)/2 for
// the float y = |1 - 2U| (or of q/2 for the float q of an extreme deviate),
// with the sign of U - 0.5.
double Reference(float u) {
  const double ud = u;
  double p;
  if (RegionOf(u) == Region::Extreme) {
    const float q = u < 0.5f ? static_cast<float>(2.0 * ud) : static_cast<float>(2.0 * (1.0 - ud));
    p = q / 2.0;
  } else {
    const float y = static_cast<float>(std::fabs(1.0 - 2.0 * ud));
    p = (1.0 - y) / 2.0;
  }
  const double z = LowerQuantile(p);
  return u < 0.5f ? z : -z;
}

TEST(Rgninv, AccuracyByRegion) {
  // Tolerances: absolute in the centre (the claimed 4e-7), relative in the
  // tails. A wrong coefficient or branch breaks them by orders of magnitude.
  struct Tier {
    Region region;
    const char* name;
    bool relative;
    double tol;
    double worst = 0.0;
    int count = 0;
  } tiers[] = {
      {Region::Central, "central", false, 4e-7},
      {Region::SetA, "set A", true, 3e-7},
      {Region::SetB, "set B", true, 3e-7},
      // Set C also serves extreme deviates whose s is below 4.
      {Region::Extreme, "extreme", true, 4e-7},
  };
  std::vector<float> grid;
  for (int64_t k = 1; k < (int64_t{1} << 24); k += 4099) grid.push_back(std::ldexp(float(k), -24));
  for (float u = 1e-38f; u < 1e-3f; u *= 1.37f) {
    grid.push_back(u);
    if (1.0f - u < 1.0f) grid.push_back(1.0f - u);
  }
  for (int64_t k = 1; k <= 64; ++k) {  // around the extreme-deviate boundary
    grid.push_back(std::ldexp(float(k), -24));
    grid.push_back(1.0f - std::ldexp(float(k), -24));
  }
  for (float u : grid) {
    const double ref = Reference(u);
    const double err = std::fabs(RGNINV(u) - ref);
    for (Tier& t : tiers) {
      if (t.region != RegionOf(u)) continue;
      const double e = t.relative ? err / std::fabs(ref) : err;
      ++t.count;
      t.worst = std::max(t.worst, e);
      EXPECT_LE(e, t.tol) << t.name << " U = " << u << " got " << RGNINV(u) << " want " << ref;
    }
  }
  for (const Tier& t : tiers) {
    EXPECT_GT(t.count, 20) << t.name;
    std::printf("RGNINV %-8s %6d points, worst error %.3g\n", t.name, t.count, t.worst);
  }
}

TEST(Rgninv, SymmetricExceptAtTheExtremeBoundary) {
  // U = k 2^-24 makes 1 - U exact, so both sides see the same y.
  for (int64_t k = 1; k < (int64_t{1} << 24); k += 257) {
    const float u = std::ldexp(float(k), -24);
    const float mirror = 1.0f - u;
    ASSERT_EQ(static_cast<double>(mirror), 1.0 - static_cast<double>(u));
    if (k >= 3 && k <= 6) continue;
    ASSERT_EQ(Bits(RGNINV(mirror)), Bits(-RGNINV(u))) << "U = " << u;
  }
  for (int64_t k = 1; k <= 16; ++k) {
    const float u = std::ldexp(float(k), -24);
    const float a = RGNINV(u), b = RGNINV(1.0f - u);
    if (k >= 3 && k <= 6) {
      // 1 - U is an extreme deviate, U is not: two formulas, close values.
      EXPECT_NE(Bits(b), Bits(-a)) << k;
      EXPECT_NEAR(b, -a, 1e-5 * std::fabs(a)) << k;
    } else {
      EXPECT_EQ(Bits(b), Bits(-a)) << k;
    }
  }
}

}  // namespace
