// The iteration ladder with its chains run ahead of time (see ladder.h).
//
// The caller's thread runs no chain here: it starts the chains on the
// workers, waits for the one that comes next in the ladder, takes it over
// (or, when it started from another state than the one the chains before it
// left, runs it once more itself), decides whether the ladder climbs, and
// asks the run's hooks now and then. The workers never call the hooks.
#include "driver/ladder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "driver/normal_feed.h"
#include "driver/samplers.h"
#include "numlib/context.h"
#include "numlib/float_environment.h"
#include "numlib/random.h"
#include "textio/textio.h"

namespace driver {

namespace {

// Thrown inside a chain that is no longer wanted.
struct Abandoned {};

// A chain run ahead publishes how far it is, and looks whether it is still
// wanted, every this many draws.
constexpr int64_t AHEAD_POLL_DRAWS = 1024;

// The caller looks at the chains in flight and asks the hooks this often
// while it waits.
constexpr auto WAIT_INTERVAL = std::chrono::milliseconds(10);

void allocate_like(ChainArrays& a, const ChainArrays& like) {
  a.point.allocate(like.point.name(), like.point.extent());
  if (like.MEANS.extent() > 0) a.MEANS.allocate(like.MEANS.name(), like.MEANS.extent());
  a.SLACKS.allocate(like.SLACKS.name(), like.SLACKS.extent());
}

template <typename T>
void copy_elements(Array1<T>& to, const Array1<T>& from) {
  std::copy(from.data(), from.data() + from.extent(), to.data());
}

}  // namespace

// One place where a chain runs ahead of time: a library context and a
// console of its own, and chain arrays of its own for either sampler (named
// and sized as the run's own).
struct AheadSlot {
  explicit AheadSlot(const RunState& s) {
    console.keep_journal();
    allocate_like(fit_arrays, s.fit_chain);
    allocate_like(complexity_arrays, s.complexity_chain);
  }
  ChainArrays& arrays() { return kind == SamplerKind::fit ? fit_arrays : complexity_arrays; }

  textio::Console console;
  numlib::Context ctx{console};
  ChainArrays fit_arrays, complexity_arrays;
  numlib::ContextState start;  // the state ctx was set to before the chain

  // The chain.
  SamplerKind kind = SamplerKind::fit;
  int32_t k = 0;
  int rung = -1;
  int32_t niter = 0;
  int32_t stop_hits = 0;

  // Published by the chain now and then; abandon is set by the caller.
  std::atomic<int64_t> sweeps{0};
  std::atomic<int32_t> hits{0};
  std::atomic<bool> abandon{false};

  // Guarded by LadderWorkers::mutex.
  enum class State { idle, posted, running, done } state = State::idle;
  // What the slot's worker does: run the chain, or help the chain of
  // another slot make its deviates.
  enum class Job { chain, help } job = Job::chain;
  AheadSlot* helped = nullptr;  // the slot helped (Job::help)
  NormalFeed* feed = nullptr;   // the chain's offer, while it stands
  bool has_helper = false;
  std::mutex* mutex = nullptr;  // LadderWorkers::mutex

  // What the chain left, written before `done`.
  int32_t nhit = 0;
  bool ended = false;  // a stop ended it: textio::RunEnded(ended_status, ended_pending)
  int ended_status = 0;
  std::string ended_pending;
  std::exception_ptr failure;
  bool abandoned = false;

  static void offer(void* self, NormalFeed* feed) {
    AheadSlot& slot = *static_cast<AheadSlot*>(self);
    std::lock_guard<std::mutex> lock(*slot.mutex);
    slot.feed = feed;
  }

  static void poll(void* self, int64_t sweeps_done, int32_t hits_so_far) {
    AheadSlot& slot = *static_cast<AheadSlot*>(self);
    slot.sweeps.store(sweeps_done, std::memory_order_relaxed);
    slot.hits.store(hits_so_far, std::memory_order_relaxed);
    if (slot.abandon.load(std::memory_order_relaxed)) throw Abandoned{};
  }
};

class LadderWorkers {
 public:
  LadderWorkers(const RunState& s, int n) : s_(s) {
    for (int i = 0; i < n; ++i) {
      slots.push_back(std::make_unique<AheadSlot>(s));
      slots.back()->mutex = &mutex;
    }
    try {
      for (int i = 0; i < n; ++i) threads_.emplace_back([this, i] { serve(*slots[static_cast<size_t>(i)]); });
    } catch (...) {
      stop();
      throw;
    }
  }
  ~LadderWorkers() { stop(); }
  LadderWorkers(const LadderWorkers&) = delete;
  LadderWorkers& operator=(const LadderWorkers&) = delete;

  std::mutex mutex;
  std::condition_variable work;  // a slot was posted, or the workers are to stop
  std::condition_variable done;  // a slot is done
  std::vector<std::unique_ptr<AheadSlot>> slots;
  ChainRunner chain = &run_chain;  // set by the ladder before it posts a chain

 private:
  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      quit_ = true;
    }
    work.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }

  void serve(AheadSlot& slot) {
    const numlib::DefaultFloatEnvironment in_default;  // whatever the starting thread had
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      work.wait(lock, [&] { return quit_ || slot.state == AheadSlot::State::posted; });
      if (quit_) return;
      slot.state = AheadSlot::State::running;
      lock.unlock();
      run(slot);
      lock.lock();
      slot.state = AheadSlot::State::done;
      done.notify_all();
    }
  }

  void run(AheadSlot& slot) {
    if (slot.job == AheadSlot::Job::help) {
      NormalFeed* feed = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex);
        feed = slot.helped->feed;
        if (feed != nullptr) feed->attach();
      }
      if (feed == nullptr) return;
      feed->help(slot.abandon);
      feed->leave();
      return;
    }
    const int64_t npar = std::max<int64_t>(1, s_.problem.NPAR);
    const ChainPoll poll{std::max<int64_t>(1, AHEAD_POLL_DRAWS / npar), &AheadSlot::poll, &slot,
                         &AheadSlot::offer};
    try {
      if (slot.abandon.load(std::memory_order_relaxed)) throw Abandoned{};
      slot.nhit = chain(s_, slot.kind, slot.k, slot.niter, slot.arrays(), slot.ctx, poll);
    } catch (const Abandoned&) {
      slot.abandoned = true;
    } catch (const textio::RunEnded& e) {
      slot.ended = true;
      slot.ended_status = e.status;
      slot.ended_pending = e.pending;
    } catch (...) {
      slot.failure = std::current_exception();
    }
  }

  const RunState& s_;
  bool quit_ = false;
  std::vector<std::thread> threads_;
};

namespace {

// Whatever way a ladder ends, no chain of it runs on afterwards: the chains
// still in flight are abandoned and waited for, and every slot is free
// again.
class InFlight {
 public:
  explicit InFlight(LadderWorkers& w) : w_(w) {}
  ~InFlight() {
    for (auto& slot : w_.slots) slot->abandon.store(true, std::memory_order_relaxed);
    std::unique_lock<std::mutex> lock(w_.mutex);
    for (auto& slot : w_.slots) {
      w_.done.wait(lock, [&] {
        return slot->state == AheadSlot::State::idle || slot->state == AheadSlot::State::done;
      });
      slot->state = AheadSlot::State::idle;
      slot->job = AheadSlot::Job::chain;
      slot->helped = nullptr;
      slot->feed = nullptr;
      slot->has_helper = false;
    }
  }
  InFlight(const InFlight&) = delete;
  InFlight& operator=(const InFlight&) = delete;

 private:
  LadderWorkers& w_;
};

}  // namespace

namespace {

// The hooks of the run, asked now and then during a chain run on the
// caller's thread.
struct HookPoll {
  RunState& s;
  int32_t k;
  SamplerKind kind;
  int32_t niter;

  static void call(void* self, int64_t done, int32_t) {
    const HookPoll& h = *static_cast<HookPoll*>(self);
    poll_hooks(h.s, h.k, h.kind, h.niter, done);
  }
};

// A chain on the run's own context, with the run's hooks asked now and then
// and at its end.
int32_t chain_here(RunState& s, SamplerKind kind, int32_t k, int32_t niter, ChainArrays& c,
                   ChainRunner chain) {
  HookPoll hooks{s, k, kind, niter};
  ChainPoll poll;
  const bool wanted = hooks_wanted(s);
  if (wanted) {
    poll.every = std::max<int64_t>(1, POLL_DRAWS / std::max<int64_t>(1, s.problem.NPAR));
    poll.call = &HookPoll::call;
    poll.context = &hooks;
  }
  const int32_t nhit = chain(s, kind, k, niter, c, s.lib, poll);
  if (wanted) poll_hooks(s, k, kind, niter, int64_t{NBURN} + niter);
  return nhit;
}

// Chain `rung` of the ladder on the caller's thread: true when the ladder
// climbs past it.
bool rung_here(RunState& s, SamplerKind kind, int32_t k, ChainArrays& c, Estimates& e,
               ChainRunner chain, int rung, LadderEnd& end) {
  const int32_t niter = LADDER_NITER[rung];
  const int32_t nhit = chain_here(s, kind, k, niter, c, chain);
  e.estimate(k) = static_cast<float>(nhit) / static_cast<float>(niter);
  end = {niter, nhit};
  return next_niter(niter, e.estimate(k)) != 0;
}

// Whether chain `rung` is worth starting on another thread: its work (its
// deviates, a truncated draw counting ten) at least s.ahead_min_work.
bool worth_ahead(const RunState& s, int32_t k, int rung) {
  const int64_t draws = chain_uniforms(s.problem.NPAR, LADDER_NITER[rung]);
  return (k == 1 ? draws : 10 * draws) >= s.ahead_min_work;
}

// The chains ahead of time on the run's threads; false, having done
// nothing, when the threads cannot be had.
bool climb_ahead(RunState& s, SamplerKind kind, int32_t k, ChainArrays& c, Estimates& e,
                 ChainRunner chain, int from, LadderEnd& end) {
  if (!s.workers) {
    // A run that cannot have its threads or their arrays climbs its ladders
    // itself; nothing of the attempt is seen.
    try {
      s.workers = std::make_shared<LadderWorkers>(s, std::min<int32_t>(s.threads, LADDER_RUNGS));
    } catch (const textio::RunEnded&) {
      s.threads = 1;
      return false;
    } catch (const std::system_error&) {
      s.threads = 1;
      return false;
    } catch (const std::bad_alloc&) {
      s.threads = 1;
      return false;
    }
  }
  LadderWorkers& w = *s.workers;
  w.chain = chain;
  InFlight in_flight(w);

  // The deviates drawn before each chain, from the start of the ladder.
  int64_t before[LADDER_RUNGS + 1];
  before[0] = 0;
  for (int j = 0; j < LADDER_RUNGS; ++j)
    before[j + 1] = before[j] + chain_uniforms(s.problem.NPAR, LADDER_NITER[j]);

  AheadSlot* slot_of[LADDER_RUNGS] = {};
  int first = from;               // the chain the ladder is at
  int next = from;                // the next chain to start
  int last = LADDER_RUNGS - 1;    // the last chain the ladder may still need

  // Starts chain j on a free slot, from the state the run's context is in
  // now (that at the start of chain `first`) with the stream advanced past
  // the chains first .. j-1. False when no slot is free.
  auto start = [&](int j) {
    AheadSlot* slot = nullptr;
    {
      std::lock_guard<std::mutex> lock(w.mutex);
      for (auto& candidate : w.slots)
        if (candidate->state == AheadSlot::State::idle) {
          slot = candidate.get();
          break;
        }
    }
    if (slot == nullptr) return false;
    numlib::ContextState state = numlib::state_of(s.lib);
    const int64_t ahead = before[j] - before[first];
    state.generator.state = numlib::rg_advance(state.generator.state, ahead);
    if (ahead > 0) state.generator.rgunif_called = true;
    numlib::set_state(slot->ctx, state);
    slot->start = std::move(state);
    slot->console.clear();
    slot->kind = kind;
    slot->k = k;
    slot->rung = j;
    slot->niter = LADDER_NITER[j];
    slot->stop_hits = stopping_hits(LADDER_NITER[j]);
    slot->sweeps.store(0, std::memory_order_relaxed);
    slot->hits.store(0, std::memory_order_relaxed);
    slot->abandon.store(false, std::memory_order_relaxed);
    slot->job = AheadSlot::Job::chain;
    slot->helped = nullptr;
    slot->feed = nullptr;
    slot->has_helper = false;
    slot->nhit = 0;
    slot->ended = false;
    slot->ended_pending.clear();
    slot->failure = nullptr;
    slot->abandoned = false;
    {
      std::lock_guard<std::mutex> lock(w.mutex);
      slot->state = AheadSlot::State::posted;
    }
    w.work.notify_all();
    slot_of[j] = slot;
    return true;
  };
  auto release = [&](int j) {
    std::lock_guard<std::mutex> lock(w.mutex);
    slot_of[j]->state = AheadSlot::State::idle;
    slot_of[j]->feed = nullptr;
    slot_of[j] = nullptr;
  };
  // A chain whose hits have reached the count that stops the ladder: no
  // chain after it will be needed.
  auto look_at_hits = [&] {
    for (int j = first; j < next && j < last; ++j) {
      if (slot_of[j] == nullptr) continue;
      if (slot_of[j]->hits.load(std::memory_order_relaxed) < slot_of[j]->stop_hits) continue;
      last = j;
      for (int later = j + 1; later < next; ++later)
        if (slot_of[later] != nullptr) slot_of[later]->abandon.store(true, std::memory_order_relaxed);
    }
  };
  // A worker with no chain to start helps the chain the ladder is at make
  // its deviates, when it offers them. Called with the lock held.
  auto offer_help = [&] {
    for (auto& slot : w.slots) {
      if (slot->job == AheadSlot::Job::help && slot->state == AheadSlot::State::done) {
        slot->state = AheadSlot::State::idle;
        if (slot->helped != nullptr) slot->helped->has_helper = false;
        slot->helped = nullptr;
      }
    }
    if (next <= last) return;
    AheadSlot* target = slot_of[first];
    if (target == nullptr || target->state != AheadSlot::State::running || target->feed == nullptr ||
        target->has_helper)
      return;
    for (auto& slot : w.slots) {
      if (slot->state != AheadSlot::State::idle) continue;
      slot->job = AheadSlot::Job::help;
      slot->helped = target;
      slot->abandon.store(false, std::memory_order_relaxed);
      slot->state = AheadSlot::State::posted;
      target->has_helper = true;
      w.work.notify_all();
      return;
    }
  };
  const bool hooked = hooks_wanted(s);

  for (;;) {
    while (next <= last && start(next)) ++next;
    if (slot_of[first] == nullptr) {
      // Every slot is still busy with chains that are no longer wanted.
      std::unique_lock<std::mutex> lock(w.mutex);
      w.done.wait_for(lock, WAIT_INTERVAL);
      continue;
    }
    AheadSlot& f = *slot_of[first];
    const int32_t niter = LADDER_NITER[first];
    {
      std::unique_lock<std::mutex> lock(w.mutex);
      while (f.state != AheadSlot::State::done) {
        offer_help();
        w.done.wait_for(lock, WAIT_INTERVAL);
        look_at_hits();
        if (hooked) {
          lock.unlock();
          poll_hooks(s, k, kind, niter, f.sweeps.load(std::memory_order_relaxed));
          lock.lock();
        }
      }
    }

    int32_t nhit;
    if (numlib::started_alike(f.start, f.ctx, s.lib)) {
      f.console.replay_to(s.console);
      numlib::hand_over_state(s.lib, f.ctx);
      if (f.ended) {
        const textio::RunEnded ending(f.ended_status, f.ended_pending);
        release(first);
        throw ending;
      }
      if (f.failure) {
        const std::exception_ptr failure = f.failure;
        release(first);
        std::rethrow_exception(failure);
      }
      ChainArrays& a = f.arrays();
      copy_elements(c.point, a.point);
      copy_elements(c.MEANS, a.MEANS);
      copy_elements(c.SLACKS, a.SLACKS);
      nhit = f.nhit;
      release(first);
      if (hooked) poll_hooks(s, k, kind, niter, int64_t{NBURN} + niter);
    } else {
      // The chains before it left another state than it started from (a
      // message of the library, say): it runs again, here, from that state.
      release(first);
      nhit = chain_here(s, kind, k, niter, c, chain);
    }

    e.estimate(k) = static_cast<float>(nhit) / static_cast<float>(niter);
    if (next_niter(niter, e.estimate(k)) == 0) {
      end = {niter, nhit};
      return true;
    }
    ++first;
  }
}

}  // namespace

LadderEnd climb_ladder(RunState& s, SamplerKind kind, int32_t k, ChainArrays& c, Estimates& e,
                       ChainRunner chain) {
  // The chains one after another here as long as the one after the chain
  // at hand is too small to be worth another thread (or the run has one),
  // then ahead of time from there.
  LadderEnd end;
  int rung = 0;
  for (;; ++rung) {
    if (s.threads != 1 && rung + 1 < LADDER_RUNGS && worth_ahead(s, k, rung + 1) &&
        (s.threads != 0 || (s.threads = default_threads()) > 1) &&
        climb_ahead(s, kind, k, c, e, chain, rung, end))
      return end;
    if (!rung_here(s, kind, k, c, e, chain, rung, end)) return end;
  }
}

}  // namespace driver
