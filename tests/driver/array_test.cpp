#include "driver/array.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/run.h"
#include "textio/textio.h"

namespace {

using driver::Array1;
using driver::Array2;

TEST(Array, FreshArraysHoldZeroAndNegativeExtentsCountAsZero) {
  Array1<float> v;
  v.allocate("V", 5);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(v(i), 0.0f);
  Array1<int32_t> n;
  n.allocate("N", -3);
  EXPECT_EQ(n.extent(), 0);
  Array2<float> m;
  m.allocate("M", 3, -1);
  EXPECT_EQ(m.extent1(), 3);
  EXPECT_EQ(m.extent2(), 0);
}

TEST(Array, TwoDimensionalArraysAreStoredColumnByColumn) {
  Array2<float> m;
  m.allocate("M", 2, 3);
  m(2, 1) = 7.0f;
  m(1, 2) = 8.0f;
  EXPECT_EQ(m.data()[1], 7.0f);
  EXPECT_EQ(m.data()[2], 8.0f);
}

struct SubscriptCase {
  const char* what;
  int64_t i, j;
  const char* message;
};

// The run ends with status 3 and the message pending: nothing is printed
// until the caller that started the run prints it.
TEST(ArrayError, SubscriptOutsideTheBoundsEndsTheRunNamingArrayPositionValueAndBound) {
  const SubscriptCase cases[] = {
      {"below", 0, 1, "array COV, subscript 1 = 0 is below its lower bound 1"},
      {"above", 4, 1, "array COV, subscript 1 = 4 is above its upper bound 3"},
      {"second", 1, 3, "array COV, subscript 2 = 3 is above its upper bound 2"},
      {"negative", 2, -7, "array COV, subscript 2 = -7 is below its lower bound 1"},
  };
  for (const SubscriptCase& c : cases) {
    SCOPED_TRACE(c.what);
    Array2<float> m;
    m.allocate("COV", 3, 2);
    const test_support::Ending e = test_support::ending_of([&] { m(c.i, c.j) = 1.0f; });
    EXPECT_TRUE(e.ended);
    EXPECT_EQ(e.status, Status::subscript);
    EXPECT_EQ(e.pending, std::string("vexlib: severe: ") + c.message);
  }
}

TEST(ArrayError, ZeroExtentArrayRejectsEverySubscript) {
  Array1<float> v;
  v.allocate("PARMEANS", 0);
  const test_support::Ending e = test_support::ending_of([&] { v(0) = -1.0f; });
  EXPECT_EQ(e.status, Status::subscript);
  EXPECT_EQ(e.pending, "vexlib: severe: array PARMEANS, subscript 1 = 0 is below its lower bound 1");
  EXPECT_RUN_ENDS(v(1) = -1.0f, Status::subscript);
}

TEST(ArrayError, ByteCountThatOverflowsIsRefusedBeforeAllocation) {
  const char* const message = "vexlib: severe: insufficient virtual memory";
  Array2<float> m;
  test_support::Ending e =
      test_support::ending_of([&] { m.allocate("COV", int64_t{2147483647}, int64_t{2147483647} * 4); });
  EXPECT_TRUE(e.ended);
  EXPECT_EQ(e.status, Status::io_error);
  EXPECT_EQ(e.pending, message);
  Array1<float> v;
  e = test_support::ending_of([&] { v.allocate("X", int64_t{1} << 62); });
  EXPECT_TRUE(e.ended);
  EXPECT_EQ(e.status, Status::io_error);
  EXPECT_EQ(e.pending, message);
}

}  // namespace
