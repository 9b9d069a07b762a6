// Checks of the library's stops. A stop prints its message lines on the
// run's console and then ends the run by throwing textio::RunEnded with the
// library's status and nothing pending; the statement runs in this process
// on a run of its own, so what it printed and what it left (the generator
// state, an array it filled) can be read afterwards.
#pragma once

#include <gtest/gtest.h>
#include <regex.h>

#include <string>
#include <utility>

#include "numlib/context.h"
#include "numlib/errors.h"
#include "support/run.h"

namespace numlib_test {

// How a statement run on a context ended, and what its run printed.
struct Stop {
  bool ended = false;
  Status status = Status::ok;
  std::string pending;
  std::string printed;  // everything on the run's console, CR LF line ends
  std::string message;  // the lines of the last message, joined by '\n'
};

// Runs `statement(run.ctx)` and records how it ended.
template <class F>
Stop StopIn(test_support::TestRun& run, F&& statement) {
  const test_support::Ending e = test_support::ending_of([&] { std::forward<F>(statement)(run.ctx); });
  return {e.ended, e.status, e.pending, run.printed(), run.console.message()};
}

// The same on a fresh run: after a stop a context is not used again.
template <class F>
Stop StopOf(F&& statement) {
  test_support::TestRun run;
  return StopIn(run, std::forward<F>(statement));
}

// Whether the POSIX extended regular expression `regex` matches somewhere in
// `text` ('.' matches line ends too; "^" and "$" anchor at the ends of the
// whole text). test_support::Exactly builds one that matches a whole text.
inline bool ContainsRegex(const std::string& text, const std::string& regex) {
  regex_t re;
  if (regcomp(&re, regex.c_str(), REG_EXTENDED | REG_NOSUB) != 0) {
    ADD_FAILURE() << "not a regular expression: " << regex;
    return false;
  }
  const bool found = regexec(&re, text.c_str(), 0, nullptr, 0) == 0;
  regfree(&re);
  return found;
}

// The library stopped (status 2, nothing left pending) and `regex` matches
// what the run printed.
inline ::testing::AssertionResult StopPrints(const char* stop_expr, const char* regex_expr, const Stop& s,
                                             const std::string& regex) {
  const std::string shown = ::testing::PrintToString(s.printed);
  if (!s.ended)
    return ::testing::AssertionFailure() << stop_expr << " went on without a stop; it printed " << shown;
  if (s.status != Status::numerical_stop)
    return ::testing::AssertionFailure() << stop_expr << " ended the run with status " << s.status
                                         << " instead of " << Status::numerical_stop;
  if (!s.pending.empty())
    return ::testing::AssertionFailure() << stop_expr << " left lines unprinted: "
                                         << ::testing::PrintToString(s.pending);
  if (!ContainsRegex(s.printed, regex))
    return ::testing::AssertionFailure() << stop_expr << " printed " << shown << ",\nwhich " << regex_expr
                                         << " = " << ::testing::PrintToString(regex) << " does not match";
  return ::testing::AssertionSuccess();
}

// Runs `call` on a context of its own and expects the library to stop the
// run: status Status::numerical_stop, with the message printed (nothing left
// pending). Returns what the run printed.
template <class F>
std::string StopText(F&& call) {
  const Stop s = StopOf(std::forward<F>(call));
  EXPECT_TRUE(s.ended) << "the run went on";
  EXPECT_EQ(s.status, Status::numerical_stop);
  EXPECT_EQ(s.pending, "");
  return s.printed;
}

}  // namespace numlib_test

// Expects the Stop `stop` to be a stop of the library whose printed text
// `regex` matches.
#define EXPECT_STOP_PRINTS(stop, regex) EXPECT_PRED_FORMAT2(::numlib_test::StopPrints, stop, regex)

// Expects `statement` to stop the library, run on a fresh run whose context
// it names `ctx` (the name stands for that context inside the statement),
// and `regex` to match what the run printed.
#define EXPECT_LIBRARY_STOPS(statement, regex) \
  EXPECT_STOP_PRINTS(::numlib_test::StopOf([&](::numlib::Context& ctx) { statement; }), regex)
