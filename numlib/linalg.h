// Inverse of a general real matrix by LU factorisation with scaled partial
// pivoting, and the vector kernels beneath it. Matrices are single
// precision, column by column, element (i,j) at a[(i-1) + (j-1)*ld].
#pragma once

#include <cstdint>

#include "numlib/context.h"

namespace numlib {

// Array form: order n, both leading dimensions n, contiguous storage.
void LINRG_ARRAY(Context& ctx, int32_t n, const float* a, float* ainv);

// The routines that report take the run's context for the error handler.
void LINRG(Context& ctx, int32_t n, const float* a, int32_t lda, float* ainv, int32_t ldainv);
void L2NRG(Context& ctx, int32_t n, const float* a, int32_t lda, float* ainv, int32_t ldainv,
           float* work, int32_t* iwork);
void L2CRG(Context& ctx, int32_t n, const float* a, int32_t lda, float* fac, int32_t ldfac,
           int32_t* pivot, float& rcond, float* work);
void L2TRG(Context& ctx, int32_t n, const float* a, int32_t lda, float* fac, int32_t ldfac,
           int32_t* pivot, float* rowscale);
void LINRT(Context& ctx, int32_t n, const float* a, int32_t lda, int32_t ipath, float* ainv,
           int32_t ldainv);
void CRGRG(Context& ctx, int32_t n, const float* a, int32_t lda, float* b, int32_t ldb);
void NR1RR(Context& ctx, int32_t nra, int32_t nca, const float* a, int32_t lda, float& onenorm);
void SGEMV(Context& ctx, char trans, int32_t m, int32_t n, float alpha, const float* a,
           int32_t lda, const float* x, int32_t incx, float beta, float* y, int32_t incy);
void SGER(Context& ctx, int32_t m, int32_t n, float alpha, const float* x, int32_t incx,
          const float* y, int32_t incy, float* a, int32_t lda);

// Level-1 kernels (BLAS semantics; strides may be negative). They report
// nothing.
void SCOPY(int32_t n, const float* x, int32_t incx, float* y, int32_t incy);
void SSWAP(int32_t n, float* x, int32_t incx, float* y, int32_t incy);
void SSCAL(int32_t n, float a, float* x, int32_t incx);
void SAXPY(int32_t n, float a, const float* x, int32_t incx, float* y, int32_t incy);
float SDOT(int32_t n, const float* x, int32_t incx, const float* y, int32_t incy);
float SASUM(int32_t n, const float* x, int32_t incx);
int32_t ISAMAX(int32_t n, const float* x, int32_t incx);
void SFILL(int32_t n, float value, float* x, int32_t incx);
// Index (1-based) of the first largest |x(i)*y(i)|, i = 1..n.
int32_t ISAMAX_SCALED(int32_t n, const float* x, const float* y);

}  // namespace numlib
