// Inverse of a general real matrix.
//
// LINRG supplies the workspace; L2NRG factors A = P L U (L2CRG, L2TRG),
// inverts U in place (LINRT) and forms inv(A) = inv(U) inv(L) column by
// column from the last, undoing the row exchanges as column exchanges.
// Factor layout: U in the upper triangle with its diagonal, the negated
// multipliers of step k below the diagonal of column k, PIVOT(k) the row
// exchanged with row k at step k (exchanges touch columns k..N only).
//
// Every element update is one store: the right-hand side is evaluated in
// double from the exact float operands and rounded once to float.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "numlib/errors.h"
#include "numlib/precision.h"
#include "numlib/linalg.h"

namespace numlib {

namespace {

// Routine names pushed on the error handler's stack. One object per name so
// that the pop compares the same pointer that was pushed.
constexpr const char* kLINRG = "LINRG ";
constexpr const char* kL2NRG = "L2NRG ";
constexpr const char* kL2CRG = "L2CRG ";
constexpr const char* kL2TRG = "L2TRG ";
constexpr const char* kLINRT = "LINRT ";
constexpr const char* kCRGRG = "CRGRG ";
constexpr const char* kNR1RR = "NR1RR ";
constexpr const char* kSGEMV = "SGEMV ";
constexpr const char* kSGER = "SGER  ";

// Library family under which the option of the condition estimate is kept.
constexpr std::string_view kOptionFamily = "LINRG";

// Offset of element (i,j) of a matrix with leading dimension ld.
inline std::ptrdiff_t at(int32_t i, int32_t j, int32_t ld) {
  return static_cast<std::ptrdiff_t>(i - 1) + static_cast<std::ptrdiff_t>(j - 1) * ld;
}


// Smallest magnitude whose reciprocal does not overflow.
float safe_minimum(Context& ctx) {
  float safemin = AMACH(ctx, 1);
  const float big = AMACH(ctx, 2);
  if (wide(safemin) * wide(big) < 1.0) safemin = rounded(1.0 / wide(big));
  return safemin;
}

// The order and leading-dimension checks shared by L2NRG, L2CRG and L2TRG:
// the first that fails raises its terminal error. Returns true when all pass.
bool check_order(Context& ctx, int32_t n, int32_t lda, int32_t ld2, const char* msg1, const char* msg2,
                 const char* msg3) {
  if (n < 1) {
    E1SUBI(ctx, 1, n);
    E1MSG(ctx, ERR_TERMINAL, 1, msg1);
    return false;
  }
  if (lda < n) {
    E1SUBI(ctx, 1, n);
    E1SUBI(ctx, 2, lda);
    E1MSG(ctx, ERR_TERMINAL, 2, msg2);
    return false;
  }
  if (ld2 < n) {
    E1SUBI(ctx, 1, n);
    E1SUBI(ctx, 2, ld2);
    E1MSG(ctx, ERR_TERMINAL, 3, msg3);
    return false;
  }
  return true;
}

constexpr const char* kOrderMsg = "The order of the matrix must be positive while N = %(I1) is given.";
constexpr const char* kLdaMsg =
    "The order of the matrix must be less than or equal to its leading dimension while N = %(I1) "
    "and LDA = %(I2) are given.";
constexpr const char* kLdainvMsg =
    "The order of the matrix must be less than or equal to its leading dimension while N = %(I1) "
    "and LDAINV = %(I2) are given.";
constexpr const char* kLdfacMsg =
    "The order of the matrix must be less than or equal to its leading dimension while N = %(I1) "
    "and LDFAC = %(I2) are given.";

// Argument checks of the level-2 kernels (SGEMV, SGER): the first that fails
// raises its terminal error. Returns true when all pass.
bool check_level2(Context& ctx, int32_t m, int32_t n, int32_t lda, int32_t incx, int32_t incy) {
  if (m < 0) {
    E1SUBI(ctx, 1, m);
    E1MSG(ctx, ERR_TERMINAL, 1, "M must be greater than or equal to zero while %(I1) is given.");
    return false;
  }
  if (n < 0) {
    E1SUBI(ctx, 1, n);
    E1MSG(ctx, ERR_TERMINAL, 2, "N must be greater than or equal to zero while %(I1) is given.");
    return false;
  }
  if (lda < m || lda < 1) {
    E1SUBI(ctx, 1, lda);
    E1SUBI(ctx, 2, m);
    E1MSG(ctx, ERR_TERMINAL, 3,
          "LDA must be greater than or equal to M and greater than zero while LDA = %(I1) and M = "
          "%(I2) are given.");
    return false;
  }
  if (incx == 0) {
    E1SUBI(ctx, 1, incx);
    E1MSG(ctx, ERR_TERMINAL, 4, "INCX must not be equal to zero while %(I1) is given.");
    return false;
  }
  if (incy == 0) {
    E1SUBI(ctx, 1, incy);
    E1MSG(ctx, ERR_TERMINAL, 5, "INCY must not be equal to zero while %(I1) is given.");
    return false;
  }
  return true;
}

// Offset of element 1 of a strided vector of n elements.
inline std::ptrdiff_t first(int32_t n, int32_t inc) {
  return inc < 0 ? static_cast<std::ptrdiff_t>(n - 1) * -static_cast<std::ptrdiff_t>(inc) : 0;
}

// z scaled to unit 1-norm; returns the scale factor.
float normalise(int32_t n, float* z) {
  const float s = rounded(1.0 / wide(SASUM(n, z, 1)));
  SSCAL(n, s, z, 1);
  return s;
}

// The four triangular solves of condition_scale, on the factors of A (fac,
// pivot) and the work vector z; each ends with z normalised.

// Solve trans(U) w = e, each e(k) = +-1 chosen to make w grow; w is
// rescaled whenever an entry would exceed |U(k,k)|.
void solve_transposed_u(int32_t n, const float* fac, int32_t ld, float* z) {
  auto A = [&](int32_t i, int32_t j) { return fac[at(i, j, ld)]; };
  auto Z = [&](int32_t i) -> float& { return z[i - 1]; };
  float ek = 1.0f;
  SFILL(n, 0.0f, z, 1);
  for (int32_t k = 1; k <= n; ++k) {
    const float ukk = A(k, k);
    if (Z(k) != 0.0f) ek = Z(k) < 0.0f ? std::fabs(ek) : -std::fabs(ek);
    if (std::fabs(wide(ek) - wide(Z(k))) > std::fabs(wide(ukk))) {
      const float s = rounded(std::fabs(wide(ukk)) / std::fabs(wide(ek) - wide(Z(k))));
      SSCAL(n, s, z, 1);
      ek = rounded(wide(s) * wide(ek));
    }
    float wk = rounded(wide(ek) - wide(Z(k)));
    float wkm = rounded(-wide(ek) - wide(Z(k)));
    float s = std::fabs(wk);
    float sm = std::fabs(wkm);
    if (ukk != 0.0f) {
      wk = rounded(wide(wk) / wide(ukk));
      wkm = rounded(wide(wkm) / wide(ukk));
    } else {
      wk = 1.0f;
      wkm = 1.0f;
    }
    if (k < n) {
      for (int32_t j = k + 1; j <= n; ++j) {
        // The candidate entry for -e(k) is not stored: it enters the sum
        // unrounded.
        sm = rounded(wide(sm) + std::fabs(wide(Z(j)) + wide(wkm) * wide(A(k, j))));
        Z(j) = rounded(wide(Z(j)) + wide(wk) * wide(A(k, j)));
        s = rounded(wide(s) + std::fabs(wide(Z(j))));
      }
      if (s < sm) {
        const float t = rounded(wide(wkm) - wide(wk));
        wk = wkm;
        for (int32_t j = k + 1; j <= n; ++j) Z(j) = rounded(wide(Z(j)) + wide(t) * wide(A(k, j)));
      }
    }
    Z(k) = wk;
  }
  (void)normalise(n, z);
}

// Solve trans(L) y = w.
void solve_transposed_l(int32_t n, const float* fac, int32_t ld, const int32_t* pivot, float* z) {
  auto Z = [&](int32_t i) -> float& { return z[i - 1]; };
  for (int32_t k = n; k >= 1; --k) {
    if (k < n) Z(k) = rounded(wide(Z(k)) + wide(SDOT(n - k, &fac[at(k + 1, k, ld)], 1, &Z(k + 1), 1)));
    if (std::fabs(Z(k)) > 1.0f) {
      const float s = rounded(1.0 / std::fabs(wide(Z(k))));
      SSCAL(n, s, z, 1);
    }
    const int32_t l = pivot[k - 1];
    const float t = Z(l);
    Z(l) = Z(k);
    Z(k) = t;
  }
  (void)normalise(n, z);
}

// Solve L v = y; returns the product of its scale factors.
float solve_l(int32_t n, const float* fac, int32_t ld, const int32_t* pivot, float* z) {
  auto Z = [&](int32_t i) -> float& { return z[i - 1]; };
  float yscale = 1.0f;
  for (int32_t k = 1; k <= n; ++k) {
    const int32_t l = pivot[k - 1];
    const float t = Z(l);
    Z(l) = Z(k);
    Z(k) = t;
    if (k < n) SAXPY(n - k, t, &fac[at(k + 1, k, ld)], 1, &Z(k + 1), 1);
    if (std::fabs(Z(k)) > 1.0f) {
      const float s = rounded(1.0 / std::fabs(wide(Z(k))));
      SSCAL(n, s, z, 1);
      yscale = rounded(wide(s) * wide(yscale));
    }
  }
  return rounded(wide(normalise(n, z)) * wide(yscale));
}

// Solve U z = v; returns yscale times the product of its scale factors.
float solve_u(int32_t n, const float* fac, int32_t ld, float* z, float yscale) {
  auto A = [&](int32_t i, int32_t j) { return fac[at(i, j, ld)]; };
  auto Z = [&](int32_t i) -> float& { return z[i - 1]; };
  for (int32_t k = n; k >= 1; --k) {
    const float ukk = A(k, k);
    if (std::fabs(Z(k)) > std::fabs(ukk)) {
      const float s = rounded(std::fabs(wide(ukk)) / std::fabs(wide(Z(k))));
      SSCAL(n, s, z, 1);
      yscale = rounded(wide(s) * wide(yscale));
    }
    if (ukk != 0.0f)
      Z(k) = rounded(wide(Z(k)) / wide(ukk));
    else
      Z(k) = 1.0f;
    const float t = -Z(k);
    SAXPY(k - 1, t, &fac[at(1, k, ld)], 1, z, 1);
  }
  return rounded(wide(normalise(n, z)) * wide(yscale));
}

// Estimate of the reciprocal of the L1 norm of inv(A) times the norm of a
// growing right-hand side, on the factors of A (fac, pivot): four triangular
// solves, each followed by normalising the work vector z to unit 1-norm.
// Returns the product of the scale factors of the last three solves.
// Every scalar (ek, wk, wkm, s, sm, t, the scale product) and every element
// of z is a stored float; the test |ek - z(k)| > |U(k,k)| compares the
// unrounded difference, in double.
float condition_scale(int32_t n, const float* fac, int32_t ld, const int32_t* pivot, float* z) {
  solve_transposed_u(n, fac, ld, z);
  solve_transposed_l(n, fac, ld, pivot, z);
  const float yscale = solve_l(n, fac, ld, pivot, z);
  return solve_u(n, fac, ld, z, yscale);
}

// Non-throwing allocation of count elements of the given size; null when the
// size overflows or the memory cannot be had.
void* allocate(uint64_t count, std::size_t size) {
  if (count > SIZE_MAX / size) return nullptr;
  return ::operator new(static_cast<std::size_t>(count) * size, std::nothrow);
}

}  // namespace

// Contiguous column-major storage: both leading dimensions are the order.
// An order below 1 is reported by LINRG before either array is touched.
void LINRG_ARRAY(Context& ctx, int32_t n, const float* a, float* ainv) { LINRG(ctx, n, a, n, ainv, n); }

void LINRG(Context& ctx, int32_t n, const float* a, int32_t lda, float* ainv, int32_t ldainv) {
  E1PSH(ctx, kLINRG);
  if (n <= 0) {
    E1SUBI(ctx, 1, n);
    E1MSG(ctx, ERR_TERMINAL, 1, "The order of the matrix must be positive while N = %(i1) is given.");
    E1POP(ctx, kLINRG);
    return;
  }
  // WORK holds the N(N-1)/2 multipliers and a vector of N; the sizes are
  // formed in 64 bits so that no order can wrap them. The workspace is
  // released however the call ends (a stop inside ends it by an exception).
  const uint64_t n64 = static_cast<uint64_t>(n);
  const uint64_t nwork = n64 + n64 * (n64 - 1) / 2;
  struct Release {
    void operator()(void* p) const { ::operator delete(p); }
  };
  std::unique_ptr<int32_t, Release> iwork(static_cast<int32_t*>(allocate(n64, sizeof(int32_t))));
  std::unique_ptr<float, Release> work(
      iwork != nullptr ? static_cast<float*>(allocate(nwork, sizeof(float))) : nullptr);
  if (iwork == nullptr || work == nullptr) {
    E1MSG(ctx, ERR_TERMINAL, -1, " ");
    E1SUBI(ctx, 1, n);
    E1MSG(ctx, ERR_TERMINAL, 2,
          "The required storage cannot be allocated.  The workspace is based on N, where N = %(i1).");
    E1POP(ctx, kLINRG);
    return;
  }
  L2NRG(ctx, n, a, lda, ainv, ldainv, work.get(), iwork.get());
  E1POP(ctx, kLINRG);
}

void L2NRG(Context& ctx, int32_t n, const float* a, int32_t lda, float* ainv, int32_t ldainv, float* work,
           int32_t* iwork) {
  E1PSH(ctx, kL2NRG);
  if (!check_order(ctx, n, lda, ldainv, kOrderMsg, kLdaMsg, kLdainvMsg)) {
    E1POP(ctx, kL2NRG);
    return;
  }
  const std::ptrdiff_t nmult = static_cast<std::ptrdiff_t>(n) * (n - 1) / 2;
  float* w = work + nmult;  // the last N elements of WORK
  float rcond = 1.0f;
  L2CRG(ctx, n, a, lda, ainv, ldainv, iwork, rcond, w);
  // A singular matrix leaves the factors in AINV. A terminal error is taken
  // the same way: the pivots would not have been formed.
  if (N1RTY(ctx, 1) >= ERR_FATAL) {
    E1POP(ctx, kL2NRG);
    return;
  }

  // Keep the multipliers, column by column, while U is inverted in place.
  std::ptrdiff_t p = 0;
  for (int32_t k = 1; k < n; ++k) {
    SCOPY(n - k, &ainv[at(k + 1, k, ldainv)], 1, &work[p], 1);
    p += n - k;
  }
  LINRT(ctx, n, ainv, ldainv, 2, ainv, ldainv);
  p = 0;
  for (int32_t k = 1; k < n; ++k) {
    SCOPY(n - k, &work[p], 1, &ainv[at(k + 1, k, ldainv)], 1);
    p += n - k;
  }

  // inv(A) = inv(U) inv(L_1) P_1 ... inv(L_{n-1}) P_{n-1}, applied from the
  // last step back: column i gains inv(U)-part columns i+1..N weighted by the
  // multipliers of step i, then the exchange of step i is undone.
  for (int32_t i = n - 1; i >= 1; --i) {
    float* col = &ainv[at(i + 1, i, ldainv)];
    SCOPY(n - i, col, 1, w, 1);
    SFILL(n - i, 0.0f, col, 1);
    SGEMV(ctx, 'N', n, n - i, 1.0f, &ainv[at(1, i + 1, ldainv)], ldainv, w, 1, 1.0f,
          &ainv[at(1, i, ldainv)], 1);
    const int32_t l = iwork[i - 1];
    if (l != i) SSWAP(n, &ainv[at(1, i, ldainv)], 1, &ainv[at(1, l, ldainv)], 1);
  }

  if (AMACH(ctx, 4) >= rcond) {
    E1SUBR(ctx, 1, rcond);
    E1MSG(ctx, ERR_WARNING, 1,
          "The matrix is too ill-conditioned. An estimate of the reciprocal of its L1 condition number "
          "is RCOND = %(R1).  The inverse might not be accurate.");
  }
  E1POP(ctx, kL2NRG);
}

void L2CRG(Context& ctx, int32_t n, const float* a, int32_t lda, float* fac, int32_t ldfac, int32_t* pivot,
           float& rcond, float* work) {
  E1PSH(ctx, kL2CRG);
  if (!check_order(ctx, n, lda, ldfac, kOrderMsg, kLdaMsg, kLdfacMsg)) {
    E1POP(ctx, kL2CRG);
    return;
  }
  rcond = 1.0f;
  // Chapter 1, option 17: two values, the second says whether to estimate
  // the condition number (1 no, 2 yes).
  const int32_t option = 17;
  int32_t values[2] = {1, 1};
  IUMAG(ctx, kOptionFamily, 1, 1, 1, &option, values);
  const int32_t flag = values[1];
  float onenorm = 0.0f;
  if (flag == 2) {
    NR1RR(ctx, n, n, a, lda, onenorm);
  } else if (flag != 1) {
    E1SUBI(ctx, 1, flag);
    E1MSG(ctx, ERR_TERMINAL, 4,
          "The flag value for computing the matrix condition number must be 1 or 2 while %(I1) is "
          "given.");
    E1POP(ctx, kL2CRG);
    return;
  }

  L2TRG(ctx, n, a, lda, fac, ldfac, pivot, work);
  if (N1RTY(ctx, 1) >= ERR_FATAL) {
    E1POP(ctx, kL2CRG);
    return;
  }

  if (flag == 2) {
    const float yscale = condition_scale(n, fac, ldfac, pivot, work);
    if (onenorm != 0.0f) rcond = rounded(wide(yscale) / wide(onenorm));
  }
  if (AMACH(ctx, 4) >= rcond) {
    E1SUBR(ctx, 1, rcond);
    E1MSG(ctx, ERR_WARNING, 1,
          "The matrix is algorithmically singular.  An estimate of the reciprocal of its L1 condition "
          "number is RCOND = %(R1).");
  }
  E1POP(ctx, kL2CRG);
}

void L2TRG(Context& ctx, int32_t n, const float* a, int32_t lda, float* fac, int32_t ldfac, int32_t* pivot,
           float* rowscale) {
  E1PSH(ctx, kL2TRG);
  if (!check_order(
          ctx, n, lda, ldfac, "The order of the matrix must be positive while N = %(i1) is given.",
          "The order of the matrix must be less than or equal to its leading dimension while N = "
          "%(i1) and LDA = %(i2) are given.",
          "The order of the matrix must be less than or equal to its leading dimension while N = "
          "%(i1) and LDFAC = %(i2) are given.")) {
    E1POP(ctx, kL2TRG);
    return;
  }
  auto F = [&](int32_t i, int32_t j) -> float& { return fac[at(i, j, ldfac)]; };

  CRGRG(ctx, n, a, lda, fac, ldfac);
  const float safemin = safe_minimum(ctx);
  // Each row is weighted by the reciprocal of its largest magnitude; a row
  // with nothing above the safe minimum keeps weight 1.
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t j = ISAMAX(n, &F(i, 1), ldfac);
    const float m = std::fabs(F(i, j));
    rowscale[i - 1] = safemin > m ? 1.0f : rounded(1.0 / wide(m));
  }

  bool singular = false;
  for (int32_t k = 1; k < n; ++k) {
    // Pivot: the first largest |FAC(i,k)| * ROWSCALE(i), i = k..N.
    const int32_t l = k - 1 + ISAMAX_SCALED(n - k + 1, &F(k, k), &rowscale[k - 1]);
    pivot[k - 1] = l;
    if (std::fabs(F(l, k)) <= safemin) {
      singular = true;
      continue;
    }
    if (l != k) {
      const float r = rowscale[l - 1];
      rowscale[l - 1] = rowscale[k - 1];
      rowscale[k - 1] = r;
      const float t = F(l, k);
      F(l, k) = F(k, k);
      F(k, k) = t;
    }
    const float t = rounded(-1.0 / wide(F(k, k)));
    SSCAL(n - k, t, &F(k + 1, k), 1);
    for (int32_t j = k + 1; j <= n; ++j) {
      const float s = F(l, j);
      if (l != k) {
        F(l, j) = F(k, j);
        F(k, j) = s;
      }
      SAXPY(n - k, s, &F(k + 1, k), 1, &F(k + 1, j), 1);
    }
  }
  pivot[n - 1] = n;
  if (std::fabs(F(n, n)) <= safemin) singular = true;

  if (singular) {
    E1MSG(ctx, ERR_FATAL, 2,
          "The input matrix is singular.  Some of the diagonal elements of the upper triangular "
          "matrix U of the LU factorization are close to zero.");
  }
  E1POP(ctx, kL2TRG);
}

void LINRT(Context& ctx, int32_t n, const float* a, int32_t lda, int32_t ipath, float* ainv, int32_t ldainv) {
  E1PSH(ctx, kLINRT);
  // Every argument is checked; any failure ends the call.
  bool bad = false;
  if (n < 1) {
    E1SUBI(ctx, 1, n);
    E1MSG(ctx, ERR_TERMINAL, 1, kOrderMsg);
    bad = true;
  }
  if (lda < n) {
    E1SUBI(ctx, 1, n);
    E1SUBI(ctx, 2, lda);
    E1MSG(ctx, ERR_TERMINAL, 2, kLdaMsg);
    bad = true;
  }
  if (ldainv < n) {
    E1SUBI(ctx, 1, n);
    E1SUBI(ctx, 2, ldainv);
    E1MSG(ctx, ERR_TERMINAL, 3, kLdainvMsg);
    bad = true;
  }
  if (ipath != 1 && ipath != 2) {
    E1SUBI(ctx, 1, ipath);
    E1MSG(ctx, ERR_TERMINAL, 4, "IPATH must be either 1 or 2 while a value of %(I1) is given.");
    bad = true;
  }
  if (bad) {
    E1POP(ctx, kLINRT);
    return;
  }
  auto V = [&](int32_t i, int32_t j) -> float& { return ainv[at(i, j, ldainv)]; };
  const float safemin = safe_minimum(ctx);
  const bool upper = ipath == 2;

  // AINV := the triangle of A, the other triangle cleared. A and AINV may be
  // the same storage.
  for (int32_t j = 1; j <= n; ++j) {
    if (upper) {
      if (j < n) SFILL(n - j, 0.0f, &V(j + 1, j), 1);
      SCOPY(j, &a[at(1, j, lda)], 1, &V(1, j), 1);
    } else {
      SFILL(j - 1, 0.0f, &V(1, j), 1);
      SCOPY(n - j + 1, &a[at(j, j, lda)], 1, &V(j, j), 1);
    }
  }

  // Step i turns row and column i into those of the inverse: the lower
  // triangle is handled as the transpose of the upper one, rows for columns.
  for (int32_t i = 1; i <= n; ++i) {
    if (std::fabs(V(i, i)) <= safemin) {
      E1SUBI(ctx, 1, i);
      E1MSG(ctx, ERR_TERMINAL, 5,
            "The matrix to be inverted is singular.  The index of the first zero diagonal element of "
            "A is %(I1).");
      break;
    }
    // d = 1/AINV(i,i) is a stored float; the column above (row before) the
    // diagonal is scaled by -d, an exact negation.
    const float di = rounded(1.0 / wide(V(i, i)));
    V(i, i) = di;
    if (upper) {
      SSCAL(i - 1, -di, &V(1, i), 1);
      if (i < n) {
        SGER(ctx, i - 1, n - i, 1.0f, &V(1, i), 1, &V(i, i + 1), ldainv, &V(1, i + 1), ldainv);
        SSCAL(n - i, di, &V(i, i + 1), ldainv);
      }
    } else {
      SSCAL(i - 1, -di, &V(i, 1), ldainv);
      if (i < n) {
        SGER(ctx, n - i, i - 1, 1.0f, &V(i + 1, i), 1, &V(i, 1), ldainv, &V(i + 1, 1), ldainv);
        SSCAL(n - i, di, &V(i + 1, i), 1);
      }
    }
  }
  E1POP(ctx, kLINRT);
}

void CRGRG(Context& ctx, int32_t n, const float* a, int32_t lda, float* b, int32_t ldb) {
  E1PSH(ctx, kCRGRG);
  if (n < 1) {
    E1SUBI(ctx, 1, n);
    E1MSG(ctx, ERR_TERMINAL, 1, "The argument N = %(I1).  It must be at least 1.");
  } else if (lda < n) {
    E1SUBI(ctx, 1, lda);
    E1SUBI(ctx, 2, n);
    E1MSG(ctx, ERR_TERMINAL, 2, "The argument LDA = %(I1).  It must be at least as large as N = %(I2).");
  } else if (ldb < n) {
    E1SUBI(ctx, 1, ldb);
    E1SUBI(ctx, 2, n);
    E1MSG(ctx, ERR_TERMINAL, 3, "The argument LDB = %(I1).  It must be at least as large as N = %(I2).");
  } else {
    for (int32_t j = 1; j <= n; ++j) SCOPY(n, &a[at(1, j, lda)], 1, &b[at(1, j, ldb)], 1);
  }
  E1POP(ctx, kCRGRG);
}

void NR1RR(Context& ctx, int32_t nra, int32_t nca, const float* a, int32_t lda, float& onenorm) {
  E1PSH(ctx, kNR1RR);
  bool bad = false;
  if (lda < nra) {
    E1SUBI(ctx, 1, nra);
    E1SUBI(ctx, 2, lda);
    E1MSG(ctx, ERR_TERMINAL, 1,
          "The number of rows of the input matrix must be less than or equal to the leading "
          "dimension while NRA = %(I1) and LDA = %(I2) are given.");
    bad = true;
  } else {
    if (nra < 1) {
      E1SUBI(ctx, 1, nra);
      E1MSG(ctx, ERR_TERMINAL, 2,
            "The number of rows of the input matrix must be greater than zero while NRA = %(I1) is "
            "given.");
      bad = true;
    }
    if (nca < 1) {
      E1SUBI(ctx, 1, nca);
      E1MSG(ctx, ERR_TERMINAL, 3,
            "The number of columns of the input matrix must be greater than zero while NCA = %(I1) "
            "is given.");
      bad = true;
    }
  }
  if (!bad) {
    onenorm = 0.0f;
    for (int32_t j = 1; j <= nca; ++j) {
      const float s = SASUM(nra, &a[at(1, j, lda)], 1);
      if (!(s < onenorm)) onenorm = s;
    }
  }
  E1POP(ctx, kNR1RR);
}

void SGEMV(Context& ctx, char trans, int32_t m, int32_t n, float alpha, const float* a, int32_t lda,
           const float* x, int32_t incx, float beta, float* y, int32_t incy) {
  E1PSH(ctx, kSGEMV);
  // The transpose flag is taken in either case, as the BLAS do.
  const bool notrans = trans == 'N' || trans == 'n';
  const bool transp = trans == 'T' || trans == 't' || trans == 'C' || trans == 'c';
  if (!check_level2(ctx, m, n, lda, incx, incy)) {
    E1POP(ctx, kSGEMV);
    return;
  }
  if (!notrans && !transp) {
    E1SUBL(ctx, 1, std::string_view(&trans, 1));
    E1MSG(ctx, ERR_TERMINAL, 6, "TRANS must be set equal to N or T or C while %(L1) is given.");
    E1POP(ctx, kSGEMV);
    return;
  }
  if (m == 0 || n == 0 || (alpha == 0.0f && beta == 1.0f)) {
    E1POP(ctx, kSGEMV);
    return;
  }
  const int32_t lenx = notrans ? n : m;
  const int32_t leny = notrans ? m : n;
  if (beta != 1.0f) {
    if (beta == 0.0f)
      SFILL(leny, 0.0f, y, incy);
    else
      SSCAL(leny, beta, y, incy);
  }
  if (alpha != 0.0f) {
    if (notrans) {
      std::ptrdiff_t jx = first(lenx, incx);
      for (int32_t j = 1; j <= n; ++j, jx += incx) {
        // The weight ALPHA*x(j) is stored as a float, then each element of
        // y takes one store.
        const float temp = rounded(wide(alpha) * wide(x[jx]));
        SAXPY(m, temp, &a[at(1, j, lda)], 1, y, incy);
      }
    } else {
      std::ptrdiff_t jy = first(leny, incy);
      for (int32_t j = 1; j <= n; ++j, jy += incy) {
        // y(j) + ALPHA * (column j . x), one store.
        y[jy] = rounded(wide(y[jy]) + wide(alpha) * wide(SDOT(m, &a[at(1, j, lda)], 1, x, incx)));
      }
    }
  }
  E1POP(ctx, kSGEMV);
}

void SGER(Context& ctx, int32_t m, int32_t n, float alpha, const float* x, int32_t incx, const float* y,
          int32_t incy, float* a, int32_t lda) {
  E1PSH(ctx, kSGER);
  if (check_level2(ctx, m, n, lda, incx, incy) && m != 0 && n != 0 && alpha != 0.0f) {
    std::ptrdiff_t jy = first(n, incy);
    for (int32_t j = 1; j <= n; ++j, jy += incy) {
      // The weight ALPHA*y(j) is stored as a float, then each element of
      // column j takes one store.
      const float temp = rounded(wide(alpha) * wide(y[jy]));
      SAXPY(m, temp, x, incx, &a[at(1, j, lda)], 1);
    }
  }
  E1POP(ctx, kSGER);
}

}  // namespace numlib
