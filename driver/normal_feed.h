// The standard normal deviates of an unrestricted chain (one per draw, RGNINV
// of the draw's uniform deviate), made in blocks by another thread ahead of
// the chain, or by the chain itself where none did.
//
// Block b holds the deviates of draws b*BLOCK .. (b+1)*BLOCK - 1 of the
// chain, made from the stream advanced b*BLOCK steps past the chain's start,
// so a block is the same numbers whoever makes it and whenever. The chain
// takes the blocks in order; a helper makes the blocks after the one the
// chain is at, as far as the ring of RING blocks allows. Each block is made
// once: the chain or a helper takes it (a compare-and-swap on its entry)
// before making it.
//
// Why atomics and yields rather than the ladder's mutex: the chain takes a
// block every 1024 draws (about 10 microseconds of an unrestricted chain),
// and the helper exists only to shorten that chain's critical path, so the
// handover must cost a few nanoseconds. The waits are short and bounded:
// the chain waits (yielding) only for a block a helper has taken and is
// making, at most one block's work; a helper yields only while it is a
// whole ring ahead of the chain, and it runs only when no chain is left
// to start, so its core would be idle anyway; close() waits for helpers to
// notice `closing_`, which they look at before every block. Every datum is
// handed over through an acquire/release pair (the entry for a block's
// deviates, consumed_ for a slot of the ring made free), which the
// ThreadSanitizer job of .ci/run checks through the ladder and feed tests.
// Measured: without a helper `free` takes about 20 ns per draw, with one
// about 14 (bench/README.md).
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "numlib/precision.h"
#include "numlib/random.h"

namespace driver {

class NormalFeed {
 public:
  static constexpr int BLOCK = 1024;
  static constexpr int RING = 16;

  // The chain's `draws` deviates from the generator state `start` with the
  // deviate scale `scale`; `rgninv` makes z[j] := RGNINV(u[j]), j < n.
  NormalFeed(int32_t start, float scale, int64_t draws, void (*rgninv)(const float*, float*, int))
      : start_(start), scale_(scale), draws_(draws), rgninv_(rgninv) {
    for (auto& e : entry_) e.store(-2, std::memory_order_relaxed);
  }
  NormalFeed(const NormalFeed&) = delete;
  NormalFeed& operator=(const NormalFeed&) = delete;

  int64_t blocks() const { return (draws_ + BLOCK - 1) / BLOCK; }
  int64_t draws() const { return draws_; }
  // The generator state before draw `first` of the chain.
  int32_t state_before(int64_t first) const { return numlib::rg_advance(start_, first); }
  float scale() const { return scale_; }

  // The chain, at block b: the block's deviates if a helper made (or is
  // making) them, or nullptr when the chain is to make them itself (it has
  // taken the block).
  const float* take(int64_t b) {
    std::atomic<int64_t>& e = entry_[b % RING];
    int64_t v = e.load(std::memory_order_acquire);
    while (v < 2 * b) {
      if (e.compare_exchange_weak(v, 2 * b, std::memory_order_acq_rel)) return nullptr;
    }
    while (v == 2 * b) {  // a helper is making it
      std::this_thread::yield();
      v = e.load(std::memory_order_acquire);
    }
    return z_[b % RING];
  }
  // The chain is done with block b: its entry may take block b + RING.
  void done_with(int64_t b) { consumed_.store(b + 1, std::memory_order_release); }

  // A helper: makes blocks ahead of the chain until the chain closes the
  // feed (however the chain ends, also when it is abandoned) or no block is
  // left.
  void help() {
    int64_t h = 0;
    float u[BLOCK];
    while (!closing_.load(std::memory_order_acquire)) {
      const int64_t c = consumed_.load(std::memory_order_acquire);
      if (h <= c) h = c + 1;  // the chain is at block c
      if (h >= blocks()) return;
      if (h >= c + RING) {  // the ring is full: the chain is behind
        std::this_thread::yield();
        continue;
      }
      std::atomic<int64_t>& e = entry_[h % RING];
      int64_t v = e.load(std::memory_order_acquire);
      if (v < 2 * h && e.compare_exchange_strong(v, 2 * h, std::memory_order_acq_rel)) {
        make(h, u, z_[h % RING]);
        e.store(2 * h + 1, std::memory_order_release);
      }
      ++h;
    }
  }

  // Helpers come through attach() and leave through leave(); close() makes
  // them leave and waits until they have.
  void attach() { helpers_.fetch_add(1, std::memory_order_acq_rel); }
  void leave() { helpers_.fetch_sub(1, std::memory_order_acq_rel); }
  void close() {
    closing_.store(true, std::memory_order_release);
    while (helpers_.load(std::memory_order_acquire) > 0) std::this_thread::yield();
  }

 private:
  void make(int64_t b, float* u, float* z) const {
    const int64_t first = b * BLOCK;
    const int n = static_cast<int>(draws_ - first < BLOCK ? draws_ - first : BLOCK);
    numlib::GeneratorRecord g;
    g.state = state_before(first);
    g.scale = scale_;
    for (int j = 0; j < n; ++j) u[j] = numlib::detail::rg_step(g);
    rgninv_(u, z, n);
  }

  const int32_t start_;
  const float scale_;
  const int64_t draws_;
  void (*const rgninv_)(const float*, float*, int);
  // 2b: block b taken (being made); 2b + 1: block b ready.
  std::atomic<int64_t> entry_[RING];
  std::atomic<int64_t> consumed_{0};
  std::atomic<int> helpers_{0};
  std::atomic<bool> closing_{false};
  alignas(64) float z_[RING][BLOCK];
};

}  // namespace driver
