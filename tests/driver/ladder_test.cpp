// The iteration ladder: every chain draws exactly one uniform deviate per
// parameter and sweep (so that a chain can start ahead of time where the
// chains before it will leave the stream), and a ladder run ahead of time on
// several threads ends exactly as the chains one after another do, whatever
// its chains print, store or stop with.
#include "driver/ladder.h"

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/normal_feed.h"
#include "driver/samplers.h"
#include "numlib/errors.h"
#include "numlib/random.h"
#include "problem.h"
#include "support/run.h"

namespace {

using driver::Sampler;
using driver_test::LoadedRun;

// ---- the deviates a chain draws --------------------------------------------------

struct DrawCase {
  const char* name;
  const char* text;
};

const DrawCase kDrawCases[] = {
    {"order", "c\n4 4\nm\n0.4 0.3 0.2 0.1\nv\n0.04 0.01 0.01 0.01\n0.01 0.04 0.01 0.01\n"
              "0.01 0.01 0.04 0.01\n0.01 0.01 0.01 0.04\n"
              "r\n1 -1 0 0 0\n0 1 -1 0 0\n0 0 1 -1 0\n1 1 1 1 2\n"},
    {"wedges", "c\n3 5\nm\n1.0 0.0025 0.0025\nv\n0.0025 0.00001 0.00001\n"
               "0.00001 0.00000036 0.00000005\n0.00001 0.00000005 0.00000036\n"
               "r\n1 -200 0 0\n0 1 0 0\n1 0 -200 0\n0 0 1 0\n0 -1 1 0.0036\n"},
};

TEST(ChainDraws, OneUniformPerParameterAndSweepForBothSamplersAndEveryConstraint) {
  for (const DrawCase& c : kDrawCases) {
    LoadedRun r(c.text);
    driver::RunState& s = r.s;
    driver::set_up_matrices(s);
    for (int32_t k = 1; k <= s.problem.NCON; ++k) {
      driver::move_start_point(s, k);
      for (Sampler kind : {Sampler::fit, Sampler::complexity}) {
        driver::ChainArrays& arrays = kind == Sampler::fit ? s.fit_chain : s.complexity_chain;
        const int32_t before = s.lib.generator.state;
        (void)driver::run_chain(s, kind, k, 1000, arrays, s.lib, {});
        EXPECT_EQ(s.lib.generator.state,
                  numlib::rg_advance(before, driver::chain_uniforms(s.problem.NPAR, 1000)))
            << c.name << " k " << k << (kind == Sampler::fit ? " fit" : " complexity");
      }
    }
    EXPECT_EQ(r.printed(), "");
  }
}

TEST(Ladder, StoppingHitsAreTheFirstCountsTheLadderStopsAt) {
  const int32_t expected[] = {500, 498, 404, 960, 504, 504, 0};
  for (int j = 0; j < driver::LADDER_RUNGS; ++j) {
    const int32_t niter = driver::LADDER_NITER[j];
    const int32_t h = driver::stopping_hits(niter);
    EXPECT_EQ(h, expected[j]) << niter;
    if (h > 0) {
      EXPECT_NE(driver::next_niter(niter, static_cast<float>(h - 1) / static_cast<float>(niter)), 0);
      EXPECT_EQ(driver::next_niter(niter, static_cast<float>(h) / static_cast<float>(niter)), 0);
    }
  }
}

// ---- deviates made ahead by a helper --------------------------------------------

void rgninv_block(const float* u, float* z, int n) {
  for (int j = 0; j < n; ++j) z[j] = numlib::RGNINV(u[j]);
}

// The chain takes its blocks in order, with no helper, one or two (racing
// it and each other): every block holds RGNINV of the stream's deviates at
// its place, whoever made it.
TEST(NormalFeed, BlocksAreTheStreamsDeviatesWhoeverMakesThem) {
  test_support::TestRun t;
  numlib::RGSEED(t.ctx, 12345);
  const float scale = t.ctx.generator.scale;
  for (int64_t draws : {int64_t{1}, int64_t{1024}, int64_t{5000}, int64_t{40 * 1024 + 17}}) {
    for (int helpers : {0, 1, 2}) {
      SCOPED_TRACE(testing::Message() << draws << " draws, " << helpers << " helpers");
      driver::NormalFeed feed(12345, scale, draws, &rgninv_block);
      std::vector<std::thread> threads;
      for (int h = 0; h < helpers; ++h) {
        feed.attach();
        threads.emplace_back([&] {
          feed.help();
          feed.leave();
        });
      }
      numlib::GeneratorRecord g;
      g.state = 12345;
      g.scale = scale;
      float u[driver::NormalFeed::BLOCK];
      for (int64_t b = 0; b < feed.blocks(); ++b) {
        const int64_t n = std::min<int64_t>(driver::NormalFeed::BLOCK, draws - b * driver::NormalFeed::BLOCK);
        for (int64_t j = 0; j < n; ++j) u[j] = numlib::detail::rg_step(g);
        const float* z = feed.take(b);
        if (z != nullptr) {
          for (int64_t j = 0; j < n; ++j) ASSERT_EQ(z[j], numlib::RGNINV(u[j])) << b << " " << j;
        }
        feed.done_with(b);
      }
      EXPECT_EQ(feed.state_before(draws), g.state);
      feed.close();
      for (std::thread& th : threads) th.join();
    }
  }
}

// ---- ladders of scripted chains -------------------------------------------------

// What a scripted chain does besides drawing its deviates: in its sweep
// `at` it draws that sweep's deviates one by one and then
enum class Act {
  none,
  warn,    // prints a warning with the first of them (%(R1)); the warning reaches USER
  store,   // stores the first of them as %(R2) and prints nothing
  show,    // prints a warning that looks up %(R2) without storing it
  stop,    // raises a terminal error: the run stops
};

struct Step {
  int32_t hits = 0;
  Act act = Act::none;
};

struct Script {
  const char* name;
  Step steps[driver::LADDER_RUNGS];
};

const Script* g_script = nullptr;
std::atomic<int> g_chains{0};

constexpr char kScripted[] = "SCRIPT";

// A chain that draws what a chain draws (one deviate per parameter and
// sweep, the stream advanced in steps between its polls), acts as its step
// says in the middle of the chain and has the hits the step gives.
int32_t scripted_chain(const driver::RunState& s, Sampler, int32_t, int32_t niter,
                       driver::ChainArrays&, numlib::Context& lib, const driver::ChainPoll& poll) {
  ++g_chains;
  int rung = 0;
  while (driver::LADDER_NITER[rung] != niter) ++rung;
  const Step& step = g_script->steps[rung];
  const int64_t npar = s.problem.NPAR;
  const int64_t total = int64_t{driver::NBURN} + niter;
  const int64_t at = total / 2;
  const int64_t every = poll.every > 0 ? poll.every : total;
  for (int64_t done = 0; done < total;) {
    const int64_t until = std::min(total, done + every);
    if (done < at && at <= until) {
      lib.generator.state = numlib::rg_advance(lib.generator.state, (at - 1 - done) * npar);
      const float u = numlib::RGUNIF(lib);
      lib.generator.state = numlib::rg_advance(lib.generator.state, npar - 1);
      switch (step.act) {
        case Act::none: break;
        case Act::warn:
          numlib::E1PSH(lib, kScripted);
          numlib::E1SUBR(lib, 1, u);
          numlib::E1MSG(lib, numlib::ERR_WARNING, rung + 1, "U = %(R1).");
          numlib::E1POP(lib, kScripted);
          break;
        case Act::store: numlib::E1SUBR(lib, 2, u); break;
        case Act::show:
          numlib::E1PSH(lib, kScripted);
          numlib::E1MSG(lib, numlib::ERR_WARNING, rung + 1, "V = %(R2).");
          numlib::E1POP(lib, kScripted);
          break;
        case Act::stop:
          numlib::E1PSH(lib, kScripted);
          numlib::E1MSG(lib, numlib::ERR_TERMINAL, rung + 1, "Stopped.");
          numlib::E1POP(lib, kScripted);
          break;
      }
      lib.generator.state = numlib::rg_advance(lib.generator.state, (until - at) * npar);
    } else {
      lib.generator.state = numlib::rg_advance(lib.generator.state, (until - done) * npar);
    }
    done = until;
    if (poll.every > 0 && done < total) poll.call(poll.context, done, 0);
  }
  return step.hits;
}

// Everything a ladder leaves that anything after it can see.
struct LadderOutcome {
  std::string console;
  test_support::Ending ending;
  float estimate = 0.0f;
  int32_t niter = 0, nhit = 0;
  int32_t state = 0, user_type = 0, user_code = 0;
  bool r2_set = false;
  float r2 = 0.0f;
};

LadderOutcome climb(const Script& script, int32_t threads) {
  g_script = &script;
  LoadedRun r("c\n2 1\nm\n0.3 0.1\nv\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n");
  driver::RunState& s = r.s;
  s.threads = threads;
  s.ahead_min_work = 0;  // every chain ahead, however small
  LadderOutcome o;
  o.ending = test_support::ending_of([&] {
    const driver::LadderEnd end =
        driver::climb_ladder(s, Sampler::fit, 1, s.fit_chain, s.fit, &scripted_chain);
    o.niter = end.niter;
    o.nhit = end.nhit;
  });
  o.console = r.printed();
  o.estimate = s.fit.estimate(1);
  o.state = s.lib.generator.state;
  o.user_type = s.lib.handler.levels[1].type;
  o.user_code = s.lib.handler.levels[1].code;
  o.r2_set = s.lib.messages.reals[1].set;
  o.r2 = s.lib.messages.reals[1].value;
  return o;
}

constexpr Step kClimb = {0, Act::none};

const Script kScripts[] = {
    {"to the top", {kClimb, kClimb, kClimb, kClimb, kClimb, kClimb, kClimb}},
    {"warnings, a stored value and a message looking it up",
     {kClimb, {0, Act::warn}, kClimb, {0, Act::store}, {0, Act::show}, {0, Act::warn}, {3, Act::show}}},
    {"a stop in a chain the ladder never gets to", {{500, Act::none}, {0, Act::stop}, {0, Act::stop}}},
    {"a stop in a chain the ladder gets to", {kClimb, {0, Act::stop}, {0, Act::warn}}},
    {"messages after the chain that stops the ladder",
     {{0, Act::store}, kClimb, {404, Act::none}, {0, Act::warn}, {0, Act::stop}, {0, Act::show}}},
};

TEST(Ladder, ChainsAheadOnThreadsEndAsChainsOneAfterAnother) {
  for (const Script& script : kScripts) {
    SCOPED_TRACE(script.name);
    const LadderOutcome one = climb(script, 1);
    for (int32_t threads : {2, 3, 7}) {
      SCOPED_TRACE(testing::Message() << threads << " threads");
      g_chains = 0;
      const LadderOutcome many = climb(script, threads);
      EXPECT_EQ(many.console, one.console);
      EXPECT_EQ(many.ending.ended, one.ending.ended);
      EXPECT_EQ(many.ending.status, one.ending.status);
      EXPECT_EQ(many.ending.pending, one.ending.pending);
      EXPECT_EQ(many.estimate, one.estimate);
      EXPECT_EQ(many.niter, one.niter);
      EXPECT_EQ(many.nhit, one.nhit);
      EXPECT_EQ(many.state, one.state);
      EXPECT_EQ(many.user_type, one.user_type);
      EXPECT_EQ(many.user_code, one.user_code);
      EXPECT_EQ(many.r2_set, one.r2_set);
      EXPECT_EQ(many.r2, one.r2);
    }
  }
  // The scripts do what they say: warnings printed, a stop, the stored value
  // shown by a later chain.
  const LadderOutcome busy = climb(kScripts[1], 1);
  EXPECT_NE(busy.console.find("WARNING ERROR 2 from SCRIPT.  U = "), std::string::npos);
  EXPECT_NE(busy.console.find("WARNING ERROR 5 from SCRIPT.  V = "), std::string::npos);
  EXPECT_EQ(busy.niter, 10000000);
  EXPECT_TRUE(climb(kScripts[3], 1).ending.ended);
  EXPECT_EQ(climb(kScripts[4], 1).console, "");
}

// With chains run ahead, the hooks are still called on the caller's thread
// only, about the chain the ladder is at: every chain kept reports its end,
// in the order of the ladder, and a chain the ladder never gets to reports
// nothing. A cancel ends the ladder, its threads stop.
TEST(Ladder, HooksSeeTheChainsKeptInOrderAndCancelEndsTheLadder) {
  const Script& script = kScripts[4];  // stops after the third chain
  g_script = &script;
  LoadedRun r("c\n2 1\nm\n0.3 0.1\nv\n0.04 0.01\n0.01 0.09\nr\n1 -1 0\n");
  driver::RunState& s = r.s;
  s.threads = 3;
  s.ahead_min_work = 0;
  const std::thread::id caller = std::this_thread::get_id();
  std::vector<std::pair<int32_t, int64_t>> ends;  // niter, done at each end of a chain
  bool other_thread = false;
  s.hooks.progress = [&](const driver::Progress& p) {
    other_thread = other_thread || std::this_thread::get_id() != caller;
    if (p.sweeps_done == p.sweeps_total) ends.push_back({p.iterations, p.sweeps_done});
  };
  (void)driver::climb_ladder(s, Sampler::fit, 1, s.fit_chain, s.fit, &scripted_chain);
  EXPECT_FALSE(other_thread);
  ASSERT_EQ(ends.size(), 3u);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(ends[j].first, driver::LADDER_NITER[j]);

  int calls = 0;
  s.hooks.cancel = [&] { return ++calls > 1; };
  const test_support::Ending e = test_support::ending_of(
      [&] { (void)driver::climb_ladder(s, Sampler::fit, 1, s.fit_chain, s.fit, &scripted_chain); });
  EXPECT_TRUE(e.ended);
  EXPECT_EQ(e.status, Status::cancelled);
}

// A chain whose predecessor left the library in another state than it was
// started from runs again from the state left (and only then).
TEST(Ladder, AChainStartedFromAnotherStateRunsAgain) {
  g_chains = 0;
  (void)climb(kScripts[0], 2);
  EXPECT_LE(g_chains.load(), driver::LADDER_RUNGS);
  g_chains = 0;
  (void)climb(kScripts[1], 2);
  EXPECT_GT(g_chains.load(), driver::LADDER_RUNGS);
}

}  // namespace
