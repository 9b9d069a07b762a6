// The precision convention of every computation of the program: every named
// quantity is a float; a formula is evaluated in double from its exact float
// operands and rounded once, to float, when its result is stored.
//
//   x = rounded(wide(a) * wide(b) + wide(c));
//
// Both helpers accept exactly one type, so that an int or a double cannot
// slip into a formula by an implicit conversion.
#pragma once

#include <concepts>

namespace numlib {

// The float a value formed in double is stored as.
template <std::same_as<double> D>
constexpr float rounded(D x) {
  return static_cast<float>(x);
}

// A float operand of a formula evaluated in double (exact).
template <std::same_as<float> F>
constexpr double wide(F x) {
  return static_cast<double>(x);
}

}  // namespace numlib
