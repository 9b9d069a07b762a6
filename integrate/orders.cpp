#include "integrate/orders.h"

#include <bit>
#include <cstdint>

namespace integrate {

namespace {

// A row as "parameter `above` exceeds parameter `below`".
struct Pair {
  int32_t above = -1, below = -1;
};

std::optional<Pair> pair_of(const RowSet& theta, int32_t k) {
  if (theta.b[static_cast<size_t>(k)] != 0.0) return std::nullopt;
  const double* a = theta.row(k);
  std::vector<int32_t> named;
  for (int32_t i = 0; i < theta.dim; ++i)
    if (a[i] != 0.0) named.push_back(i);
  if (named.size() != 2 || a[named[0]] != -a[named[1]]) return std::nullopt;
  return a[named[0]] > 0.0 ? Pair{named[0], named[1]} : Pair{named[1], named[0]};
}

// The number of orderings of the parameters in `members` (a bit set over
// the numbered parameters) in which every parameter comes after all those
// above it (above[i]: a bit set), counted by adding the parameters from the
// top one at a time: ways[S] orderings of the set S placed first.
uint64_t orderings(uint32_t members, const std::vector<uint32_t>& above) {
  std::vector<uint64_t> ways(size_t{1} << above.size(), 0);
  ways[0] = 1;
  for (uint32_t placed = 0; placed < ways.size(); ++placed) {
    if (ways[placed] == 0 || (placed & ~members) != 0) continue;
    for (size_t i = 0; i < above.size(); ++i) {
      const uint32_t bit = uint32_t{1} << i;
      if ((members & bit) && !(placed & bit) && (above[i] & members & ~placed) == 0) ways[placed | bit] += ways[placed];
    }
  }
  return ways[members];
}

double factorial(int n) {
  double f = 1.0;
  for (int i = 2; i <= n; ++i) f *= i;
  return f;
}

}  // namespace

std::optional<std::vector<double>> order_probabilities(const RowSet& theta) {
  std::vector<Pair> pairs;
  std::vector<int32_t> number(static_cast<size_t>(theta.dim), -1);  // parameter -> its bit
  int32_t named = 0;
  for (int32_t k = 0; k < theta.rows(); ++k) {
    const std::optional<Pair> p = pair_of(theta, k);
    if (!p) return std::nullopt;
    for (const int32_t i : {p->above, p->below})
      if (number[static_cast<size_t>(i)] < 0) number[static_cast<size_t>(i)] = named++;
    if (named > kMaxOrdered) return std::nullopt;
    pairs.push_back(*p);
  }
  std::vector<uint32_t> above(static_cast<size_t>(named), 0);
  std::vector<double> probability{1.0};
  uint32_t members = 0;
  for (const Pair& p : pairs) {
    const int32_t hi = number[static_cast<size_t>(p.above)], lo = number[static_cast<size_t>(p.below)];
    above[static_cast<size_t>(lo)] |= uint32_t{1} << hi;
    members |= uint32_t{1} << hi | uint32_t{1} << lo;
    const uint64_t n = orderings(members, above);
    if (n == 0) return std::nullopt;
    // n ≤ m! ≤ 16! < 2^53: both exact in double.
    probability.push_back(static_cast<double>(n) / factorial(std::popcount(members)));
  }
  return probability;
}

}  // namespace integrate
