#include "integrate/orders.h"

#include <bit>
#include <cstdint>

namespace integrate {

namespace {

// A row as "`above` exceeds `below`"; -1 stands for 0.
struct Pair {
  int32_t above = -1, below = -1;
};

std::optional<Pair> pair_of(const RowSet& theta, int32_t k) {
  if (theta.b[static_cast<size_t>(k)] != 0.0) return std::nullopt;
  const double* a = theta.row(k);
  int32_t named[2];
  const int32_t n = theta.nonzero(k, named);
  if (n == 1) return a[named[0]] > 0.0 ? Pair{named[0], -1} : Pair{-1, named[0]};
  if (n != 2 || a[named[0]] != -a[named[1]]) return std::nullopt;
  return a[named[0]] > 0.0 ? Pair{named[0], named[1]} : Pair{named[1], named[0]};
}

double factorial(int n) {
  double f = 1.0;
  for (int i = 2; i <= n; ++i) f *= i;
  return f;
}

// The probability of the orderings of the elements in `members` (a bit set:
// the parameters named so far and, as element `zero`, 0 when a row names
// it) in which every element comes after all those above it (above[x]: a
// bit set). The elements are placed from the top, one at a time: weight[S]
// sums the probabilities of the ways to place the set S first; placing 0
// after j parameters weighs 1/(j!·(m−j)!).
double probability(uint32_t members, const std::vector<uint32_t>& above, int32_t zero) {
  const uint32_t zero_bit = uint32_t{1} << zero;
  const int m = std::popcount(members & ~zero_bit);
  std::vector<double> weight(size_t{1} << above.size(), 0.0);
  weight[0] = 1.0;
  for (uint32_t placed = 0; placed < weight.size(); ++placed) {
    if (weight[placed] == 0.0 || (placed & ~members) != 0) continue;
    for (size_t x = 0; x < above.size(); ++x) {
      const uint32_t bit = uint32_t{1} << x;
      if (!(members & bit) || (placed & bit) || (above[x] & members & ~placed) != 0) continue;
      const int j = std::popcount(placed);
      weight[placed | bit] += bit == zero_bit ? weight[placed] / (factorial(j) * factorial(m - j)) : weight[placed];
    }
  }
  if (!(members & zero_bit)) return weight[members] / factorial(m);
  return weight[members] / static_cast<double>(uint64_t{1} << m);
}

}  // namespace

std::optional<std::vector<double>> order_probabilities(const RowSet& theta) {
  std::vector<Pair> pairs;
  std::vector<int32_t> number(static_cast<size_t>(theta.dim), -1);  // parameter -> its element
  int32_t named = 0;
  for (int32_t k = 0; k < theta.rows(); ++k) {
    const std::optional<Pair> p = pair_of(theta, k);
    if (!p) return std::nullopt;
    for (const int32_t i : {p->above, p->below})
      if (i >= 0 && number[static_cast<size_t>(i)] < 0) number[static_cast<size_t>(i)] = named++;
    if (named > kMaxOrdered) return std::nullopt;
    pairs.push_back(*p);
  }
  const int32_t zero = named;  // the element that stands for 0
  const auto element = [&](int32_t i) { return i < 0 ? zero : number[static_cast<size_t>(i)]; };
  std::vector<uint32_t> above(static_cast<size_t>(named) + 1, 0);
  std::vector<double> out{1.0};
  uint32_t members = 0;
  for (const Pair& p : pairs) {
    const int32_t hi = element(p.above), lo = element(p.below);
    above[static_cast<size_t>(lo)] |= uint32_t{1} << hi;
    members |= uint32_t{1} << hi | uint32_t{1} << lo;
    const double q = probability(members, above, zero);
    if (!(q > 0.0)) return std::nullopt;
    out.push_back(q);
  }
  return out;
}

}  // namespace integrate
