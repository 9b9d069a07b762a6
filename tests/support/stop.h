// Helpers for tests of paths that stop the program: the library prints on
// standard output, while a death test matches what the child wrote to
// standard error, so the child sends its standard output there first.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "numlib/errors.h"

#define TO_STDERR()      \
  do {                   \
    std::fflush(stdout); \
    ::dup2(2, 1);        \
  } while (0)

// Runs `statement` in a child whose stdout goes to stderr and expects the
// library's stop; `regex` matches everything the child printed.
#define EXPECT_LIBRARY_STOP(statement, regex)    \
  EXPECT_EXIT(                                   \
      {                                          \
        TO_STDERR();                             \
        statement;                               \
        std::fputs("NOT STOPPED", stdout);       \
        std::fflush(stdout);                     \
        std::exit(0);                            \
      },                                         \
      ::testing::ExitedWithCode(numlib::EXIT_LIBRARY_STOP), regex)

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
