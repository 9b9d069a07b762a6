// A run for tests of the library and the driver: a console kept in memory
// and the numerical library's context printing on it, and a way to watch a
// statement end the run.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>

#include "numlib/context.h"
#include "textio/textio.h"

// Statuses read as in the program's code, and shown by their number.
using ineqbf::Status;
namespace ineqbf {
inline std::ostream& operator<<(std::ostream& out, Status s) { return out << exit_code(s); }
}  // namespace ineqbf

namespace test_support {

// A fresh library context whose messages are kept in memory: printed()
// gives everything printed so far (CR LF line ends).
struct TestRun {
  textio::Console console;
  numlib::Context ctx{console};

  const std::string& printed() const { return console.text(); }
  // What `f` prints on the console.
  template <class F>
  std::string printed_by(F&& f) {
    const size_t before = printed().size();
    std::forward<F>(f)();
    return printed().substr(before);
  }
};

// A test on a library context of its own whose console is kept in memory.
class RunTest : public ::testing::Test {
 protected:
  TestRun t;
  numlib::Context& ctx = t.ctx;
};

// How a statement ended: went on, or ended the run with a status and the
// lines it had not printed yet.
struct Ending {
  bool ended = false;
  Status status = Status::ok;
  std::string pending;
};

template <class F>
Ending ending_of(F&& statement) {
  try {
    std::forward<F>(statement)();
  } catch (const textio::RunEnded& e) {
    return {true, e.status, e.pending};
  }
  return {};
}

// Expects `statement` to end the run with `status` and `pending` still to
// print (a fatal error of the text layer, a subscript, an allocation).
template <class F>
void expect_ending(F&& statement, Status status, const std::string& pending) {
  const Ending e = ending_of(std::forward<F>(statement));
  EXPECT_TRUE(e.ended) << "the run went on";
  EXPECT_EQ(e.status, status);
  EXPECT_EQ(e.pending, pending);
}

}  // namespace test_support

// Expects `statement` to end the run with `status`.
#define EXPECT_RUN_ENDS(statement, expected_status)                                         \
  do {                                                                                      \
    const ::test_support::Ending ending_ = ::test_support::ending_of([&] { statement; });   \
    EXPECT_TRUE(ending_.ended) << "the run went on";                                        \
    EXPECT_EQ(ending_.status, (expected_status));                                           \
  } while (0)
