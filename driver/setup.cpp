// Normal approximations and the starting point.
//
// Under the posterior (mean PARMEANS, covariance COV, precision P = INVCOV)
// parameter i given all others has mean
//   PARMEANS(i) + sum over j != i of C(i,j) * (theta_j - PARMEANS(j))
// and variance 1 / P(i,i), with C(i,j) = -P(i,j) / P(i,i) off the diagonal.
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "driver/bounds.h"
#include "driver/run.h"
#include "numlib/errors.h"
#include "numlib/linalg.h"
#include "textio/textio.h"

namespace driver {

void set_up_matrices(RunState& s) {
  const ProblemArrays& p = s.problem;
  Approximations& a = s.approx;
  const int64_t n = p.NPAR;
  for (int64_t j = 1; j <= n; ++j)
    for (int64_t i = 1; i <= n; ++i) a.B(i, j) = 0.0f;
  for (int64_t j = 1; j <= n; ++j)
    for (int64_t i = 1; i <= n; ++i) a.IE(i, j) = 0.0f;

  numlib::LINRG_ARRAY(s.lib, p.NPAR, p.COV.data(), a.INVCOV.data());

  for (int64_t i = 1; i <= n; ++i) {
    a.B(i, i) = a.INVCOV(i, i);
    a.IE(i, i) = 1.0f;
  }

  numlib::LINRG_ARRAY(s.lib, p.NPAR, a.B.data(), a.INVB.data());

  // The product first, then the difference, rounded once on storing.
  for (int64_t i = 1; i <= n; ++i)
    for (int64_t j = 1; j <= n; ++j)
      a.C(i, j) = rounded(wide(a.IE(i, j)) - wide(a.INVB(i, i)) * wide(a.INVCOV(i, j)));

  for (int64_t j = 1; j <= n + 1; ++j) s.start.INITIAL(j) = p.PARMEANS(j);
}

void check_precision_diagonal(const RunState& s) {
  for (int64_t i = 1; i <= s.problem.NPAR; ++i) {
    const float d = s.approx.INVCOV(i, i);
    if (d > 0.0f) continue;  // false for a NaN as well
    char detail[200];
    std::snprintf(detail, sizeof detail,
                  "ineqbf: row %lld of its inverse has the diagonal element %.7g, which is not "
                  "positive, so no conditional variance exists; no report was written.",
                  static_cast<long long>(i), static_cast<double>(d));
    textio::end_run(Status::numerical_stop,
                    std::string("ineqbf: the covariance matrix is not positive definite.\n") + detail);
  }
}

void move_start_point(RunState& s, int32_t k) {
  const ProblemArrays& p = s.problem;
  StartPoint& st = s.start;
  const int64_t npar = p.NPAR;
  const int64_t ncon = p.NCON;
  for (int64_t i = 1; i <= npar; ++i) {
    for (int64_t m = 1; m <= k; ++m) {
      // The slack of row m is the same number for both bounds.
      const float S = row_slack(p.R, m, st.INITIAL, npar + 1);
      const float r = p.R(m, i);
      st.LARGE(m) = r > 0.0f ? bound_from_row(r, st.INITIAL(i), S) : -BIG;
      st.SMALL(m) = r < 0.0f ? bound_from_row(r, st.INITIAL(i), S) : BIG;
    }
    for (int64_t m = int64_t{k} + 1; m <= ncon; ++m) {
      st.LARGE(m) = -BIG;
      st.SMALL(m) = BIG;
    }
    st.LOWER(i) = largest(st.LARGE, ncon);
    st.UPPER(i) = smallest(st.SMALL, ncon);

    const float lo = st.LOWER(i);
    const float up = st.UPPER(i);
    float start;
    if (lo == -BIG && up == BIG) {
      start = p.PARMEANS(i);
    } else if (up == BIG) {
      start = rounded(wide(lo) + wide(0.1f));
    } else if (lo == -BIG) {
      start = rounded(wide(up) - wide(0.1f));
    } else {
      start = rounded((wide(up) - wide(lo)) * 0.5 + wide(lo));
    }
    st.INITIAL(i) = start;
  }
}

}  // namespace driver
