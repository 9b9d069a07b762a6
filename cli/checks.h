// The library's checks of a problem before it is analysed (rows that cannot
// hold together, say), said at once: the command line warns of them before
// a long run rather than after it.
#pragma once

#include <concepts>
#include <vector>

#include "ineqbf/ineqbf.h"

namespace cli {

// The warnings of the library's check(problem), where the library offers
// one: found by argument-dependent lookup, so that a library without it
// runs none.
template <class P>
std::vector<ineqbf::Warning> checks_before_the_run(const P& problem) {
  if constexpr (requires {
                  { check(problem) } -> std::convertible_to<std::vector<ineqbf::Warning>>;
                })
    return check(problem);
  else
    return {};
}

}  // namespace cli
