// ANORDF far out answers without ERFC where the result is exactly 1 or 0,
// and at 1 and -1 (the complexity sampler's missing bounds) from values
// summed once. These tests establish the two thresholds by exhaustive search over the
// floats and check that the quick answers are those of the full evaluation,
// 0.5 * ERFC(-sqrt(1/2) x) with ERFC's alert cleared, to the bit and in
// everything the error handler keeps.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "numlib/errors.h"
#include "numlib/normal.h"

namespace numlib {
namespace {

// Found by the exhaustive search below: ERFC's argument -sqrt(1/2) x (rounded
// to float) is at or below XSML exactly for x >= 5.66796875 and above XMAX
// exactly for x <= -12.9894514.
constexpr uint32_t kOneBits = 0x40B56000u;   // 5.66796875
constexpr uint32_t kZeroBits = 0xC14FD4CBu;  // -12.9894514

float erfc_argument(float x) { return static_cast<float>(-static_cast<double>(0.707106769f) * x); }

void SetUpLimits() { (void)ANORDF(0.0f); }

TEST(AnordfFarOut, ExhaustiveSearchOverAllFloatsGivesOneThresholdOnEachSide) {
  SetUpLimits();
  const float XSML = detail::g_erfc.XSML;
  const float XMAX = detail::g_erfc.XMAX;
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

// The full evaluation, as ANORDF did it before the quick answers.
float FullAnordf(float x) {
  E1PSH("ANORDF");
  const float result = static_cast<float>(0.5 * static_cast<double>(ERFC(erfc_argument(x))));
  if (result == 0.0f && N1RTY(0) == ERR_ALERT) E1MSG(0, 0, " ");
  E1POP("ANORDF");
  return result;
}

// What the error handler holds after a call: the level, the type and code
// at it and at the three levels above (the routine that returned last and
// the ones it called), with their names.
struct HandlerView {
  int32_t level;
  int32_t types[4], codes[4];
  std::string names[4];
  bool operator==(const HandlerView&) const = default;
};

HandlerView View() {
  const detail::HandlerState& h = detail::g_handler;
  HandlerView v{h.level, {}, {}, {}};
  for (int i = 0; i < 4; ++i) {
    const detail::Level& l = h.levels[h.level + i];
    v.types[i] = l.type;
    v.codes[i] = l.code;
    v.names[i] = l.name ? l.name : "";
    while (!v.names[i].empty() && v.names[i].back() == ' ') v.names[i].pop_back();
  }
  return v;
}

// Overwrites the three levels above the current one, so that what a call
// leaves there is its own.
void Scrub() {
  E1PSH("SCRUB1");
  E1PSH("SCRUB2");
  E1PSH("SCRUB3");
  E1POP("SCRUB3");
  E1POP("SCRUB2");
  E1POP("SCRUB1");
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

TEST(AnordfFarOut, ResultsAndHandlerStateAreThoseOfTheFullEvaluation) {
  SetUpLimits();
  int32_t checked = 0;
  for (float x : Arguments()) {
    if (std::isnan(x)) continue;
    Scrub();
    const float quick = ANORDF(x);
    const HandlerView after_quick = View();
    Scrub();
    const float full = FullAnordf(x);
    const HandlerView after_full = View();
    ASSERT_EQ(std::bit_cast<uint32_t>(quick), std::bit_cast<uint32_t>(full)) << "x = " << x;
    ASSERT_TRUE(after_quick == after_full) << "x = " << x;
    ++checked;
  }
  EXPECT_GT(checked, 100000);
}

TEST(AnordfFarOut, OneAndZeroExactlyBeyondTheThresholdsOnly) {
  SetUpLimits();
  const float x_one = std::bit_cast<float>(kOneBits);
  const float x_zero = std::bit_cast<float>(kZeroBits);
  EXPECT_EQ(ANORDF(x_one), 1.0f);
  EXPECT_EQ(ANORDF(x_zero), 0.0f);
  EXPECT_GT(ANORDF(std::nextafter(x_zero, 0.0f)), 0.0f);  // about 7e-39, not 0
  // Below the threshold of one the series still gives exactly 1 for a
  // while (2 - erfc rounds to 2); those calls take the full evaluation.
  EXPECT_EQ(ANORDF(5.5f), 1.0f);
  EXPECT_LT(ANORDF(5.4f), 1.0f);
}

// The substitution values that ERFC's alert stores stay readable by a later
// message, as after the full evaluation.
TEST(AnordfFarOut, UnderflowLeavesItsSubstitutionValuesForLaterMessages) {
  SetUpLimits();
  auto later_message = [] {
    testing::internal::CaptureStdout();
    E1PSH("LATER ");
    E1MSG(ERR_WARNING, 9, "%(R1) %(R2)");
    E1POP("LATER ");
    return testing::internal::GetCapturedStdout();
  };
  (void)ANORDF(-20.0f);
  const std::string quick = later_message();
  (void)FullAnordf(-20.0f);
  const std::string full = later_message();
  EXPECT_EQ(quick, full);
  EXPECT_NE(quick.find("1.414214E+01 9.184928E+00"), std::string::npos) << quick;
}

}  // namespace
}  // namespace numlib

namespace numlib {
namespace {

// ANORDF_PAIR against ANORDF(a) then ANORDF(b): every combination of the
// paths (far out, linear, central, middle and tail series, NaN, infinities,
// signed zeros), the same bits and the same handler state.
TEST(AnordfPair, SameResultsAndHandlerStateAsTwoCalls) {
  SetUpLimits();
  std::vector<float> xs = {0.0f,  -0.0f,   1e-5f,  -1e-5f, 0.3f,   -0.7f,    1.41f,   -1.42f,
                           1.5f,  -2.0f,   2.83f,  -2.9f,  4.0f,   -5.0f,    5.5f,    -5.5f,
                           5.7f,  -12.9f,  -13.0f, 1e9f,   -1e9f,  INFINITY, -INFINITY, NAN,
                           1.0f,  -1.0f};
  for (float x = -14.0f; x <= 14.0f; x += 0.37f) xs.push_back(x);
  for (float a : xs) {
    for (float b : xs) {
      float pa, pb;
      Scrub();
      ANORDF_PAIR(a, b, pa, pb);
      const HandlerView after_pair = View();
      Scrub();
      const float qa = ANORDF(a);
      const float qb = ANORDF(b);
      const HandlerView after_two = View();
      ASSERT_EQ(std::bit_cast<uint32_t>(pa), std::bit_cast<uint32_t>(qa)) << a << " " << b;
      ASSERT_EQ(std::bit_cast<uint32_t>(pb), std::bit_cast<uint32_t>(qb)) << a << " " << b;
      ASSERT_TRUE(after_pair == after_two) << a << " " << b;
    }
  }
}

}  // namespace
}  // namespace numlib
