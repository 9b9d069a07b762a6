// Normal approximations and the starting point.
//
// Under the posterior (mean PARMEANS, covariance COV, precision P = INVCOV)
// parameter i given all others has mean
//   PARMEANS(i) + sum over j != i of C(i,j) * (theta_j - PARMEANS(j))
// and variance 1 / P(i,i), with C(i,j) = -P(i,j) / P(i,i) off the diagonal.
#include <cmath>
#include <cstdio>
#include <limits>

#include "driver/bounds.h"
#include "driver/run.h"
#include "numlib/errors.h"
#include "numlib/linalg.h"
#include "textio/textio.h"

namespace driver {

void set_up_matrices(RunState& s) {
  const int64_t n = s.NPAR;
  for (int64_t j = 1; j <= n; ++j)
    for (int64_t i = 1; i <= n; ++i) s.B(i, j) = 0.0f;
  for (int64_t j = 1; j <= n; ++j)
    for (int64_t i = 1; i <= n; ++i) s.IE(i, j) = 0.0f;

  numlib::LINRG_ARRAY(s.NPAR, s.COV.data(), s.INVCOV.data());

  for (int64_t i = 1; i <= n; ++i) {
    s.B(i, i) = s.INVCOV(i, i);
    s.IE(i, i) = 1.0f;
  }

  numlib::LINRG_ARRAY(s.NPAR, s.B.data(), s.INVB.data());

  // The product first, then the difference, rounded once on storing.
  for (int64_t i = 1; i <= n; ++i)
    for (int64_t j = 1; j <= n; ++j)
      s.C(i, j) = static_cast<float>(static_cast<double>(s.IE(i, j)) -
                                     static_cast<double>(s.INVB(i, i)) *
                                         static_cast<double>(s.INVCOV(i, j)));

  for (int64_t j = 1; j <= n + 1; ++j) s.INITIAL(j) = s.PARMEANS(j);
}

void check_precision_diagonal(const RunState& s) {
  for (int64_t i = 1; i <= s.NPAR; ++i) {
    const float d = s.INVCOV(i, i);
    if (d > 0.0f) continue;  // false for a NaN as well
      std::printf("ineqbf: the covariance matrix is not positive definite.\r\n");
    std::printf("ineqbf: row %lld of its inverse has the diagonal element %.7g, which is not "
                "positive, so no conditional variance exists; no report was written.\r\n",
                static_cast<long long>(i), static_cast<double>(d));
    textio::end_run(numlib::EXIT_LIBRARY_STOP);
  }
}

void move_start_point(RunState& s, int32_t k) {
  const int64_t npar = s.NPAR;
  const int64_t ncon = s.NCON;
  for (int64_t i = 1; i <= npar; ++i) {
    for (int64_t m = 1; m <= k; ++m) {
      // The slack of row m is the same number for both bounds.
      const float S = row_slack(s.R, m, s.INITIAL, npar + 1);
      const float r = s.R(m, i);
      s.LARGE(m) = r > 0.0f ? bound_from_row(r, s.INITIAL(i), S) : -BIG;
      s.SMALL(m) = r < 0.0f ? bound_from_row(r, s.INITIAL(i), S) : BIG;
    }
    for (int64_t m = int64_t{k} + 1; m <= ncon; ++m) {
      s.LARGE(m) = -BIG;
      s.SMALL(m) = BIG;
    }
    s.LOWER(i) = largest(s.LARGE, ncon);
    s.UPPER(i) = smallest(s.SMALL, ncon);

    const float lo = s.LOWER(i);
    const float up = s.UPPER(i);
    float start;
    if (lo == -BIG && up == BIG) {
      start = s.PARMEANS(i);
    } else if (up == BIG) {
      start = static_cast<float>(static_cast<double>(lo) + static_cast<double>(0.1f));
    } else if (lo == -BIG) {
      start = static_cast<float>(static_cast<double>(up) - static_cast<double>(0.1f));
    } else {
      start = static_cast<float>((static_cast<double>(up) - static_cast<double>(lo)) * 0.5 +
                                 static_cast<double>(lo));
    }
    s.INITIAL(i) = start;
  }
}

}  // namespace driver
