// The iteration ladder with its chains run ahead (see ladder.h).
//
// Two sides share a LadderWorkers: the caller's thread, which climbs the
// ladder, and the workers, each of which runs the job of its own slot. The
// caller's thread runs no chain ahead: it starts chains on the slots, waits
// for the one the ladder is at, takes it over (or, when it started from
// another state than the one the chains before it left, runs it once more
// itself), decides whether the ladder climbs, and asks the run's hooks. The
// workers never call the hooks.
//
// LadderWorkers owns every slot's state and makes every change of it, under
// its one mutex:
//
//   idle    --post_chain, post_help (caller)------------------>  posted
//   posted  --the slot's worker takes it------------------------>  running
//   running --the worker: its chain returned, threw or gave up-->  done
//   done    --release, settle (caller)-------------------------->  idle
//
// While a chain runs it publishes its sweeps and hits and offers or
// withdraws its deviates, also under the mutex; the caller marks chains no
// longer wanted. The caller sleeps on a condition variable until a worker
// tells it something it acts on: a slot done, a chain whose hits stop the
// ladder, a chain offering its deviates to a helper, or (when the run has
// hooks) a chain past its next progress report.
#include "driver/ladder.h"

#include <algorithm>
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

void allocate_like(ChainArrays& a, const ChainArrays& like) {
  a.point.allocate(like.point.name(), like.point.extent());
  if (like.MEANS.extent() > 0) a.MEANS.allocate(like.MEANS.name(), like.MEANS.extent());
  a.SLACKS.allocate(like.SLACKS.name(), like.SLACKS.extent());
}

template <typename T>
void copy_elements(Array1<T>& to, const Array1<T>& from) {
  std::copy(from.data(), from.data() + from.extent(), to.data());
}

// Sweeps between two calls of the hooks, for NPAR parameters.
int64_t sweeps_per(int64_t draws, int32_t npar) {
  return std::max<int64_t>(1, draws / std::max<int64_t>(1, npar));
}

// How a chain run ahead ended.
struct ChainOutcome {
  int32_t nhit = 0;
  bool abandoned = false;
  bool ended = false;  // a stop ended it: textio::RunEnded(ended_status, ended_pending)
  textio::Status ended_status = textio::Status::ok;
  std::string ended_pending;
  std::exception_ptr failure;
};

}  // namespace

// One place where a chain runs ahead of time: a library context and a
// console of its own, and chain arrays of its own for either sampler (named
// and sized as the run's own).
struct AheadSlot {
  AheadSlot(const RunState& s, LadderWorkers& w) : workers(w) {
    console.keep_journal();
    allocate_like(fit_arrays, s.fit_chain);
    allocate_like(complexity_arrays, s.complexity_chain);
  }
  ChainArrays& arrays() { return kind == Sampler::fit ? fit_arrays : complexity_arrays; }

  // Sets the chain up on the context's state `from` (the slot is idle).
  void prepare(Sampler chain_kind, int32_t chain_k, int32_t chain_niter,
               numlib::ContextState from) {
    numlib::set_state(ctx, from);
    start = std::move(from);
    console.clear();
    kind = chain_kind;
    k = chain_k;
    niter = chain_niter;
    stop_hits = stopping_hits(chain_niter);
    outcome = ChainOutcome{};
  }

  // The chain's place: written by the caller while the slot is idle, by the
  // worker while it runs, read by the caller once it is done (the changes of
  // state, under the mutex, order these).
  textio::Console console;
  numlib::Context ctx{console};
  ChainArrays fit_arrays, complexity_arrays;
  numlib::ContextState start;  // the state ctx was set to before the chain
  Sampler kind = Sampler::fit;
  int32_t k = 0;
  int32_t niter = 0;
  int32_t stop_hits = 0;
  ChainOutcome outcome;

  // Guarded by LadderWorkers::mutex_.
  enum class State { idle, posted, running, done } state = State::idle;
  // What the slot's worker does: run the chain, or help the chain of
  // another slot make its deviates.
  enum class Job { chain, help } job = Job::chain;
  AheadSlot* helped = nullptr;  // the slot helped (Job::help)
  NormalFeed* feed = nullptr;   // the chain's offer, while it stands
  bool has_helper = false;      // a helper was posted for this chain
  bool abandon = false;         // the chain is no longer wanted
  int64_t sweeps = 0;           // published by the chain
  int32_t hits = 0;
  bool stop_told = false;  // the caller was told the hits reached stop_hits
  int64_t report_at = 0;   // the caller is told when sweeps reach this

  LadderWorkers& workers;

  static void poll(void* self, int64_t sweeps_done, int32_t hits_so_far);
  static void offer(void* self, NormalFeed* feed);
};

class LadderWorkers {
 public:
  LadderWorkers(const RunState& s, int n) : s_(s) {
    for (int i = 0; i < n; ++i) slots_.push_back(std::make_unique<AheadSlot>(s, *this));
    try {
      for (int i = 0; i < n; ++i) threads_.emplace_back([this, i] { serve(*slots_[static_cast<size_t>(i)]); });
    } catch (...) {
      stop();
      throw;
    }
  }
  ~LadderWorkers() { stop(); }
  LadderWorkers(const LadderWorkers&) = delete;
  LadderWorkers& operator=(const LadderWorkers&) = delete;

  // What the caller sees when it wakes: whether the chain it waits for is
  // done, and its sweeps so far.
  struct Sight {
    bool done = false;
    int64_t sweeps = 0;
  };

  // ---- the caller's side

  // A ladder begins: its chains run through `chain`; with hooks, the caller
  // is told every `report_every` sweeps of a chain.
  void begin(ChainRunner chain, bool hooked, int64_t report_every) {
    std::lock_guard<std::mutex> lock(mutex_);
    chain_ = chain;
    hooked_ = hooked;
    report_every_ = report_every;
  }

  // An idle slot, or nullptr. Only the caller posts, so it stays idle.
  AheadSlot* idle_slot() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& slot : slots_)
      if (slot->state == AheadSlot::State::idle) return slot.get();
    return nullptr;
  }

  // idle -> posted: the chain prepared on the slot.
  void post_chain(AheadSlot& slot) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slot.job = AheadSlot::Job::chain;
      slot.helped = nullptr;
      slot.feed = nullptr;
      slot.has_helper = false;
      slot.abandon = false;
      slot.sweeps = 0;
      slot.hits = 0;
      slot.stop_told = false;
      slot.report_at = report_every_;
      slot.state = AheadSlot::State::posted;
    }
    work_.notify_all();
  }

  // done -> idle: the caller has taken over the chain of the slot.
  void release(AheadSlot& slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    slot.state = AheadSlot::State::idle;
    slot.feed = nullptr;
  }

  void abandon(AheadSlot& slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    slot.abandon = true;
  }

  // The first of the n chains slots[0..n-1] (nullptr: not started) whose
  // hits have reached the count that stops the ladder, or n.
  int first_stopping(AheadSlot* const* slots, int n) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int j = 0; j < n; ++j)
      if (slots[j] != nullptr && slots[j]->hits >= slots[j]->stop_hits) return j;
    return n;
  }

  // Waits until a worker has told something since the last wait, or until
  // `awaited` is done (without one: until a slot is idle). Before it sleeps, it frees the slots of
  // helpers that are done and, when `help_target` offers its deviates and
  // has no helper yet, posts an idle slot to help it.
  Sight wait(AheadSlot* awaited, AheadSlot* help_target) {
    std::unique_lock<std::mutex> lock(mutex_);
    settle_helpers();
    if (help_target != nullptr) post_help(*help_target);
    changed_.wait(lock, [&] {
      if (told_) return true;
      if (awaited != nullptr) return awaited->state == AheadSlot::State::done;
      for (auto& slot : slots_)
        if (slot->state == AheadSlot::State::idle) return true;
      return false;
    });
    told_ = false;
    if (awaited == nullptr) return {};
    return {awaited->state == AheadSlot::State::done, awaited->sweeps};
  }

  // However a ladder ends, no chain of it runs on afterwards: every chain
  // still in flight is abandoned and waited for, and every slot is idle.
  void settle_all() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (auto& slot : slots_) slot->abandon = true;
    changed_.wait(lock, [&] {
      for (auto& slot : slots_)
        if (slot->state == AheadSlot::State::posted || slot->state == AheadSlot::State::running) return false;
      return true;
    });
    for (auto& slot : slots_) {
      slot->state = AheadSlot::State::idle;
      slot->job = AheadSlot::Job::chain;
      slot->helped = nullptr;
      slot->feed = nullptr;
      slot->has_helper = false;
    }
  }

  // ---- the workers' side, from inside a chain

  // The chain's progress; true when it is no longer wanted.
  bool publish(AheadSlot& slot, int64_t sweeps, int32_t hits) {
    std::lock_guard<std::mutex> lock(mutex_);
    slot.sweeps = sweeps;
    slot.hits = hits;
    if (!slot.stop_told && hits >= slot.stop_hits) {
      slot.stop_told = true;
      tell();
    }
    if (hooked_ && sweeps >= slot.report_at) {
      slot.report_at = sweeps + report_every_;
      tell();
    }
    return slot.abandon;
  }

  // The chain offers its deviates (or withdraws them: nullptr).
  void offer(AheadSlot& slot, NormalFeed* feed) {
    std::lock_guard<std::mutex> lock(mutex_);
    slot.feed = feed;
    if (feed != nullptr) tell();
  }

 private:
  // Called with the lock held.
  void tell() {
    told_ = true;
    changed_.notify_all();
  }

  // Called with the lock held: help slots done -> idle. The chain helped
  // keeps has_helper: its one helper has made every block it could.
  void settle_helpers() {
    for (auto& slot : slots_) {
      if (slot->job != AheadSlot::Job::help || slot->state != AheadSlot::State::done) continue;
      slot->state = AheadSlot::State::idle;
      slot->job = AheadSlot::Job::chain;
      slot->helped = nullptr;
    }
  }

  // Called with the lock held: idle -> posted, helping `target`.
  void post_help(AheadSlot& target) {
    if (target.state != AheadSlot::State::running || target.feed == nullptr || target.has_helper) return;
    for (auto& slot : slots_) {
      if (slot->state != AheadSlot::State::idle) continue;
      slot->job = AheadSlot::Job::help;
      slot->helped = &target;
      slot->abandon = false;
      slot->state = AheadSlot::State::posted;
      target.has_helper = true;
      work_.notify_all();
      return;
    }
  }

  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }

  // A worker: posted -> running, the job, running -> done.
  void serve(AheadSlot& slot) {
    const numlib::DefaultFloatEnvironment in_default;  // whatever the starting thread had
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_.wait(lock, [&] { return quit_ || slot.state == AheadSlot::State::posted; });
      if (quit_) return;
      slot.state = AheadSlot::State::running;
      const AheadSlot::Job job = slot.job;
      const bool abandoned = slot.abandon;
      const ChainRunner chain = chain_;
      NormalFeed* feed = job == AheadSlot::Job::help ? slot.helped->feed : nullptr;
      if (feed != nullptr) feed->attach();  // under the lock: the chain cannot withdraw it first
      lock.unlock();
      if (job == AheadSlot::Job::chain) {
        run(slot, chain, abandoned);
      } else if (feed != nullptr) {
        feed->help();
        feed->leave();
      }
      lock.lock();
      slot.state = AheadSlot::State::done;
      tell();
    }
  }

  void run(AheadSlot& slot, ChainRunner chain, bool abandoned) {
    ChainOutcome& o = slot.outcome;
    if (abandoned) {
      o.abandoned = true;
      return;
    }
    const ChainPoll poll{sweeps_per(AHEAD_POLL_DRAWS, s_.problem.NPAR), &AheadSlot::poll, &slot,
                         &AheadSlot::offer};
    try {
      o.nhit = chain(s_, slot.kind, slot.k, slot.niter, slot.arrays(), slot.ctx, poll);
    } catch (const Abandoned&) {
      o.abandoned = true;
    } catch (const textio::RunEnded& e) {
      o.ended = true;
      o.ended_status = e.status;
      o.ended_pending = e.pending;
    } catch (...) {
      o.failure = std::current_exception();
    }
  }

  const RunState& s_;
  std::vector<std::unique_ptr<AheadSlot>> slots_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable work_;     // a slot was posted, or the workers are to stop
  std::condition_variable changed_;  // a worker told the caller something
  // Guarded by mutex_.
  bool quit_ = false;
  bool told_ = false;
  ChainRunner chain_ = &run_chain;
  bool hooked_ = false;
  int64_t report_every_ = 1;
};

void AheadSlot::poll(void* self, int64_t sweeps_done, int32_t hits_so_far) {
  AheadSlot& slot = *static_cast<AheadSlot*>(self);
  if (slot.workers.publish(slot, sweeps_done, hits_so_far)) throw Abandoned{};
}

void AheadSlot::offer(void* self, NormalFeed* feed) {
  AheadSlot& slot = *static_cast<AheadSlot*>(self);
  slot.workers.offer(slot, feed);
}

namespace {

// The hooks of the run, asked now and then during a chain run on the
// caller's thread.
struct HookPoll {
  RunState& s;
  int32_t k;
  Sampler kind;
  int32_t niter;

  static void call(void* self, int64_t done, int32_t) {
    const HookPoll& h = *static_cast<HookPoll*>(self);
    poll_hooks(h.s, h.k, h.kind, h.niter, done);
  }
};

// A chain on the run's own context, with the run's hooks asked now and then
// and at its end.
int32_t chain_here(RunState& s, Sampler kind, int32_t k, int32_t niter, ChainArrays& c,
                   ChainRunner chain) {
  HookPoll hooks{s, k, kind, niter};
  ChainPoll poll;
  const bool wanted = hooks_wanted(s);
  if (wanted) {
    poll.every = sweeps_per(POLL_DRAWS, s.problem.NPAR);
    poll.call = &HookPoll::call;
    poll.context = &hooks;
  }
  const int32_t nhit = chain(s, kind, k, niter, c, s.lib, poll);
  if (wanted) poll_hooks(s, k, kind, niter, int64_t{NBURN} + niter);
  return nhit;
}

// Chain `rung` of the ladder on the caller's thread: true when the ladder
// climbs past it.
bool rung_here(RunState& s, Sampler kind, int32_t k, ChainArrays& c, Estimates& e,
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

// Whether the ladder at `rung` goes on ahead of time: the next chain is
// worth a thread and the run has more than one (looked up the first time
// it is asked, when the run leaves the number to the machine).
bool wants_ahead(RunState& s, int32_t k, int rung) {
  if (s.threads == 1 || rung + 1 >= LADDER_RUNGS || !worth_ahead(s, k, rung + 1)) return false;
  if (s.threads == 0) s.threads = default_threads();
  return s.threads > 1;
}

// The run's workers, made the first time a ladder needs them; false when
// the threads or their arrays cannot be had: the run then climbs its
// ladders itself from now on, and nothing of the attempt is seen.
bool have_workers(RunState& s) {
  if (s.workers) return true;
  try {
    s.workers = std::make_shared<LadderWorkers>(s, std::min<int32_t>(s.threads, LADDER_RUNGS));
    return true;
  } catch (const textio::RunEnded&) {
  } catch (const std::system_error&) {
  } catch (const std::bad_alloc&) {
  }
  s.threads = 1;
  return false;
}

// The caller's side of a ladder climbed ahead of time, from chain `from` on.
class AheadClimb {
 public:
  AheadClimb(RunState& s, Sampler kind, int32_t k, ChainArrays& c, Estimates& e,
             ChainRunner chain, int from)
      : s_(s), kind_(kind), k_(k), c_(c), e_(e), chain_(chain), w_(*s.workers), first_(from),
        next_(from), hooked_(hooks_wanted(s)) {
    before_[0] = 0;
    for (int j = 0; j < LADDER_RUNGS; ++j)
      before_[j + 1] = before_[j] + chain_uniforms(s.problem.NPAR, LADDER_NITER[j]);
    w_.begin(chain, hooked_, sweeps_per(POLL_DRAWS, s.problem.NPAR));
  }
  ~AheadClimb() { w_.settle_all(); }
  AheadClimb(const AheadClimb&) = delete;
  AheadClimb& operator=(const AheadClimb&) = delete;

  LadderEnd climb() {
    for (;;) {
      while (next_ <= last_ && start(next_)) ++next_;
      AheadSlot* f = slot_of_[first_];
      if (f == nullptr) {  // every slot still busy with chains no longer wanted
        (void)w_.wait(nullptr, nullptr);
        continue;
      }
      wait_until_done(*f);
      const int32_t niter = LADDER_NITER[first_];
      const int32_t nhit = take_over(*f);
      e_.estimate(k_) = static_cast<float>(nhit) / static_cast<float>(niter);
      if (next_niter(niter, e_.estimate(k_)) == 0) return {niter, nhit};
      ++first_;
    }
  }

 private:
  // Starts chain j on an idle slot, from the state the run's context is in
  // now (that at the start of chain first_) with the stream advanced past
  // the chains first_ .. j-1. False when no slot is idle.
  bool start(int j) {
    AheadSlot* slot = w_.idle_slot();
    if (slot == nullptr) return false;
    numlib::ContextState state = numlib::state_of(s_.lib);
    const int64_t ahead = before_[j] - before_[first_];
    state.generator.state = numlib::rg_advance(state.generator.state, ahead);
    if (ahead > 0) state.generator.rgunif_called = true;
    slot->prepare(kind_, k_, LADDER_NITER[j], std::move(state));
    w_.post_chain(*slot);
    slot_of_[j] = slot;
    return true;
  }

  // Sleeps until the chain the ladder is at is done; on the way, lets a
  // worker that has no chain left to start help it, stops the ladder where a
  // chain's hits say so, and asks the hooks when the chain is past a report.
  void wait_until_done(AheadSlot& f) {
    for (;;) {
      const LadderWorkers::Sight now = w_.wait(&f, next_ > last_ ? &f : nullptr);
      stop_at_hits();
      if (now.done) return;
      if (hooked_) poll_hooks(s_, k_, kind_, LADDER_NITER[first_], now.sweeps);
    }
  }

  // A chain whose hits have reached the count that stops the ladder: no
  // chain after it will be needed.
  void stop_at_hits() {
    const int end = std::min(next_, last_);
    if (first_ >= end) return;
    const int j = first_ + w_.first_stopping(slot_of_ + first_, end - first_);
    if (j >= end) return;
    last_ = j;
    for (int later = j + 1; later < next_; ++later)
      if (slot_of_[later] != nullptr) w_.abandon(*slot_of_[later]);
  }

  // The chain the ladder is at, done: its hits, with what it printed, its
  // library state and its arrays taken over (and a stop in it thrown) when
  // it started from the state the chains before it left; otherwise it runs
  // again, here, from that state (a message of the library, say).
  int32_t take_over(AheadSlot& f) {
    const int32_t niter = f.niter;
    if (f.outcome.abandoned || !numlib::started_alike(f.start, f.ctx, s_.lib)) {
      release_first();
      return chain_here(s_, kind_, k_, niter, c_, chain_);
    }
    f.console.replay_to(s_.console);
    numlib::hand_over_state(s_.lib, f.ctx);
    const ChainOutcome o = std::move(f.outcome);
    if (!o.ended && !o.failure) {
      ChainArrays& a = f.arrays();
      copy_elements(c_.point, a.point);
      copy_elements(c_.MEANS, a.MEANS);
      copy_elements(c_.SLACKS, a.SLACKS);
    }
    release_first();
    if (o.ended) throw textio::RunEnded(o.ended_status, o.ended_pending);
    if (o.failure) std::rethrow_exception(o.failure);
    if (hooked_) poll_hooks(s_, k_, kind_, niter, int64_t{NBURN} + niter);
    return o.nhit;
  }

  void release_first() {
    w_.release(*slot_of_[first_]);
    slot_of_[first_] = nullptr;
  }

  RunState& s_;
  const Sampler kind_;
  const int32_t k_;
  ChainArrays& c_;
  Estimates& e_;
  const ChainRunner chain_;
  LadderWorkers& w_;
  int64_t before_[LADDER_RUNGS + 1];  // the deviates drawn before each chain, from the ladder's start
  AheadSlot* slot_of_[LADDER_RUNGS] = {};
  int first_;                     // the chain the ladder is at
  int next_;                      // the next chain to start
  int last_ = LADDER_RUNGS - 1;   // the last chain the ladder may still need
  const bool hooked_;
};

}  // namespace

LadderEnd climb_ladder(RunState& s, Sampler kind, int32_t k, ChainArrays& c, Estimates& e,
                       ChainRunner chain) {
  // The chains one after another here as long as the one after the chain
  // at hand is too small to be worth another thread (or the run has one),
  // then ahead of time from there.
  LadderEnd end;
  for (int rung = 0;; ++rung) {
    if (wants_ahead(s, k, rung) && have_workers(s)) return AheadClimb(s, kind, k, c, e, chain, rung).climb();
    if (!rung_here(s, kind, k, c, e, chain, rung, end)) return end;
  }
}

}  // namespace driver
