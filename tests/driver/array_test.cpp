#include "driver/array.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>

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

TEST(ArrayDeathTest, SubscriptOutsideTheBoundsStopsTheRunNamingArrayPositionValueAndBound) {
  const SubscriptCase cases[] = {
      {"below", 0, 1, "array COV, subscript 1 = 0 is below its lower bound 1\r\n"},
      {"above", 4, 1, "array COV, subscript 1 = 4 is above its upper bound 3\r\n"},
      {"second", 1, 3, "array COV, subscript 2 = 3 is above its upper bound 2\r\n"},
      {"negative", 2, -7, "array COV, subscript 2 = -7 is below its lower bound 1\r\n"},
  };
  for (const SubscriptCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EXIT(
        {
          dup2(2, 1);
          Array2<float> m;
          m.allocate("COV", 3, 2);
          m(c.i, c.j) = 1.0f;
        },
        ::testing::ExitedWithCode(3), std::string("vexlib: severe: ") + c.message);
  }
}

TEST(ArrayDeathTest, ZeroExtentArrayRejectsEverySubscript) {
  EXPECT_EXIT(
      {
        dup2(2, 1);
        Array1<float> v;
        v.allocate("PARMEANS", 0);
        v(0) = -1.0f;
      },
      ::testing::ExitedWithCode(3), "array PARMEANS, subscript 1 = 0 is below its lower bound 1");
}

TEST(ArrayDeathTest, ByteCountThatOverflowsIsRefusedBeforeAllocation) {
  EXPECT_EXIT(
      {
        dup2(2, 1);
        Array2<float> m;
        m.allocate("COV", int64_t{2147483647}, int64_t{2147483647} * 4);
      },
      ::testing::ExitedWithCode(1), "vexlib: severe: insufficient virtual memory\r\n");
  EXPECT_EXIT(
      {
        dup2(2, 1);
        Array1<float> v;
        v.allocate("X", int64_t{1} << 62);
      },
      ::testing::ExitedWithCode(1), "insufficient virtual memory");
}

}  // namespace
