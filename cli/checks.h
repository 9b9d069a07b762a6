// The library's checks of a problem before it is analysed, said at once: the
// command line warns of them before a long run rather than after it.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "ineqbf/ineqbf.h"

namespace cli {

// Adds the library's warnings about the problem (an asymmetric covariance,
// rows that cannot hold together, a bounded region, …) to `warnings`, each
// message once. A problem the library refuses outright says nothing here:
// its analysis says why.
inline void add_checks(std::vector<std::string>& warnings, const ineqbf::Problem& problem,
                       ineqbf::Method method) {
  ineqbf::Settings settings;
  settings.method = method;
  std::vector<ineqbf::Warning> found;
  try {
    found = ineqbf::check(problem, settings);
  } catch (const ineqbf::Error&) {
    return;
  }
  for (const ineqbf::Warning& w : found)
    if (std::find(warnings.begin(), warnings.end(), w.message) == warnings.end()) warnings.push_back(w.message);
}

}  // namespace cli
