// Helpers for tests of what the library prints: exact texts as regular
// expressions, printed lines with their record ends, bit patterns.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "numlib/errors.h"

namespace test_support {

// A regex that matches exactly `text`.
inline std::string Exactly(const std::string& text) {
  std::string r = "^";
  for (char c : text) {
    if (std::string_view(".[]()*+?{}|^$\\").find(c) != std::string_view::npos) r.push_back('\\');
    r.push_back(c);
  }
  return r + "$";
}

// Printed lines joined with the CR LF that ends each of them.
inline std::string Lines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}

inline uint32_t Bits(float x) { return std::bit_cast<uint32_t>(x); }

}  // namespace test_support
