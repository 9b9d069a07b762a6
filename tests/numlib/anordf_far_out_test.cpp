// ANORDF far out answers without ERFC where the result is exactly 1 or 0,
// and at 1 and -1 (the complexity sampler's missing bounds) from values
// summed once. These tests establish the two thresholds by exhaustive search over the
// floats and check that the quick answers are those of the full evaluation,
// 0.5 * ERFC(-sqrt(1/2) x) with ERFC's alert cleared, to the bit, and that
// they leave nothing behind that matters to the run: the handler back at
// the caller's level with no error recorded there, and nothing printed.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "numlib/context.h"
#include "numlib/errors.h"
#include "numlib/normal.h"
#include "support/run.h"
#include "support/stop.h"

namespace numlib {
namespace {

using test_support::Bits;
using test_support::Lines;

// Found by the exhaustive search below: ERFC's argument -sqrt(1/2) x (rounded
// to float) is at or below XSML exactly for x >= 5.66796875 and above XMAX
// exactly for x <= -12.9894514.
constexpr uint32_t kOneBits = 0x40B56000u;   // 5.66796875
constexpr uint32_t kZeroBits = 0xC14FD4CBu;  // -12.9894514

float erfc_argument(float x) { return static_cast<float>(-static_cast<double>(0.707106769f) * x); }

TEST(AnordfFarOut, ExhaustiveSearchOverAllFloatsGivesOneThresholdOnEachSide) {
  const float XSML = detail::kErfc.XSML;
  const float XMAX = detail::kErfc.XMAX;
  const float x_one = std::bit_cast<float>(kOneBits);
  const float x_zero = std::bit_cast<float>(kZeroBits);
  // Every float, NaNs included (a NaN is neither: it takes the full
  // evaluation). The loop only counts, so that it vectorises.
  int64_t wrong = 0;
  uint32_t bits = 0;
  do {
    const float x = std::bit_cast<float>(bits);
    const float arg = erfc_argument(x);
    wrong += (arg <= XSML) != (x >= x_one);
    wrong += (arg > XMAX) != (x <= x_zero);
  } while (++bits != 0);
  EXPECT_EQ(wrong, 0);
  // The thresholds are the edges themselves: their neighbours inward fail.
  EXPECT_TRUE(erfc_argument(x_one) <= XSML);
  EXPECT_FALSE(erfc_argument(std::nextafter(x_one, 0.0f)) <= XSML);
  EXPECT_TRUE(erfc_argument(x_zero) > XMAX);
  EXPECT_FALSE(erfc_argument(std::nextafter(x_zero, 0.0f)) > XMAX);
  // Where the documented edges are: 1 for x above about 5.668, 0 below
  // about -12.99.
  EXPECT_NEAR(x_one, 5.668, 1e-3);
  EXPECT_NEAR(x_zero, -12.99, 1e-2);
}

// The full evaluation, as ANORDF does it where it has no quick answer.
float FullAnordf(Context& ctx, float x) {
  E1PSH(ctx, "ANORDF");
  const float result = static_cast<float>(0.5 * static_cast<double>(ERFC(ctx, erfc_argument(x))));
  if (result == 0.0f && N1RTY(ctx, 0) == ERR_ALERT) E1MSG(ctx, 0, 0, " ");
  E1POP(ctx, "ANORDF");
  return result;
}

// What a call leaves behind that the run can see: the handler's level, the
// error type and code recorded at it (the caller's), and what was printed.
struct Leftover {
  int32_t level;
  int32_t type, code;
  std::string printed;
  bool operator==(const Leftover&) const = default;
};

Leftover LeftBy(const test_support::TestRun& run) {
  const HandlerState& h = run.ctx.handler;
  return {h.level, h.levels[h.level].type, h.levels[h.level].code, run.printed()};
}

// Back at the test's own level, no error recorded there, nothing printed.
const Leftover kNothing = {1, 0, 0, ""};

std::string Describe(const Leftover& l) {
  return "level " + std::to_string(l.level) + ", type " + std::to_string(l.type) + ", code " +
         std::to_string(l.code) + ", printed \"" + l.printed + "\"";
}

// Every float within 2^14 of each threshold and of the far-out limits the
// samplers meet (+-BIG over small standard deviations), and every 2^16-th
// float of the whole line.
std::vector<float> Arguments() {
  std::vector<float> xs;
  for (uint32_t centre : {kOneBits, kZeroBits}) {
    for (int64_t d = -(1 << 14); d <= (1 << 14); ++d)
      xs.push_back(std::bit_cast<float>(static_cast<uint32_t>(centre + d)));
  }
  for (uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 1 << 16)
    xs.push_back(std::bit_cast<float>(static_cast<uint32_t>(bits + 12345)));
  for (float x : {1.6e9f, -1.6e9f, 3e38f, -3e38f, INFINITY, -INFINITY, 13.0f, -13.0f, 1.0f, -1.0f})
    xs.push_back(x);
  return xs;
}

TEST(AnordfFarOut, ResultsAreThoseOfTheFullEvaluationAndNothingIsLeftBehind) {
  // One run for the quick answers and one for the full evaluations, so that
  // what either leaves is its own.
  test_support::TestRun quick_run, full_run;
  int32_t checked = 0;
  for (float x : Arguments()) {
    if (std::isnan(x)) continue;
    const float quick = ANORDF(quick_run.ctx, x);
    const float full = FullAnordf(full_run.ctx, x);
    ASSERT_EQ(Bits(quick), Bits(full)) << "x = " << x;
    ASSERT_EQ(LeftBy(quick_run), kNothing) << "x = " << x << ": " << Describe(LeftBy(quick_run));
    ASSERT_EQ(LeftBy(full_run), kNothing) << "x = " << x << ": " << Describe(LeftBy(full_run));
    ++checked;
  }
  EXPECT_GT(checked, 100000);
}

TEST(AnordfFarOut, OneAndZeroExactlyBeyondTheThresholdsOnly) {
  test_support::TestRun t;
  Context& ctx = t.ctx;
  const float x_one = std::bit_cast<float>(kOneBits);
  const float x_zero = std::bit_cast<float>(kZeroBits);
  EXPECT_EQ(ANORDF(ctx, x_one), 1.0f);
  EXPECT_EQ(ANORDF(ctx, x_zero), 0.0f);
  EXPECT_GT(ANORDF(ctx, std::nextafter(x_zero, 0.0f)), 0.0f);  // about 7e-39, not 0
  // Below the threshold of one the series still gives exactly 1 for a
  // while (2 - erfc rounds to 2); those calls take the full evaluation.
  EXPECT_EQ(ANORDF(ctx, 5.5f), 1.0f);
  EXPECT_LT(ANORDF(ctx, 5.4f), 1.0f);
  EXPECT_EQ(LeftBy(t), kNothing) << Describe(LeftBy(t));
}

// A message raised after an underflowing call shows only the values its own
// routine stored: it reads the same after the quick answer as after the full
// evaluation, which left ERFC's alert values behind.
TEST(AnordfFarOut, LaterMessagesReadTheSameAsAfterTheFullEvaluation) {
  auto later_message = [](Context& ctx) {
    const float cs[2] = {2.0f, 1.0f};
    const size_t before = ctx.console.text().size();
    (void)CSEVL(ctx, 12.5f, cs, 2);  // warns of its argument, and goes on
    E1MSG(ctx, 0, 0, " ");
    return ctx.console.text().substr(before);
  };
  test_support::TestRun quick_run, full_run;
  (void)ANORDF(quick_run.ctx, -20.0f);
  (void)FullAnordf(full_run.ctx, -20.0f);
  EXPECT_EQ(LeftBy(quick_run), kNothing) << Describe(LeftBy(quick_run));
  EXPECT_EQ(LeftBy(full_run), kNothing) << Describe(LeftBy(full_run));
  const std::string quick = later_message(quick_run.ctx);
  const std::string full = later_message(full_run.ctx);
  EXPECT_EQ(quick, full);
  EXPECT_EQ(quick, Lines({" *** WARNING ERROR 7 from CSEVL.  The argument X = 1.250000E+01 is",
                          " ***          outside the interval (-1.1,+1.1)."}));
}

}  // namespace
}  // namespace numlib

namespace numlib {
namespace {

// ANORDF_PAIR against ANORDF(a) then ANORDF(b): every combination of the
// paths (far out, linear, central, middle and tail series, NaN, infinities,
// signed zeros), the same bits, and nothing left behind by either.
TEST(AnordfPair, SameResultsAsTwoCallsAndNothingLeftBehind) {
  std::vector<float> xs = {0.0f,  -0.0f,   1e-5f,  -1e-5f, 0.3f,   -0.7f,    1.41f,   -1.42f,
                           1.5f,  -2.0f,   2.83f,  -2.9f,  4.0f,   -5.0f,    5.5f,    -5.5f,
                           5.7f,  -12.9f,  -13.0f, 1e9f,   -1e9f,  INFINITY, -INFINITY, NAN,
                           1.0f,  -1.0f};
  for (float x = -14.0f; x <= 14.0f; x += 0.37f) xs.push_back(x);
  test_support::TestRun pair_run, two_run;
  for (float a : xs) {
    for (float b : xs) {
      float pa, pb;
      ANORDF_PAIR(pair_run.ctx, a, b, pa, pb);
      const float qa = ANORDF(two_run.ctx, a);
      const float qb = ANORDF(two_run.ctx, b);
      ASSERT_EQ(Bits(pa), Bits(qa)) << a << " " << b;
      ASSERT_EQ(Bits(pb), Bits(qb)) << a << " " << b;
      ASSERT_EQ(LeftBy(pair_run), kNothing) << a << " " << b << ": " << Describe(LeftBy(pair_run));
      ASSERT_EQ(LeftBy(two_run), kNothing) << a << " " << b << ": " << Describe(LeftBy(two_run));
    }
  }
}

}  // namespace
}  // namespace numlib
