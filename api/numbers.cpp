// Numbers as text for the library's callers: the one formatter and reader
// the library uses itself, and the program's own base-10 logarithm.
#include <cmath>

#include "ineqbf/ineqbf.h"
#include "numlib/elementary.h"
#include "textio/shortest.h"

namespace ineqbf {

std::string number_text(float x) { return textio::shortest_text(x); }
std::string number_text(double x) { return textio::shortest_text(x); }

bool read_number(std::string_view text, double& value) {
  double v = 0.0;
  size_t used = 0;
  if (textio::read_number(text, v, used) != textio::NumberRead::ok || used != text.size() || !std::isfinite(v))
    return false;
  value = v;
  return true;
}

float log10_single(float x) { return numlib::log10f(x); }

}  // namespace ineqbf
