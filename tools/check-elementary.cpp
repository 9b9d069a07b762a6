// Compares the program's own expf, logf, log10f and powf (numlib/elementary.h)
// with the C library's, bit for bit: exp, log and log10 on all 2^32 floats,
// pow on the ranges the Beta deviates use and on random pairs. Prints every
// input where they differ (up to a limit) and the count per function; exit
// status 1 when any differs. tools/check-elementary.sh builds it and runs it
// under glibc's portable and FMA code paths.
//
//   check-elementary [exp|log|log10|pow|all] [random pairs, default 1e9]
//   check-elementary probe     (status 0 when the C library's powf is its
//                              portable build)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "numlib/elementary.h"

namespace {

using numlib::elementary::bits;
using numlib::elementary::float_of;

std::mutex out_mutex;
constexpr int kShowAtMost = 20;

struct Tally {
  uint64_t checked = 0;
  uint64_t differ = 0;
};

// Same bits, or both NaN.
bool same(float a, float b) { return bits(a) == bits(b) || (a != a && b != b); }

void report(const char* name, float x, float y, bool two, float ours, float libc, Tally& t) {
  ++t.differ;
  if (t.differ > kShowAtMost) return;
  std::lock_guard<std::mutex> lock(out_mutex);
  if (two)
    std::printf("%s(%a, %a) [%08x %08x]: ours %a [%08x], C library %a [%08x]\n", name, x, y, bits(x),
                bits(y), ours, bits(ours), libc, bits(libc));
  else
    std::printf("%s(%a) [%08x]: ours %a [%08x], C library %a [%08x]\n", name, x, bits(x), ours,
                bits(ours), libc, bits(libc));
}

// Every float input of f, split among the threads.
template <class Ours, class Libc>
Tally exhaustive(const char* name, Ours ours, Libc libc, unsigned threads) {
  std::vector<Tally> part(threads);
  std::vector<std::thread> pool;
  const uint64_t n = uint64_t{1} << 32;
  for (unsigned w = 0; w < threads; ++w)
    pool.emplace_back([&, w] {
      for (uint64_t u = n / threads * w; u < n / threads * (w + 1); ++u) {
        const float x = float_of(static_cast<uint32_t>(u));
        const float a = ours(x), b = libc(x);
        if (!same(a, b)) report(name, x, 0.0f, false, a, b, part[w]);
      }
      part[w].checked = n / threads;
    });
  for (std::thread& t : pool) t.join();
  Tally all;
  for (const Tally& t : part) all.checked += t.checked, all.differ += t.differ;
  return all;
}

// A small, fast generator (xorshift64*) for the random pairs.
struct Rng {
  uint64_t s;
  uint32_t next() {
    s ^= s >> 12, s ^= s << 25, s ^= s >> 27;
    return static_cast<uint32_t>((s * 0x2545F4914F6CDD1Dull) >> 32);
  }
};

void compare_pow(float x, float y, Tally& t) {
  const float a = numlib::powf(x, y), b = ::powf(x, y);
  ++t.checked;
  if (!same(a, b)) report("pow", x, y, true, a, b, t);
}

// The bases the Beta deviates raise: every float in (0, 1), to exponents
// of the kinds they use (1/p, p - 1 for p from 0.01 to 1e6).
void pow_engine_ranges(Tally& t, unsigned w, unsigned threads) {
  static constexpr float exponents[] = {1.0f / 3.0f, 1.0f / 7.0f, 1.0f / 1001.0f, 0.5f,     2.0f,
                                        -0.5f,       -0.99f,      -0.01f,         99.0f,    1e-6f,
                                        1234.5f,     999999.0f,   1.0f / 0.03f,   1.0f / 0.7f};
  for (const float y : exponents)
    for (uint32_t u = 1 + w; u < 0x3f800000u; u += threads * 3) compare_pow(float_of(u), y, t);
}

// Random pairs: a third with both bit patterns random, a third with x in
// (0, 2) and y in (-64, 64), a third with x in (0, 1) and y in (-1, 1e6).
void pow_random(Tally& t, uint64_t pairs, unsigned w) {
  Rng rng{0x9E3779B97F4A7C15ull * (w + 1)};
  for (uint64_t i = 0; i < pairs; ++i) {
    const uint32_t a = rng.next(), b = rng.next();
    float x, y;
    switch (i % 3) {
      case 0: x = float_of(a), y = float_of(b); break;
      case 1: x = float_of(a % 0x40000000u), y = float_of(b % 0x42800000u) * ((b & 1) ? -1.0f : 1.0f); break;
      default: x = float_of(a % 0x3f800000u), y = float_of(b % 0x49742400u) * ((b & 1) ? -1e-6f : 1.0f); break;
    }
    compare_pow(x, y, t);
  }
}

Tally check_pow(uint64_t pairs, unsigned threads) {
  std::vector<Tally> part(threads);
  std::vector<std::thread> pool;
  for (unsigned w = 0; w < threads; ++w)
    pool.emplace_back([&, w] {
      pow_engine_ranges(part[w], w, threads);
      pow_random(part[w], pairs / threads, w);
    });
  for (std::thread& t : pool) t.join();
  Tally all;
  for (const Tally& t : part) all.checked += t.checked, all.differ += t.differ;
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "all";
  const uint64_t pairs = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1000000000ull;
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  if (which == "probe") {  // whether the C library's powf is its portable one
    volatile uint32_t x = 0x331832b9u, y = 0xbf7d70a4u;  // not folded by the compiler
    const float r = ::powf(float_of(x), float_of(y));
    std::printf("C library pow(0x1.306572p-25, -0x1.fae148p-1) = %a (portable path: 0x1.6ab6f8p+24)\n", r);
    return bits(r) == 0x4bb55b7cu ? 0 : 1;
  }
  bool ok = true;
  const auto done = [&](const char* name, const Tally& t) {
    std::printf("%-6s %llu inputs, %llu differ\n", name, static_cast<unsigned long long>(t.checked),
                static_cast<unsigned long long>(t.differ));
    std::fflush(stdout);
    ok = ok && t.differ == 0;
  };
  if (which == "all" || which == "exp")
    done("exp", exhaustive("exp", [](float x) { return numlib::expf(x); }, [](float x) { return ::expf(x); }, threads));
  if (which == "all" || which == "log")
    done("log", exhaustive("log", [](float x) { return numlib::logf(x); }, [](float x) { return ::logf(x); }, threads));
  if (which == "all" || which == "log10")
    done("log10", exhaustive("log10", [](float x) { return numlib::log10f(x); }, [](float x) { return ::log10f(x); }, threads));
  if (which == "all" || which == "pow") done("pow", check_pow(pairs, threads));
  return ok ? 0 : 1;
}
