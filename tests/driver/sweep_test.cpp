// The samplers' sweeps against the sweeps written straight from their
// procedure (reference_sweep.h): from the same point and the same state of
// the random stream (two runs, the second given the first's generator
// record), every point, conditional mean and generator state must come out
// the same to the bit, sweep after sweep.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "driver/samplers.h"
#include "chain_entries.h"
#include "problem.h"
#include "reference_sweep.h"

namespace {

using driver::RunState;
using driver_test::LoadedRun;

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Problem {
  const char* name;
  const char* text;
};

// Problems whose bounds take every path: order rows, thin wedges with a
// hard last row, zero and tiny coefficients (bounds beyond BIG or
// infinite), right-hand sides far beyond BIG, rows that contradict each
// other (crossed limits), and a row that bounds no parameter.
const Problem kProblems[] = {
    {"order", "c\n5 5\nm\n0.5 0.45 0.4 0.35 0.3\nv\n"
              "0.04 0.012 0.012 0.012 0.012\n0.012 0.04 0.012 0.012 0.012\n"
              "0.012 0.012 0.04 0.012 0.012\n0.012 0.012 0.012 0.04 0.012\n"
              "0.012 0.012 0.012 0.012 0.04\n"
              "r\n1 -1 0 0 0 0\n0 1 -1 0 0 0\n0 0 1 -1 0 0\n0 0 0 1 -1 0\n1 0 0 0 -1 0.2\n"},
    {"wedges", "c\n3 5\nm\n1.0 0.0025 0.0025\nv\n0.0025 0.00001 0.00001\n"
               "0.00001 0.00000036 0.00000005\n0.00001 0.00000005 0.00000036\n"
               "r\n1 -200 0 0\n0 1 0 0\n1 0 -200 0\n0 0 1 0\n0 -1 1 0.0036\n"},
    {"extremes", "c\n4 5\nm\n0.1 -0.2 0.3 5\nv\n1 0.2 0 0\n0.2 1 0 0\n0 0 1 0\n0 0 0 4\n"
                 "r\n1e-30 1 0 0 0\n0 0 1 0 -3e9\n2 0 -1e-20 0 1e9\n0 0 0 0 0\n1 1 1 1 0\n"},
    {"crossed", "c\n2 4\nm\n0 0\nv\n1 0.5\n0.5 1\nr\n1 0 1\n-1 0 1\n0 1 0\n1 -1 0\n"},
};

class SweepMatchesReference : public ::testing::TestWithParam<Problem> {};

// The point a sweep of the given kind works on.
driver::Array1<float>& point(driver::RunState& s, bool fit) {
  return fit ? s.fit_chain.point : s.complexity_chain.point;
}

// Runs `sweeps` sweeps of both kinds for every k, each time from the same
// generator state, and compares everything they leave behind.
TEST_P(SweepMatchesReference, BitForBitForEveryConstraint) {
  LoadedRun fast_run(GetParam().text), ref_run(GetParam().text);
  RunState& fast = fast_run.s;
  RunState& ref = ref_run.s;
  driver::set_up_matrices(fast);
  driver::set_up_matrices(ref);
  const int64_t n1 = int64_t{fast.problem.NPAR} + 1;
  constexpr int kSweeps = 300;
  for (int32_t k = 1; k <= fast.problem.NCON; ++k) {
    driver::move_start_point(fast, k);
    driver::move_start_point(ref, k);
    for (int64_t j = 1; j <= n1; ++j) {
      fast.fit_chain.point(j) = fast.complexity_chain.point(j) = fast.start.INITIAL(j);
      ref.fit_chain.point(j) = ref.complexity_chain.point(j) = ref.start.INITIAL(j);
    }
    for (int sweep = 1; sweep <= kSweeps; ++sweep) {
      for (bool fit : {true, false}) {
        ref.lib.generator = fast.lib.generator;
        if (fit) {
          driver_test::fit_sweep(fast, k);
          driver_test::reference_fit_sweep(ref, k);
        } else {
          driver_test::complexity_sweep(fast, k);
          driver_test::reference_complexity_sweep(ref, k);
        }
        ASSERT_EQ(fast.lib.generator.state, ref.lib.generator.state) << "k " << k << " sweep " << sweep;
        for (int64_t j = 1; j <= n1; ++j) {
          const float a = point(fast, fit)(j);
          const float b = point(ref, fit)(j);
          ASSERT_TRUE(same_bits(a, b)) << (fit ? "X(" : "Y(") << j << ") k " << k << " sweep "
                                       << sweep << ": " << a << " vs " << b;
          if (fit && j <= fast.problem.NPAR) {
            ASSERT_TRUE(same_bits(fast.fit_chain.MEANS(j), ref.fit_chain.MEANS(j))) << "MEANS(" << j << ")";
          }
        }
      }
    }
  }
  EXPECT_EQ(fast_run.printed(), "");
  EXPECT_EQ(ref_run.printed(), "");
}

// The unrestricted fit chain of constraint 1 repeats PosteriorConditional's
// sums and the hit test on copies in double in local arrays (chains.h says
// why); it must leave what the general chain leaves: hits, point,
// conditional means and generator state, whether it makes its deviates
// itself or a helper thread makes them ahead.
struct Helper {
  std::thread thread;
  bool offered = false;
  static void offer(void* self, driver::NormalFeed* feed) {
    if (feed == nullptr) return;
    static_cast<Helper*>(self)->offered = true;
    feed->attach();
    static_cast<Helper*>(self)->thread = std::thread([feed] {
      feed->help();
      feed->leave();
    });
  }
};

TEST_P(SweepMatchesReference, UnrestrictedFitChainLeavesWhatTheGeneralChainLeaves) {
  using namespace driver::chains;
  for (bool helped : {false, true}) {
    SCOPED_TRACE(helped ? "helped" : "alone");
    LoadedRun quick_run(GetParam().text), general_run(GetParam().text);
    RunState& quick = quick_run.s;
    RunState& general = general_run.s;
    for (RunState* s : {&quick, &general}) {
      driver::set_up_matrices(*s);
      driver::move_start_point(*s, 1);
    }
    constexpr int32_t kNiter = 3000;
    Helper helper;
    driver::ChainPoll poll;
    poll.offer = helped ? &Helper::offer : nullptr;
    poll.context = &helper;
    const auto [quick_hits, general_hits] = driver_test::with_picked_isa([&](auto isa) {
      using Isa = decltype(isa);
      const int32_t q = unrestricted_fit_chain<Isa>(quick.lib, quick.problem, quick.approx,
                                                    quick.start.INITIAL, quick.fit_chain, kNiter, poll);
      PosteriorConditional<Isa> cond(general.lib, general.problem, general.approx, general.fit_chain);
      const int32_t g = chain<Isa>(general.lib, general.problem, general.start.INITIAL, general.fit_chain,
                                   1, driver::Sampler::fit, kNiter, cond, driver::ChainPoll{});
      return std::pair{q, g};
    });
    if (helper.thread.joinable()) helper.thread.join();
    EXPECT_EQ(helper.offered, helped);
    EXPECT_EQ(quick_hits, general_hits);
    EXPECT_EQ(quick.lib.generator.state, general.lib.generator.state);
    EXPECT_EQ(quick.lib.generator.rgunif_called, general.lib.generator.rgunif_called);
    for (int64_t j = 1; j <= quick.problem.NPAR + 1; ++j)
      EXPECT_TRUE(same_bits(quick.fit_chain.point(j), general.fit_chain.point(j))) << "X(" << j << ")";
    for (int64_t j = 1; j <= quick.problem.NPAR; ++j)
      EXPECT_TRUE(same_bits(quick.fit_chain.MEANS(j), general.fit_chain.MEANS(j))) << "MEANS(" << j << ")";
  }
}

// Points the samplers do not reach by themselves but a sweep must treat
// as the procedure does: exact zeros (slacks of zero, whose sign the zero
// terms decide) and values that are not finite (zero times them is NaN).
// Non-finite values go to the complexity sweep only: in the fit sweep they
// make the conditional mean NaN, and ANORIN(NaN) stops the library.
TEST(SweepMatchesReference, PointsWithZerosAndNonFiniteValues) {
  const float kInf = std::numeric_limits<float>::infinity();
  const float kNaN = std::numeric_limits<float>::quiet_NaN();
  const std::vector<std::vector<float>> points = {
      {0.0f, 0.0f, 0.0f, 0.0f, 0.0f},     {-0.0f, 0.0f, -0.0f, 0.0f, -0.0f},
      {0.5f, 0.4f, kInf, 0.2f, 0.1f},     {0.5f, 0.4f, 0.3f, 0.2f, -kInf},
      {0.5f, kNaN, 0.3f, 0.2f, 0.1f},     {0.0f, 0.0f, 0.0f, 0.0f, kInf}};
  for (const auto& start : points) {
    for (int32_t k = 2; k <= 5; ++k) {
      for (bool fit : {true, false}) {
        bool finite = true;
        for (float v : start) finite = finite && std::isfinite(v);
        if (fit && !finite) continue;
        LoadedRun fast_run(kProblems[0].text), ref_run(kProblems[0].text);
        RunState& fast = fast_run.s;
        RunState& ref = ref_run.s;
        driver::set_up_matrices(fast);
        driver::set_up_matrices(ref);
        for (int64_t j = 1; j <= 5; ++j) {
          point(fast, fit)(j) = point(ref, fit)(j) = start[j - 1];
        }
        point(fast, fit)(6) = point(ref, fit)(6) = -1.0f;
        if (fit) {
          driver_test::fit_sweep(fast, k);
          driver_test::reference_fit_sweep(ref, k);
        } else {
          driver_test::complexity_sweep(fast, k);
          driver_test::reference_complexity_sweep(ref, k);
        }
        EXPECT_EQ(fast.lib.generator.state, ref.lib.generator.state);
        for (int64_t j = 1; j <= 5; ++j) {
          const float a = point(fast, fit)(j);
          const float b = point(ref, fit)(j);
          ASSERT_TRUE(same_bits(a, b)) << "k " << k << " j " << j << ": " << a << " vs " << b;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Problems, SweepMatchesReference, ::testing::ValuesIn(kProblems),
                         [](const ::testing::TestParamInfo<Problem>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
