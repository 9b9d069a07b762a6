// The exact shortcuts of the inner loops: narrowed() against the
// conversions there and back, the lanes of RGNINV and of ANORIN's central
// series against the scalar routines (compiled here for SSE2 and, where the
// processor has them, for AVX2 and AVX-512), the fused Clenshaw step against
// the plain one, all to the bit.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "numlib/lanes.h"
#include "numlib/normal_kernels.h"
#include "numlib/precision.h"
#include "numlib/random_kernels.h"
#include "support/run.h"

namespace {

using numlib::narrowed;

uint64_t bits(double x) { return std::bit_cast<uint64_t>(x); }
uint32_t bits(float x) { return std::bit_cast<uint32_t>(x); }

// A reproducible stream of 64-bit patterns.
struct Patterns {
  uint64_t s = 0x9E3779B97F4A7C15u;
  uint64_t next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
};

TEST(Narrowed, IsTheRoundTripThroughFloat) {
  const double inf = std::numeric_limits<double>::infinity();
  const double cases[] = {0.0, -0.0, 1.0, -1.0, 0.1, 1.0 / 3.0, inf, -inf,
                          std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::denorm_min(),
                          0x1p-126, 0x1.fffffffp-127, 0x1p-149, 0x1p-150, 0x1.8p-150,
                          0x1.fffffep127, 0x1.ffffffp127, 0x1.fffffefp127, 0x1p127, 0x1p128,
                          0x1.000001p0, 0x1.0000018p0, 0x1.0000008p0, 0x1.0000028p0,  // ties
                          -0x1.000001p0, 0x1.fffffffp0, 1e300, -1e-300};
  for (double x : cases)
    EXPECT_EQ(bits(narrowed(x)), bits(numlib::wide(numlib::rounded(x)))) << x;
  Patterns p;
  for (int i = 0; i < 2000000; ++i) {
    const double x = std::bit_cast<double>(p.next());
    ASSERT_EQ(bits(narrowed(x)), bits(numlib::wide(numlib::rounded(x)))) << x;
    // Values near floats and halfway between them.
    const double near = numlib::wide(static_cast<float>(x)) * (1.0 + 0x1p-25 * static_cast<double>(i % 5 - 2));
    ASSERT_EQ(bits(narrowed(near)), bits(numlib::wide(numlib::rounded(near)))) << near;
  }
}

// Arguments for the lanes: uniform deviates as the generator makes them
// (every 4096th state of the full period's first 2^31 states and both ends),
// and probabilities as the samplers hand them to ANORIN.
std::vector<float> deviates() {
  std::vector<float> u;
  const float scale = std::bit_cast<float>(0x2FFFFFFFu);
  for (int64_t y = 1; y < 2147483647; y += 4093) u.push_back(numlib::rounded(static_cast<double>(y) * numlib::wide(scale)));
  for (int64_t y : {int64_t{1}, int64_t{2}, int64_t{3}, int64_t{2147483646}, int64_t{2147483645}})
    u.push_back(numlib::rounded(static_cast<double>(y) * numlib::wide(scale)));
  for (float v : {0.5f, 0.075f, 0.925f, 0.07499999f, 0.9250001f}) u.push_back(v);
  return u;
}

std::vector<float> probabilities() {
  std::vector<float> p = deviates();
  for (float v : {0.000001f, 0.999999f, 0.125f, 0.875f, 0.12499999f, 0.87500006f, 0.0f, 1.0f, -0.5f,
                  std::numeric_limits<float>::quiet_NaN()})
    p.push_back(v);
  return p;
}

template <int W>
void rgninv_lanes(const std::vector<float>& u, std::vector<float>& z) {
  z.assign(u.size(), 0.0f);
  numlib::lanes::rgninv<W>(u.data(), z.data(), static_cast<int>(u.size()));
}

// The block functions the program calls (every lane, and the rest by the
// scalar series), from code compiled for each instruction set as the
// program's are: a vector handed across instruction sets would come out
// wrong here.
template <int W>
void anorin_lanes(const std::vector<float>& p, std::vector<float>& z, std::vector<uint8_t>& central) {
  z.assign(p.size(), 0.0f);
  central.assign(p.size(), 0);
  numlib::lanes::anorin_central<W>(p.data(), z.data(), central.data(), static_cast<int>(p.size()));
}

__attribute__((target("avx2,fma"), flatten)) void rgninv_avx2(const std::vector<float>& u, std::vector<float>& z) {
  rgninv_lanes<4>(u, z);
}
__attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma"), flatten)) void rgninv_avx512(
    const std::vector<float>& u, std::vector<float>& z) {
  rgninv_lanes<8>(u, z);
}
__attribute__((target("avx2,fma"), flatten)) void anorin_avx2(const std::vector<float>& p, std::vector<float>& z,
                                                     std::vector<uint8_t>& c) {
  anorin_lanes<4>(p, z, c);
}
__attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma"), flatten)) void anorin_avx512(
    const std::vector<float>& p, std::vector<float>& z, std::vector<uint8_t>& c) {
  anorin_lanes<8>(p, z, c);
}

bool has_avx2() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }
bool has_avx512() {
  return has_avx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
}

TEST(Lanes, RgninvGivesTheScalarBitsForEveryWidth) {
  const std::vector<float> u = deviates();
  std::vector<float> z;
  struct Width {
    const char* name;
    bool available;
    void (*run)(const std::vector<float>&, std::vector<float>&);
  };
  const Width widths[] = {{"sse2", true, &rgninv_lanes<2>},
                          {"avx2", has_avx2(), &rgninv_avx2},
                          {"avx512", has_avx512(), &rgninv_avx512}};
  for (const Width& w : widths) {
    if (!w.available) continue;
    w.run(u, z);
    for (size_t j = 0; j < u.size(); ++j)
      ASSERT_EQ(bits(z[j]), bits(numlib::kernels::rgninv(u[j]))) << w.name << " u " << u[j];
  }
}

TEST(Lanes, AnorinCentralLanesGiveAnorinsBitsWhereTheyClaimTo) {
  test_support::TestRun t;
  const std::vector<float> p = probabilities();
  std::vector<float> z;
  std::vector<uint8_t> central;
  struct Width {
    const char* name;
    bool available;
    void (*run)(const std::vector<float>&, std::vector<float>&, std::vector<uint8_t>&);
  };
  const Width widths[] = {{"sse2", true, &anorin_lanes<2>},
                          {"avx2", has_avx2(), &anorin_avx2},
                          {"avx512", has_avx512(), &anorin_avx512}};
  for (const Width& w : widths) {
    if (!w.available) continue;
    w.run(p, z, central);
    int claimed = 0;
    for (size_t j = 0; j < p.size(); ++j) {
      ASSERT_EQ(central[j] == 1, numlib::kernels::anorin_is_central(p[j])) << w.name << " p " << p[j];
      if (!central[j]) continue;
      ++claimed;
      ASSERT_EQ(bits(z[j]), bits(numlib::ANORIN(t.ctx, p[j]))) << w.name << " p " << p[j];
      ASSERT_EQ(bits(z[j]), bits(numlib::kernels::anorin_central<false>(p[j])));
    }
    EXPECT_GT(claimed, static_cast<int>(p.size() / 2)) << w.name;
  }
  EXPECT_EQ(t.printed(), "");
}

// The fused step (where the processor has it) and the plain one give the
// same series, for every series of the library over its whole argument
// range.
__attribute__((target("avx2,fma"))) float fused_sum(float x, const float* cs, int32_t n) {
  numlib::kernels::Clenshaw<true> c(x, cs, n);
  while (c.left > 0) c.step();
  return c.sum();
}

TEST(Clenshaw, FusedStepGivesThePlainStepsBits) {
  if (!has_avx2()) GTEST_SKIP() << "no FMA on this processor";
  struct Series {
    const float* cs;
    int32_t n;
  };
  const Series series[] = {{numlib::kernels::CS_CENTRAL, 13},
                           {numlib::kernels::CS_MIDDLE, 23},
                           {numlib::kernels::CS_TAIL, 24},
                           {numlib::kernels::CS_INVERSE, 22}};
  for (const Series& s : series) {
    for (int i = -110000; i <= 110000; ++i) {
      const float x = static_cast<float>(i) * 1e-5f;
      numlib::kernels::Clenshaw<false> c(x, s.cs, s.n);
      while (c.left > 0) c.step();
      ASSERT_EQ(bits(fused_sum(x, s.cs, s.n)), bits(c.sum())) << x;
    }
  }
}

}  // namespace
