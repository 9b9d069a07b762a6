// Randomly shifted rank-1 lattice rules: the points of the quasi-Monte
// Carlo estimates, and the generator of the shifts.
#pragma once

#include <cstdint>

namespace integrate {

// A Korobov rule: n points x_i = frac(i·(1, a, a², …, a^{s-1}) / n).
struct KorobovRule {
  int32_t points;
  int32_t multiplier;
};

// The rules in order of size, each about twice the one before: n prime,
// a chosen by a search that minimises the worst-case error P_2 of the
// rule in 16 dimensions with product weights 1/j (the weight of the j-th
// coordinate). The first variables of the separation of variables matter
// most, which these weights favour.
inline constexpr KorobovRule kKorobovRules[] = {
    {251, 24},       {503, 33},       {1009, 318},     {2003, 862},
    {4001, 1627},    {8009, 712},     {16001, 4329},   {32003, 8764},
    {64007, 11937},  {128021, 45213}, {256019, 368},
};
inline constexpr int32_t kLevels = static_cast<int32_t>(sizeof kKorobovRules / sizeof kKorobovRules[0]);

// The random stream of the shifts: SplitMix64, seeded from the analysis
// seed and the identity of the integral, so that every integral of an
// analysis has its own shifts and repeats them for the same seed.
class ShiftStream {
 public:
  ShiftStream(uint64_t seed, uint64_t stream, uint64_t level);
  // A uniform deviate in [0, 1) with 53 random bits.
  double uniform();

 private:
  uint64_t next();
  uint64_t state_;
};

}  // namespace integrate
