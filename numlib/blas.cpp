// Level-1 vector kernels beneath the matrix inverse.
//
// Vectors follow the level-1 BLAS addressing: element i (1-based) of a vector
// with stride inc > 0 lies at x[(i-1)*inc]; with inc < 0 the vector is walked
// from the far end, element i at x[(n-i)*|inc|]. A zero stride addresses the
// same element n times, as the plain loop does. Unit-stride loops are
// unrolled, the remainder of n by the unroll factor handled first; the
// unrolling changes no result except where a kernel's rounding rule says so
// (SDOT).
//
// Every element update is one store: its right-hand side is evaluated in
// double from the exact float operands and rounded once to float.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "numlib/linalg.h"
#include "numlib/precision.h"

namespace numlib {

namespace {

// Offset of element 1 of a strided vector of n elements.
inline std::ptrdiff_t first(int32_t n, int32_t inc) {
  return inc < 0 ? static_cast<std::ptrdiff_t>(n - 1) * -static_cast<std::ptrdiff_t>(inc) : 0;
}

inline float axpy1(float y, float a, float x) {
  return rounded(wide(y) + wide(a) * wide(x));
}

inline float mul1(float a, float x) {
  return rounded(wide(a) * wide(x));
}

}  // namespace

void SCOPY(int32_t n, const float* x, int32_t incx, float* y, int32_t incy) {
  if (n <= 0) return;
  if (incx == 1 && incy == 1) {
    const int32_t m = n % 7;
    for (int32_t i = 0; i < m; ++i) y[i] = x[i];
    for (int32_t i = m; i < n; i += 7) {
      y[i] = x[i];
      y[i + 1] = x[i + 1];
      y[i + 2] = x[i + 2];
      y[i + 3] = x[i + 3];
      y[i + 4] = x[i + 4];
      y[i + 5] = x[i + 5];
      y[i + 6] = x[i + 6];
    }
    return;
  }
  std::ptrdiff_t ix = first(n, incx), iy = first(n, incy);
  for (int32_t i = 0; i < n; ++i, ix += incx, iy += incy) y[iy] = x[ix];
}

void SSWAP(int32_t n, float* x, int32_t incx, float* y, int32_t incy) {
  if (n <= 0) return;
  if (incx == 1 && incy == 1) {
    const int32_t m = n % 3;
    for (int32_t i = 0; i < m; ++i) {
      const float t = x[i];
      x[i] = y[i];
      y[i] = t;
    }
    for (int32_t i = m; i < n; i += 3) {
      float t = x[i];
      x[i] = y[i];
      y[i] = t;
      t = x[i + 1];
      x[i + 1] = y[i + 1];
      y[i + 1] = t;
      t = x[i + 2];
      x[i + 2] = y[i + 2];
      y[i + 2] = t;
    }
    return;
  }
  std::ptrdiff_t ix = first(n, incx), iy = first(n, incy);
  for (int32_t i = 0; i < n; ++i, ix += incx, iy += incy) {
    const float t = x[ix];
    x[ix] = y[iy];
    y[iy] = t;
  }
}

void SSCAL(int32_t n, float a, float* x, int32_t incx) {
  if (n <= 0) return;
  if (incx == 1) {
    const int32_t m = n % 5;
    for (int32_t i = 0; i < m; ++i) x[i] = mul1(a, x[i]);
    for (int32_t i = m; i < n; i += 5) {
      x[i] = mul1(a, x[i]);
      x[i + 1] = mul1(a, x[i + 1]);
      x[i + 2] = mul1(a, x[i + 2]);
      x[i + 3] = mul1(a, x[i + 3]);
      x[i + 4] = mul1(a, x[i + 4]);
    }
    return;
  }
  std::ptrdiff_t ix = first(n, incx);
  for (int32_t i = 0; i < n; ++i, ix += incx) x[ix] = mul1(a, x[ix]);
}

void SAXPY(int32_t n, float a, const float* x, int32_t incx, float* y, int32_t incy) {
  if (n <= 0 || a == 0.0f) return;
  if (incx == 1 && incy == 1) {
    const int32_t m = n % 4;
    for (int32_t i = 0; i < m; ++i) y[i] = axpy1(y[i], a, x[i]);
    for (int32_t i = m; i < n; i += 4) {
      y[i] = axpy1(y[i], a, x[i]);
      y[i + 1] = axpy1(y[i + 1], a, x[i + 1]);
      y[i + 2] = axpy1(y[i + 2], a, x[i + 2]);
      y[i + 3] = axpy1(y[i + 3], a, x[i + 3]);
    }
    return;
  }
  std::ptrdiff_t ix = first(n, incx), iy = first(n, incy);
  for (int32_t i = 0; i < n; ++i, ix += incx, iy += incy) y[iy] = axpy1(y[iy], a, x[ix]);
}

// Unit strides: the first n mod 5 products are added one at a time, each
// partial sum rounded to float; then each group of five products is added
// to the running sum in double, left to right
// (((((s + p1) + p2) + p3) + p4) + p5), and the group's result is rounded to
// float once. Other strides round after every product.
float SDOT(int32_t n, const float* x, int32_t incx, const float* y, int32_t incy) {
  float stemp = 0.0f;
  if (n <= 0) return stemp;
  auto p = [&](std::ptrdiff_t i, std::ptrdiff_t j) {
    return wide(x[i]) * wide(y[j]);
  };
  if (incx == 1 && incy == 1) {
    const int32_t m = n % 5;
    for (int32_t i = 0; i < m; ++i) stemp = rounded(wide(stemp) + p(i, i));
    for (int32_t i = m; i < n; i += 5) {
      double s = wide(stemp);
      s += p(i, i);
      s += p(i + 1, i + 1);
      s += p(i + 2, i + 2);
      s += p(i + 3, i + 3);
      s += p(i + 4, i + 4);
      stemp = rounded(s);
    }
    return stemp;
  }
  std::ptrdiff_t ix = first(n, incx), iy = first(n, incy);
  for (int32_t i = 0; i < n; ++i, ix += incx, iy += incy)
    stemp = rounded(wide(stemp) + p(ix, iy));
  return stemp;
}

// The magnitudes are accumulated in double in index order and the sum is
// rounded once, when it is returned.
float SASUM(int32_t n, const float* x, int32_t incx) {
  double s = 0.0;
  if (n <= 0) return 0.0f;
  if (incx == 1) {
    const int32_t m = n % 6;
    for (int32_t i = 0; i < m; ++i) s += std::fabs(wide(x[i]));
    for (int32_t i = m; i < n; i += 6) {
      s += std::fabs(wide(x[i]));
      s += std::fabs(wide(x[i + 1]));
      s += std::fabs(wide(x[i + 2]));
      s += std::fabs(wide(x[i + 3]));
      s += std::fabs(wide(x[i + 4]));
      s += std::fabs(wide(x[i + 5]));
    }
    return rounded(s);
  }
  std::ptrdiff_t ix = first(n, incx);
  for (int32_t i = 0; i < n; ++i, ix += incx) s += std::fabs(wide(x[ix]));
  return rounded(s);
}

// Index (1-based, in the vector's own order) of the first element of largest
// magnitude; 0 when n < 1.
int32_t ISAMAX(int32_t n, const float* x, int32_t incx) {
  if (n < 1) return 0;
  std::ptrdiff_t ix = first(n, incx);
  int32_t best = 1;
  float dmax = std::fabs(x[ix]);
  ix += incx;
  for (int32_t i = 2; i <= n; ++i, ix += incx) {
    const float v = std::fabs(x[ix]);
    if (v > dmax) {
      best = i;
      dmax = v;
    }
  }
  return best;
}

void SFILL(int32_t n, float value, float* x, int32_t incx) {
  if (n <= 0) return;
  if (incx == 1) {
    const int32_t m = n % 8;
    for (int32_t i = 0; i < m; ++i) x[i] = value;
    for (int32_t i = m; i < n; i += 8) {
      x[i] = value;
      x[i + 1] = value;
      x[i + 2] = value;
      x[i + 3] = value;
      x[i + 4] = value;
      x[i + 5] = value;
      x[i + 6] = value;
      x[i + 7] = value;
    }
    return;
  }
  std::ptrdiff_t ix = first(n, incx);
  for (int32_t i = 0; i < n; ++i, ix += incx) x[ix] = value;
}

// The products x(i)*y(i) are stored as floats, 400 at a time, in a buffer of
// fixed size on the stack (the pivot search allocates nothing and shares
// nothing between runs); ISAMAX picks the first largest of each block, and a
// later block replaces the best only if strictly larger.
int32_t ISAMAX_SCALED(int32_t n, const float* x, const float* y) {
  constexpr int32_t kBlock = 400;
  float buffer[kBlock];
  int32_t best = 0;
  float bestval = 0.0f;
  for (int32_t start = 0; start < n; start += kBlock) {
    const int32_t m = n - start < kBlock ? n - start : kBlock;
    for (int32_t i = 0; i < m; ++i) buffer[i] = mul1(x[start + i], y[start + i]);
    const int32_t j = ISAMAX(m, buffer, 1);
    const float v = std::fabs(buffer[j - 1]);
    if (best == 0 || v > bestval) {
      best = start + j;
      bestval = v;
    }
  }
  return best;
}

}  // namespace numlib
