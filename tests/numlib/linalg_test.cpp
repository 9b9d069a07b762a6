// Tests of the general matrix inverse, its factorisation and its kernels.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "numlib/context.h"
#include "numlib/errors.h"
#include "numlib/linalg.h"
#include "library_stop.h"
#include "support/run.h"

// The allocation-failure test asks for more memory than exists; under the
// address sanitizer that must come back as a null pointer, not an abort.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace numlib {
namespace {

using ::testing::Eq;
using ::testing::HasSubstr;

// Records as the handler prints them: each line ends with CR LF.
std::string lines(std::initializer_list<const char*> ls) {
  std::string s;
  for (const char* l : ls) s += std::string(l) + "\r\n";
  return s;
}

// Every test runs on a fresh library context whose console is kept in
// memory.
using Run = test_support::RunTest;

using Level2 = Run;
using Factor = Run;
using Inverse = Run;
using Condition = Run;
using Triangular = Run;
using Support = Run;

// What `call` printed on a context of its own when it stopped the library.
std::string stop_text(const std::function<void(Context&)>& call) { return numlib_test::StopText(call); }

#define EXPECT_STOPS(stmt, matcher) EXPECT_THAT(stop_text([&](Context& ctx) { stmt; }), matcher)

// A library routine of the caller's own that expects an error from the
// routine it calls: it sits at level 2, so nothing below it prints or stops
// for a fatal error; it reads the type and clears it before returning.
constexpr const char* kCaller = "CALLER";
struct ExpectingCaller {
  explicit ExpectingCaller(Context& c) : ctx(c) { E1PSH(ctx, kCaller); }
  ~ExpectingCaller() {
    E1MSG(ctx, 0, 0, " ");
    E1POP(ctx, kCaller);
  }
  int32_t type() const { return N1RTY(ctx, 0); }
  int32_t code() const { return N1RCD(ctx, 0); }
  Context& ctx;
};

// Sets the flag of the condition estimate (chapter 1, option 17) of a run.
void set_condition_flag(Context& ctx, int32_t flag) {
  const int32_t option = 17;
  int32_t values[2] = {1, flag};
  IUMAG(ctx, "LINRG", 1, 2, 1, &option, values);
}

// Column-major matrix from rows.
std::vector<float> from_rows(std::initializer_list<std::initializer_list<float>> rows) {
  const size_t n = rows.size();
  std::vector<float> a(n * rows.begin()->size());
  size_t i = 0;
  for (const auto& r : rows) {
    size_t j = 0;
    for (float v : r) a[i + n * j++] = v;
    ++i;
  }
  return a;
}

std::vector<float> inverse(Context& ctx, int32_t n, const std::vector<float>& a) {
  std::vector<float> b(static_cast<size_t>(n) * n, -99.0f);
  LINRG_ARRAY(ctx, n, a.data(), b.data());
  return b;
}

// Largest |(A*B - I)(i,j)|, products in double.
double residual(int32_t n, const float* a, int32_t lda, const float* b, int32_t ldb) {
  double worst = 0.0;
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j) {
      double s = i == j ? -1.0 : 0.0;
      for (int32_t k = 0; k < n; ++k) s += static_cast<double>(a[i + k * lda]) * b[k + j * ldb];
      worst = std::max(worst, std::fabs(s));
    }
  return worst;
}

// Uniform floats in [-1, 1) from the raw 32-bit stream, the same on every
// platform.
float uniform(std::mt19937& g) { return static_cast<float>((g() >> 8) * 0x1p-23 - 1.0); }

const float kEps24 = 0x1p-24f;

// ===================================================================
// Level-1 kernels
// ===================================================================

// Every length 0..20 passes through the remainder and unrolled parts; the
// element after the last is never touched.
TEST(Kernels, UnrolledLoopsCoverEveryLengthAndStopAtN) {
  for (int32_t n = 0; n <= 20; ++n) {
    SCOPED_TRACE(n);
    std::vector<float> x(n + 1), y(n + 1, -7.0f);
    for (int32_t i = 0; i <= n; ++i) x[i] = static_cast<float>(i + 1);
    x[n] = 1000.0f;  // never read as an element
    SCOPY(n, x.data(), 1, y.data(), 1);
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(y[i], i + 1.0f);
    EXPECT_EQ(y[n], -7.0f);

    EXPECT_EQ(SDOT(n, x.data(), 1, x.data(), 1), n * (n + 1) * (2 * n + 1) / 6.0f);
    EXPECT_EQ(SASUM(n, x.data(), 1), n * (n + 1) / 2.0f);
    if (n > 0) {
      for (int32_t p = 0; p < n; ++p) {
        std::vector<float> z(n + 1, 1.0f);
        z[n] = 50.0f;
        z[p] = -2.0f;
        EXPECT_EQ(ISAMAX(n, z.data(), 1), p + 1);
      }
    }

    SAXPY(n, 2.0f, x.data(), 1, y.data(), 1);
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(y[i], 3.0f * (i + 1));
    SSCAL(n, 0.5f, y.data(), 1);
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(y[i], 1.5f * (i + 1));
    SSWAP(n, x.data(), 1, y.data(), 1);
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(x[i], 1.5f * (i + 1));
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(y[i], i + 1.0f);
    SFILL(n, 4.0f, y.data(), 1);
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(y[i], 4.0f);
    EXPECT_EQ(x[n], 1000.0f);
    EXPECT_EQ(y[n], -7.0f);
  }
}

TEST(Kernels, EmptyVectorsAreNeverRead) {
  SCOPY(0, nullptr, 1, nullptr, 1);
  SSWAP(-1, nullptr, 1, nullptr, 1);
  SSCAL(0, 2.0f, nullptr, 1);
  SAXPY(0, 2.0f, nullptr, 1, nullptr, 1);
  SFILL(-3, 1.0f, nullptr, 1);
  EXPECT_EQ(SDOT(0, nullptr, 1, nullptr, 1), 0.0f);
  EXPECT_EQ(SASUM(0, nullptr, 1), 0.0f);
  EXPECT_EQ(ISAMAX(0, nullptr, 1), 0);
  EXPECT_EQ(ISAMAX_SCALED(0, nullptr, nullptr), 0);
}

// A negative stride walks the vector from the far end: element 1 is the one
// at the highest address.
TEST(Kernels, NegativeStridesStartFromTheFarEnd) {
  const float x[] = {1.0f, 2.0f, 3.0f};
  float y[] = {0.0f, 0.0f, 0.0f};
  SCOPY(3, x, -1, y, 1);
  EXPECT_THAT(y, ::testing::ElementsAre(3.0f, 2.0f, 1.0f));

  float wide[] = {0.0f, -1.0f, 0.0f, -1.0f, 0.0f};
  SCOPY(3, x, 1, wide, -2);
  EXPECT_THAT(wide, ::testing::ElementsAre(3.0f, -1.0f, 2.0f, -1.0f, 1.0f));

  float a[] = {1.0f, 2.0f, 3.0f}, b[] = {4.0f, 5.0f, 6.0f};
  SSWAP(3, a, 1, b, -1);
  EXPECT_THAT(a, ::testing::ElementsAre(6.0f, 5.0f, 4.0f));
  EXPECT_THAT(b, ::testing::ElementsAre(3.0f, 2.0f, 1.0f));

  float c[] = {10.0f, 20.0f, 30.0f};
  SAXPY(3, 1.0f, x, -1, c, 1);  // c += (3, 2, 1)
  EXPECT_THAT(c, ::testing::ElementsAre(13.0f, 22.0f, 31.0f));

  const float w[] = {1.0f, 10.0f, 100.0f};
  EXPECT_EQ(SDOT(3, x, -1, w, 1), 3.0f + 20.0f + 100.0f);
  EXPECT_EQ(SDOT(3, x, -1, w, -1), 1.0f + 20.0f + 300.0f);

  const float v[] = {1.0f, -3.0f, 3.0f, 2.0f};
  EXPECT_EQ(ISAMAX(4, v, 1), 2);   // ties: the first
  EXPECT_EQ(ISAMAX(4, v, -1), 2);  // (2, 3, -3, 1): the first 3 is element 2
  EXPECT_EQ(ISAMAX(2, v, 2), 2);   // (1, 3)
  EXPECT_EQ(SASUM(2, v, -2), 4.0f);

  float s[] = {1.0f, 9.0f, 2.0f, 9.0f, 3.0f};
  SSCAL(3, -2.0f, s, -2);
  EXPECT_THAT(s, ::testing::ElementsAre(-2.0f, 9.0f, -4.0f, 9.0f, -6.0f));
  SFILL(2, 7.0f, s, -4);
  EXPECT_THAT(s, ::testing::ElementsAre(7.0f, 9.0f, -4.0f, 9.0f, 7.0f));
}

// SDOT with unit strides rounds once per group of five products (the first
// n mod 5 products are added singly); with other strides after each product.
struct DotCase {
  const char* what;
  std::vector<float> x;
  int32_t inc;
  float expected;
};

TEST(Kernels, SdotRoundsPerGroupOfFiveWithUnitStrides) {
  const float e = kEps24;                 // half a unit in the last place of 1
  const float f = 5.0f * 0x1p-27f;        // 0.3125 units of 1
  const std::vector<DotCase> cases = {
      {"one group of five", {1, e, e, e, e}, 1, 1.0f + 4 * e},
      {"remainder 1, then a group", {1, f, f, f, f, f}, 1, 1.0f + 4 * e},
      {"remainder 2, then a group", {1, 0, f, f, f, f, f}, 1, 1.0f + 4 * e},
      {"stride 2: every product rounded", {1, e, e, e, e}, 2, 1.0f},
      {"stride -1: every product rounded", {e, e, e, e, 1}, -1, 1.0f},
  };
  for (const DotCase& c : cases) {
    SCOPED_TRACE(c.what);
    const int32_t n = static_cast<int32_t>(c.x.size());
    const int32_t step = c.inc < 0 ? -c.inc : c.inc;
    std::vector<float> x(static_cast<size_t>(n) * step, 0.0f), y(x.size(), 0.0f);
    for (int32_t i = 0; i < n; ++i) {
      x[static_cast<size_t>(i) * step] = c.x[i];
      y[static_cast<size_t>(i) * step] = 1.0f;
    }
    EXPECT_EQ(SDOT(n, x.data(), c.inc, y.data(), c.inc), c.expected);
  }
}

TEST(Kernels, SasumRoundsOnlyOnce) {
  const float q = 0x1p-25f;  // a quarter unit in the last place of 1
  // 1 + 11q rounds to 1 + 12q; rounding per group of six would give 1 + 8q,
  // per element 1.
  std::vector<float> x = {1.0f, -q, q, -q, q, -q, q, -q, q, -q, q, -q};
  EXPECT_EQ(SASUM(12, x.data(), 1), 1.0f + 12 * q);
  EXPECT_EQ(SASUM(12, x.data(), -1), 1.0f + 12 * q);
}

TEST(Kernels, SaxpyStoresEachElementOnceAndSkipsAZeroScalar) {
  const float a = 1.0f + 0x1p-23f, x = 1.0f + 0x1p-22f;
  float y = -1.0f;
  SAXPY(1, a, &x, 1, &y, 1);
  // The exact value 3*2^-23 + 2^-45 is a float; rounding the product first
  // would lose the 2^-45.
  EXPECT_EQ(y, 3 * 0x1p-23f + 0x1p-45f);

  const float nan[] = {NAN, NAN};
  float z[] = {1.0f, 2.0f};
  SAXPY(2, 0.0f, nan, 1, z, 1);
  EXPECT_THAT(z, ::testing::ElementsAre(1.0f, 2.0f));
}

// The pivot search compares the products as stored floats, block by block.
TEST(Kernels, IsamaxScaledComparesStoredProductsFirstWins) {
  const float x[] = {1.0f, 1.0f + 0x1p-23f};
  const float y[] = {1.0f, 1.0f - kEps24};
  // The second product exceeds 1 in exact arithmetic but is 1.0 as a float.
  EXPECT_EQ(ISAMAX_SCALED(2, x, y), 1);

  std::vector<float> u(1000, 1.0f), v(1000, 0.5f);
  v[10] = -2.0f;
  v[500] = 2.0f;  // equal, in a later block: the earlier index stays
  EXPECT_EQ(ISAMAX_SCALED(1000, u.data(), v.data()), 11);
  v[799] = 2.5f;  // strictly larger in a later block
  EXPECT_EQ(ISAMAX_SCALED(1000, u.data(), v.data()), 800);
  v[805] = 2.5f;
  EXPECT_EQ(ISAMAX_SCALED(1000, u.data(), v.data()), 800);
}

// ===================================================================
// Level-2 kernels
// ===================================================================

TEST_F(Level2, SgemvProductsAndScaling) {
  const float a[] = {1, 2, 3, 4, 5, 6};  // 2 x 3: rows (1 3 5), (2 4 6)
  const float x3[] = {1, 2, 3};
  float y[] = {10, 20};
  SGEMV(ctx, 'N', 2, 3, 2.0f, a, 2, x3, 1, 0.5f, y, 1);
  EXPECT_THAT(y, ::testing::ElementsAre(5 + 2 * 22.0f, 10 + 2 * 28.0f));

  float z[] = {NAN, NAN};  // BETA = 0 replaces y, whatever it holds
  SGEMV(ctx, 'n', 2, 3, 1.0f, a, 2, x3, -1, 0.0f, z, 1);  // x read as (3, 2, 1)
  EXPECT_THAT(z, ::testing::ElementsAre(14.0f, 20.0f));

  const float x2[] = {1, 1};
  float t[] = {1, 1, 1};
  SGEMV(ctx, 'T', 2, 3, 1.0f, a, 2, x2, 1, 1.0f, t, -1);  // y read from the far end
  EXPECT_THAT(t, ::testing::ElementsAre(12.0f, 8.0f, 4.0f));

  float u[] = {NAN, 1.0f};
  SGEMV(ctx, 'C', 2, 3, 0.0f, a, 2, x3, 1, 1.0f, u, 1);  // ALPHA 0, BETA 1: nothing
  EXPECT_TRUE(std::isnan(u[0]));
  SGEMV(ctx, 'N', 0, 3, 1.0f, a, 1, x3, 1, 0.0f, u, 1);  // M = 0: nothing
  EXPECT_TRUE(std::isnan(u[0]));
}

TEST_F(Level2, SgerRankOneUpdate) {
  const float x[] = {1, 2}, y[] = {3, 4};
  float a[] = {0, 0, -1, 0, 0, -1};  // 2 x 2 with leading dimension 3
  SGER(ctx, 2, 2, 2.0f, x, 1, y, 1, a, 3);
  EXPECT_THAT(a, ::testing::ElementsAre(6.0f, 12.0f, -1.0f, 8.0f, 16.0f, -1.0f));
  float b[] = {0, 0, 0, 0};
  SGER(ctx, 2, 2, 1.0f, x, -1, y, -1, b, 2);  // x = (2, 1), y = (4, 3)
  EXPECT_THAT(b, ::testing::ElementsAre(8.0f, 4.0f, 6.0f, 3.0f));
}

// ===================================================================
// Factorisation
// ===================================================================

struct Factors {
  std::vector<float> fac;
  std::vector<int32_t> pivot;
  std::vector<float> rowscale;
};

Factors factor(Context& ctx, int32_t n, const std::vector<float>& a) {
  Factors f{std::vector<float>(a.size()), std::vector<int32_t>(n), std::vector<float>(n)};
  L2TRG(ctx, n, a.data(), n, f.fac.data(), n, f.pivot.data(), f.rowscale.data());
  return f;
}

TEST_F(Factor, LayoutHoldsUAndNegatedMultipliers) {
  // Row 2 has the larger scaled candidate (4/4 against 1/2): rows exchange.
  Factors f = factor(ctx, 2, from_rows({{1, 2}, {4, 3}}));
  EXPECT_THAT(f.fac, ::testing::ElementsAre(4.0f, -0.25f, 3.0f, 1.25f));
  EXPECT_THAT(f.pivot, ::testing::ElementsAre(2, 2));
  EXPECT_THAT(f.rowscale, ::testing::ElementsAre(0.25f, 0.5f));
}

TEST_F(Factor, EqualScaledCandidatesTakeTheLowestRow) {
  // 1/2 against 2/4: equal, so row 1 although |2| > |1|.
  Factors f = factor(ctx, 2, from_rows({{1, 2}, {2, -4}}));
  EXPECT_THAT(f.pivot, ::testing::ElementsAre(1, 2));
  EXPECT_THAT(f.fac, ::testing::ElementsAre(1.0f, -2.0f, 2.0f, -8.0f));
}

TEST_F(Factor, PivotFollowsTheScaledValueNotTheMagnitude) {
  // Step 1: |4|*1e-6 against |1|*1 chooses row 2. Step 2: the exchanged scale
  // travels with its row, and 999996*1e-6 < 1e-3*1000 chooses row 3 although
  // its element is a billion times smaller.
  Factors f = factor(ctx, 3, from_rows({{4, 1e6f, 0}, {1, 1, 1}, {0, 1e-3f, 1e-6f}}));
  EXPECT_THAT(f.pivot, ::testing::ElementsAre(2, 3, 3));
  EXPECT_EQ(f.rowscale[0], 1.0f);
  EXPECT_NEAR(f.rowscale[1], 1000.0f, 1e-3f);
  EXPECT_EQ(f.rowscale[2], static_cast<float>(1.0 / 1e6));
  EXPECT_EQ(f.fac[0 + 3 * 1], 1.0f);      // U(1,2)
  EXPECT_EQ(f.fac[1 + 3 * 1], 1e-3f);     // U(2,2): the small element
  // The multiplier of step 1 stays in row 2 although rows 2 and 3 are
  // exchanged at step 2: exchanges touch columns k..N only.
  EXPECT_EQ(f.fac[1 + 3 * 0], -4.0f);
  const std::vector<float> a = from_rows({{4, 1e6f, 0}, {1, 1, 1}, {0, 1e-3f, 1e-6f}});
  const std::vector<float> b = inverse(ctx, 3, a);
  // Badly scaled, so the residual is measured against |A| |inv(A)|.
  double na = 0.0, nb = 0.0;
  for (float v : a) na = std::max(na, static_cast<double>(std::fabs(v)));
  for (float v : b) nb = std::max(nb, static_cast<double>(std::fabs(v)));
  EXPECT_LT(residual(3, a.data(), 3, b.data(), 3) / (na * nb), 1e-6);
}

TEST_F(Factor, DiagonalMatrixNeedsNoExchanges) {
  Factors f = factor(ctx, 4, from_rows({{-2, 0, 0, 0}, {0, 4, 0, 0}, {0, 0, 8, 0}, {0, 0, 0, 0.5f}}));
  EXPECT_THAT(f.pivot, ::testing::ElementsAre(1, 2, 3, 4));
}

// A singular matrix raises the fatal error; a caller that expects it sees the
// factors as far as they were formed, and a zero row keeps scale 1.
TEST_F(Factor, ZeroRowIsSingularWithScaleOne) {
  const std::vector<float> a = from_rows({{2, 1, 0}, {0, 0, 0}, {1, 3, 5}});
  Factors f{std::vector<float>(9), std::vector<int32_t>(3), std::vector<float>(3)};
  {
    ExpectingCaller caller(ctx);
    L2TRG(ctx, 3, a.data(), 3, f.fac.data(), 3, f.pivot.data(), f.rowscale.data());
    EXPECT_EQ(caller.type(), ERR_FATAL);
    EXPECT_EQ(caller.code(), 2);
  }
  EXPECT_EQ(N1RTY(ctx, 1), 0);  // the caller cleared it: nothing reaches the program
  EXPECT_EQ(f.rowscale[1], 0.2f);  // row 3 exchanged into place 2 at step 2
  EXPECT_EQ(f.rowscale[2], 1.0f);      // the zero row
  EXPECT_EQ(f.pivot[2], 3);
  EXPECT_EQ(f.fac[2 + 3 * 2], 0.0f);   // U(3,3)
}

TEST_F(Factor, SingularMatrixLeavesTheFactorsInTheInverse) {
  const std::vector<float> a = from_rows({{1, 2}, {2, 4}});
  std::vector<float> ainv(4, -9.0f), work(2 + 1);
  std::vector<int32_t> iwork(2);
  ExpectingCaller caller(ctx);
  L2NRG(ctx, 2, a.data(), 2, ainv.data(), 2, work.data(), iwork.data());
  EXPECT_EQ(caller.type(), ERR_FATAL);
  EXPECT_THAT(ainv, ::testing::ElementsAre(1.0f, -2.0f, 2.0f, 0.0f));
}

// ===================================================================
// Inverse
// ===================================================================

TEST_F(Inverse, OrderOneIsTheReciprocal) {
  struct Case {
    float a, inv;
  };
  const float just_above = std::nextafter(AMACH(ctx, 1), 1.0f);
  for (const Case& c : {Case{3.0f, 1.0f / 3.0f}, Case{-0.25f, -4.0f}, Case{1e-30f, static_cast<float>(1.0 / 1e-30f)},
                        Case{just_above, static_cast<float>(1.0 / just_above)}}) {
    EXPECT_EQ(inverse(ctx, 1, {c.a})[0], c.inv) << c.a;
  }
}

const std::string kSingular = lines({
    " *** FATAL ERROR 2 from LINRG.  The input matrix is singular.  Some of",
    " ***          the diagonal elements of the upper triangular matrix U",
    " ***          of the LU factorization are close to zero.",
});

TEST(InverseStops, TinyOrderOneIsSingular) {
  for (float a : {0.0f, 1e-39f, -amach_constant(1), amach_constant(1)}) {
    EXPECT_STOPS(inverse(ctx, 1, {a}), Eq(kSingular)) << a;
  }
}

// A pivot equal to the safe minimum counts as zero at an elimination step
// too, although its scaled value is the largest of its column.
TEST(InverseStops, PivotAtTheSafeMinimumIsSingular) {
  EXPECT_STOPS(inverse(ctx, 2, from_rows({{AMACH(ctx, 1), 0}, {0, 1}})), Eq(kSingular));
}

TEST(InverseStops, ZeroRowOrColumnIsSingular) {
  EXPECT_STOPS(inverse(ctx, 3, from_rows({{1, 2, 3}, {0, 0, 0}, {4, 5, 7}})), Eq(kSingular));
  EXPECT_STOPS(inverse(ctx, 2, from_rows({{0, 1}, {0, 2}})), Eq(kSingular));
}

TEST_F(Inverse, DiagonalGivesReciprocalsAndExactZeros) {
  const std::vector<float> b =
      inverse(ctx, 4, from_rows({{-2, 0, 0, 0}, {0, 4, 0, 0}, {0, 0, 8, 0}, {0, 0, 0, 5}}));
  const float diag[] = {-0.5f, 0.25f, 0.125f, 0.2f};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_EQ(b[i + 4 * j], i == j ? diag[i] : 0.0f) << i << "," << j;
}

TEST_F(Inverse, IdentityIsItsOwnInverseSilently) {
  for (int32_t n : {1, 2, 5, 9}) {
    std::vector<float> id(static_cast<size_t>(n) * n, 0.0f);
    for (int32_t i = 0; i < n; ++i) id[i + n * i] = 1.0f;
    std::vector<float> b;
    EXPECT_EQ(t.printed_by([&] { b = inverse(ctx, n, id); }), "");
    EXPECT_EQ(b, id);
  }
}

TEST_F(Inverse, TwoByTwoWithExchange) {
  const std::vector<float> b = inverse(ctx, 2, from_rows({{1, 2}, {4, 3}}));
  const float expected[] = {-0.6f, 0.8f, 0.4f, -0.2f};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(b[i], expected[i], 1e-7f) << i;
}

// Two nearly equal rows: U(2,2) = 2^-23 passes the singularity test, and the
// inverse comes out exact, with no message under the default option.
const std::vector<float> kNearlySingular = from_rows({{1, 1}, {1, 1.0f + 0x1p-23f}});

TEST_F(Inverse, NearlySingularIsInvertedWithoutMessage) {
  std::vector<float> b;
  EXPECT_EQ(t.printed_by([&] { b = inverse(ctx, 2, kNearlySingular); }), "");
  EXPECT_EQ(N1RTY(ctx, 1), 0);
  EXPECT_THAT(b, ::testing::ElementsAre(8388609.0f, -8388608.0f, -8388608.0f, 8388608.0f));
}

// Not-a-number entries reach the result without a stop and without any
// index leaving the matrix.
TEST_F(Inverse, NotANumberFlowsThrough) {
  const std::vector<float> b = inverse(ctx, 3, from_rows({{NAN, 1, 2}, {1, NAN, 0}, {3, 1, 1}}));
  EXPECT_TRUE(std::isnan(b[0]));
}

TEST_F(Inverse, LeadingDimensionsLargerThanTheOrder) {
  // 3 x 3 in 5-row and 4-row storage; the padding is neither read nor
  // written.
  std::vector<float> a(15, NAN), b(12, -5.0f);
  const float rows[3][3] = {{2, -1, 0}, {-1, 2, -1}, {0, -1, 2}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a[i + 5 * j] = rows[i][j];
  LINRG(ctx, 3, a.data(), 5, b.data(), 4);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(b[3 + 4 * j], -5.0f);
  EXPECT_LT(residual(3, a.data(), 5, b.data(), 4), 1e-6);
}

TEST_F(Inverse, RandomWellConditionedMatricesOfOrderOneToTwelve) {
  std::mt19937 g(20240611u);
  for (int32_t n = 1; n <= 12; ++n) {
    for (int rep = 0; rep < 4; ++rep) {
      // A dominant diagonal, then the rows dealt out in a random order so
      // that the pivot search has exchanges to make.
      std::vector<float> a(static_cast<size_t>(n) * n);
      std::vector<int32_t> perm(n);
      for (int32_t i = 0; i < n; ++i) perm[i] = i;
      std::shuffle(perm.begin(), perm.end(), g);
      for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j) {
          float v = uniform(g);
          if (i == j) v += uniform(g) < 0.0f ? -0.5f - n : 0.5f + n;
          a[perm[i] + n * j] = v;
        }
      const std::vector<float> b = inverse(ctx, n, a);
      EXPECT_LT(residual(n, a.data(), n, b.data(), n), 4e-6) << "n=" << n << " rep=" << rep;
    }
  }
}

// ===================================================================
// Condition estimate (option 17 flag 2)
// ===================================================================

TEST_F(Condition, IdentityAndDiagonalEstimates) {
  set_condition_flag(ctx, 2);
  float id[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, fac[9], work[3], rcond = -1.0f;
  int32_t pivot[3];
  L2CRG(ctx, 3, id, 3, fac, 3, pivot, rcond, work);
  EXPECT_NEAR(rcond, 1.0f, 1e-6f);
  // diag(1, 10): the estimate of the norm of the inverse is 101/110, so
  // RCOND = 0.110/1.01.
  float dg[4] = {1, 0, 0, 10};
  L2CRG(ctx, 2, dg, 2, fac, 2, pivot, rcond, work);
  EXPECT_NEAR(rcond, 110.0 / 1010.0, 1e-7);
}

// Values worked by hand through the four solves. In the 3 x 3 case the
// look-ahead of step 2 keeps e(2) = +1 (4/3 against 2/3); taking the other
// sign would give 1/6.
TEST_F(Condition, TriangularEstimatesWorkedByHand) {
  set_condition_flag(ctx, 2);
  float fac[9], work[3], rcond = -1.0f;
  int32_t pivot[3];
  const std::vector<float> u2 = from_rows({{1, -1}, {0, 1}});
  L2CRG(ctx, 2, u2.data(), 2, fac, 2, pivot, rcond, work);
  EXPECT_NEAR(rcond, 0.3, 1e-7);
  const std::vector<float> u3 = from_rows({{1, -2, -2}, {0, 1, 1}, {0, 0, 1}});
  L2CRG(ctx, 3, u3.data(), 3, fac, 3, pivot, rcond, work);
  EXPECT_NEAR(rcond, 3.0 / 28.0, 1e-7);
}

// The estimate of the norm of the inverse is a lower bound, so RCOND never
// falls below the true reciprocal condition number, and it stays close.
TEST_F(Condition, EstimateBoundsTheTrueValueFromAbove) {
  set_condition_flag(ctx, 2);
  std::mt19937 g(99u);
  for (int32_t n = 2; n <= 8; ++n) {
    std::vector<float> a(static_cast<size_t>(n) * n), b(a.size()), fac(a.size()), work(n);
    std::vector<int32_t> pivot(n);
    for (float& v : a) v = uniform(g);
    float rcond = -1.0f;
    L2CRG(ctx, n, a.data(), n, fac.data(), n, pivot.data(), rcond, work.data());
    LINRG(ctx, n, a.data(), n, b.data(), n);
    double norm_a = 0.0, norm_b = 0.0;
    for (int32_t j = 0; j < n; ++j) {
      double sa = 0.0, sb = 0.0;
      for (int32_t i = 0; i < n; ++i) {
        sa += std::fabs(a[i + n * j]);
        sb += std::fabs(b[i + n * j]);
      }
      norm_a = std::max(norm_a, sa);
      norm_b = std::max(norm_b, sb);
    }
    const double ratio = rcond * norm_a * norm_b;
    EXPECT_GT(ratio, 0.999) << n;
    EXPECT_LT(ratio, 10.0) << n;
  }
}

TEST_F(Condition, NearlySingularWarnsAndStillInverts) {
  set_condition_flag(ctx, 2);
  float fac[4], work[2], rcond = -1.0f;
  int32_t pivot[2];
  EXPECT_EQ(t.printed_by([&] { L2CRG(ctx, 2, kNearlySingular.data(), 2, fac, 2, pivot, rcond, work); }),
            lines({" *** WARNING ERROR 1 from L2CRG.  The matrix is algorithmically",
                   " ***          singular.  An estimate of the reciprocal of its L1",
                   " ***          condition number is RCOND = 2.980232E-08."}));
  EXPECT_NEAR(rcond, 0x1p-25, 1e-10);

  std::vector<float> b;
  EXPECT_EQ(t.printed_by([&] { b = inverse(ctx, 2, kNearlySingular); }),
            lines({" *** WARNING ERROR 1 from LINRG.  The matrix is too ill-conditioned.",
                   " ***          An estimate of the reciprocal of its L1 condition number",
                   " ***          is RCOND = 2.980232E-08.  The inverse might not be",
                   " ***          accurate."}));
  EXPECT_THAT(b, ::testing::ElementsAre(8388609.0f, -8388608.0f, -8388608.0f, 8388608.0f));
}

TEST(ConditionStops, FlagOtherThanOneOrTwoIsTerminal) {
  const float a[] = {1.0f};
  EXPECT_STOPS(
      {
        set_condition_flag(ctx, 3);
        float b;
        LINRG(ctx, 1, a, 1, &b, 1);
      },
      HasSubstr(lines({" *** TERMINAL ERROR 4 from L2CRG.  The flag value for computing the",
                       " ***          matrix condition number must be 1 or 2 while 3 is given."})));
}

// ===================================================================
// Triangular inverse and supporting routines
// ===================================================================

TEST_F(Triangular, UpperInverseAndLowerMirror) {
  const std::vector<float> u = from_rows({{2, 1}, {0, 4}});
  std::vector<float> v(4, -1.0f);
  LINRT(ctx, 2, u.data(), 2, 2, v.data(), 2);
  EXPECT_THAT(v, ::testing::ElementsAre(0.5f, 0.0f, -0.125f, 0.25f));

  // A random upper triangle and its transpose: the lower path gives exactly
  // the transposed inverse.
  const int32_t n = 7;
  std::mt19937 g(5u);
  std::vector<float> up(n * n, 0.0f), lo(n * n, 0.0f), iu(n * n), il(n * n);
  for (int32_t j = 0; j < n; ++j)
    for (int32_t i = 0; i <= j; ++i) {
      const float x = uniform(g) + (i == j ? 2.0f : 0.0f);
      up[i + n * j] = x;
      lo[j + n * i] = x;
    }
  LINRT(ctx, n, up.data(), n, 2, iu.data(), n);
  LINRT(ctx, n, lo.data(), n, 1, il.data(), n);
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j) EXPECT_EQ(iu[i + n * j], il[j + n * i]) << i << "," << j;
  EXPECT_LT(residual(n, up.data(), n, iu.data(), n), 1e-5);
  EXPECT_LT(residual(n, lo.data(), n, il.data(), n), 1e-5);
}

TEST_F(Support, CrgrgCopiesBetweenLeadingDimensions) {
  const float a[] = {1, 2, NAN, 3, 4, NAN};
  float b[] = {-1, -1, -1, -1, -1, -1, -1, -1};
  CRGRG(ctx, 2, a, 3, b, 4);
  EXPECT_THAT(b, ::testing::ElementsAre(1.0f, 2.0f, -1.0f, -1.0f, 3.0f, 4.0f, -1.0f, -1.0f));
}

TEST_F(Support, Nr1rrIsTheLargestColumnSum) {
  const float a[] = {1, -2, NAN, -3, 0.5f, NAN, 0, 0, NAN};  // 2 x 3, LDA 3
  float norm = -1.0f;
  NR1RR(ctx, 2, 3, a, 3, norm);
  EXPECT_EQ(norm, 3.5f);
}

// ===================================================================
// Argument checks: each stops the run with its message.
// ===================================================================

struct StopCase {
  const char* what;
  std::function<void(Context&)> call;
  std::string text;
};

void expect_all_stop(const std::vector<StopCase>& cases) {
  for (const StopCase& c : cases) {
    EXPECT_EQ(stop_text(c.call), c.text) << c.what;
  }
}

const float kM[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
float g_out[16];
float g_work[16];
int32_t g_iwork[4];
float g_rcond;

TEST(ArgumentStops, InverseFamily) {
  expect_all_stop({
      {"LINRG N = 0, no storage", [](Context& ctx) { LINRG_ARRAY(ctx, 0, nullptr, nullptr); },
       lines({" *** TERMINAL ERROR 1 from LINRG.  The order of the matrix must be",
              " ***          positive while N = 0 is given."})},
      {"LINRG N < 0", [](Context& ctx) { LINRG(ctx, -3, nullptr, 1, nullptr, 1); },
       lines({" *** TERMINAL ERROR 1 from LINRG.  The order of the matrix must be",
              " ***          positive while N = -3 is given."})},
      {"L2NRG LDA", [](Context& ctx) { L2NRG(ctx, 4, kM, 3, g_out, 4, g_work, g_iwork); },
       lines({" *** TERMINAL ERROR 2 from L2NRG.  The order of the matrix must be",
              " ***          less than or equal to its leading dimension while N = 4",
              " ***          and LDA = 3 are given."})},
      {"L2NRG LDAINV", [](Context& ctx) { L2NRG(ctx, 4, kM, 4, g_out, 2, g_work, g_iwork); },
       lines({" *** TERMINAL ERROR 3 from L2NRG.  The order of the matrix must be",
              " ***          less than or equal to its leading dimension while N = 4",
              " ***          and LDAINV = 2 are given."})},
      {"L2CRG N", [](Context& ctx) { L2CRG(ctx, 0, kM, 0, g_out, 0, g_iwork, g_rcond, g_work); },
       lines({" *** TERMINAL ERROR 1 from L2CRG.  The order of the matrix must be",
              " ***          positive while N = 0 is given."})},
      {"L2CRG LDFAC", [](Context& ctx) { L2CRG(ctx, 2, kM, 2, g_out, 1, g_iwork, g_rcond, g_work); },
       lines({" *** TERMINAL ERROR 3 from L2CRG.  The order of the matrix must be",
              " ***          less than or equal to its leading dimension while N = 2",
              " ***          and LDFAC = 1 are given."})},
      {"L2TRG LDA first", [](Context& ctx) { L2TRG(ctx, 3, kM, 2, g_out, 2, g_iwork, g_work); },
       lines({" *** TERMINAL ERROR 2 from L2TRG.  The order of the matrix must be",
              " ***          less than or equal to its leading dimension while N = 3",
              " ***          and LDA = 2 are given."})},
      {"L2TRG LDFAC", [](Context& ctx) { L2TRG(ctx, 3, kM, 3, g_out, 2, g_iwork, g_work); },
       lines({" *** TERMINAL ERROR 3 from L2TRG.  The order of the matrix must be",
              " ***          less than or equal to its leading dimension while N = 3",
              " ***          and LDFAC = 2 are given."})},
      {"LINRT singular", [](Context& ctx) {
         const float u[] = {1, 0, 5, 0};
         LINRT(ctx, 2, u, 2, 2, g_out, 2);
       },
       lines({" *** TERMINAL ERROR 5 from LINRT.  The matrix to be inverted is",
              " ***          singular.  The index of the first zero diagonal element",
              " ***          of A is 2."})},
      {"LINRT every check", [](Context& ctx) { LINRT(ctx, 2, kM, 1, 3, g_out, 1); },
       lines({" *** TERMINAL ERROR 2 from LINRT.  The order of the matrix must be",
              " ***          less than or equal to its leading dimension while N = 2",
              " ***          and LDA = 1 are given.",
              " *** TERMINAL ERROR 3 from LINRT.  The order of the matrix must be",
              " ***          less than or equal to its leading dimension while N = 2",
              " ***          and LDAINV = 1 are given.",
              " *** TERMINAL ERROR 4 from LINRT.  IPATH must be either 1 or 2 while a",
              " ***          value of 3 is given."})},
  });
}

// The workspace of the largest order does not exist; the matrices are never
// reached. (A sanitizer may note the failed allocation on standard error;
// the run's console holds the message alone.)
TEST(ArgumentStops, WorkspaceThatCannotBeAllocated) {
  EXPECT_STOPS(LINRG(ctx, INT32_MAX, kM, INT32_MAX, g_out, INT32_MAX),
               Eq(lines({" *** TERMINAL ERROR 2 from LINRG.  The required storage cannot be",
                         " ***          allocated.  The workspace is based on N, where N =",
                         " ***          2147483647."})));
}

TEST(ArgumentStops, SupportingRoutines) {
  expect_all_stop({
      {"CRGRG N", [](Context& ctx) { CRGRG(ctx, 0, kM, 1, g_out, 1); },
       lines({" *** TERMINAL ERROR 1 from CRGRG.  The argument N = 0.  It must be at",
              " ***          least 1."})},
      {"CRGRG LDA", [](Context& ctx) { CRGRG(ctx, 3, kM, 2, g_out, 3); },
       lines({" *** TERMINAL ERROR 2 from CRGRG.  The argument LDA = 2.  It must be",
              " ***          at least as large as N = 3."})},
      {"CRGRG LDB", [](Context& ctx) { CRGRG(ctx, 3, kM, 3, g_out, 1); },
       lines({" *** TERMINAL ERROR 3 from CRGRG.  The argument LDB = 1.  It must be",
              " ***          at least as large as N = 3."})},
      {"NR1RR LDA", [](Context& ctx) { NR1RR(ctx, 3, 1, kM, 2, g_rcond); },
       lines({" *** TERMINAL ERROR 1 from NR1RR.  The number of rows of the input",
              " ***          matrix must be less than or equal to the leading",
              " ***          dimension while NRA = 3 and LDA = 2 are given."})},
      {"NR1RR NRA and NCA", [](Context& ctx) { NR1RR(ctx, 0, -1, kM, 2, g_rcond); },
       lines({" *** TERMINAL ERROR 2 from NR1RR.  The number of rows of the input",
              " ***          matrix must be greater than zero while NRA = 0 is given.",
              " *** TERMINAL ERROR 3 from NR1RR.  The number of columns of the input",
              " ***          matrix must be greater than zero while NCA = -1 is",
              " ***          given."})},
  });
}

TEST(ArgumentStops, Level2Kernels) {
  const std::string lda = lines({" *** TERMINAL ERROR 3 from SGEMV.  LDA must be greater than or equal",
                                 " ***          to M and greater than zero while LDA = 1 and M = 2 are",
                                 " ***          given."});
  expect_all_stop({
      {"SGEMV M", [](Context& ctx) { SGEMV(ctx, 'N', -1, 2, 1, kM, 2, kM, 1, 1, g_out, 1); },
       lines({" *** TERMINAL ERROR 1 from SGEMV.  M must be greater than or equal to",
              " ***          zero while -1 is given."})},
      {"SGEMV N", [](Context& ctx) { SGEMV(ctx, 'N', 2, -2, 1, kM, 2, kM, 1, 1, g_out, 1); },
       lines({" *** TERMINAL ERROR 2 from SGEMV.  N must be greater than or equal to",
              " ***          zero while -2 is given."})},
      {"SGEMV LDA", [](Context& ctx) { SGEMV(ctx, 'N', 2, 2, 1, kM, 1, kM, 1, 1, g_out, 1); }, lda},
      {"SGEMV LDA zero", [](Context& ctx) { SGEMV(ctx, 'N', 0, 2, 1, kM, 0, kM, 1, 1, g_out, 1); },
       lines({" *** TERMINAL ERROR 3 from SGEMV.  LDA must be greater than or equal",
              " ***          to M and greater than zero while LDA = 0 and M = 0 are",
              " ***          given."})},
      {"SGEMV INCX", [](Context& ctx) { SGEMV(ctx, 'T', 2, 2, 1, kM, 2, kM, 0, 1, g_out, 1); },
       lines({" *** TERMINAL ERROR 4 from SGEMV.  INCX must not be equal to zero",
              " ***          while 0 is given."})},
      {"SGEMV INCY", [](Context& ctx) { SGEMV(ctx, 'T', 2, 2, 1, kM, 2, kM, 1, 0, g_out, 0); },
       lines({" *** TERMINAL ERROR 5 from SGEMV.  INCY must not be equal to zero",
              " ***          while 0 is given."})},
      {"SGEMV TRANS", [](Context& ctx) { SGEMV(ctx, 'X', 2, 2, 1, kM, 2, kM, 1, 1, g_out, 1); },
       lines({" *** TERMINAL ERROR 6 from SGEMV.  TRANS must be set equal to N or T",
              " ***          or C while X is given."})},
      {"SGER M", [](Context& ctx) { SGER(ctx, -1, 2, 1, kM, 1, kM, 1, g_out, 2); },
       lines({" *** TERMINAL ERROR 1 from SGER.  M must be greater than or equal to",
              " ***          zero while -1 is given."})},
      {"SGER LDA", [](Context& ctx) { SGER(ctx, 2, 2, 1, kM, 1, kM, 1, g_out, 1); },
       lines({" *** TERMINAL ERROR 3 from SGER.  LDA must be greater than or equal to",
              " ***          M and greater than zero while LDA = 1 and M = 2 are",
              " ***          given."})},
      {"SGER INCY", [](Context& ctx) { SGER(ctx, 2, 2, 1, kM, 1, kM, 0, g_out, 2); },
       lines({" *** TERMINAL ERROR 5 from SGER.  INCY must not be equal to zero while",
              " ***          0 is given."})},
  });
}

}  // namespace
}  // namespace numlib
