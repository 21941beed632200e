// Derivative estimation for a shape-preserving piecewise cubic Hermite
// interpolant. Every formula is evaluated in exactly the association written
// here: results must match earlier runs to the last bit.
#include <cmath>
#include <cstddef>

#include "hermite/hermite.h"

namespace hermite {

namespace {

// Three-point end slope corrected so that it cannot break the shape: zero if
// it points against the end secant `near`, at most 3 * near in magnitude when
// the data turn right after the end interval.
double limit_end_slope(double slope, double near, double far) {
  if (DSGNPR(slope, near) <= 0.0) return 0.0;
  if (DSGNPR(near, far) < 0.0) {
    const double dmax = 3.0 * near;
    if (std::fabs(slope) > std::fabs(dmax)) return dmax;
  }
  return slope;
}

}  // namespace

void DPCHIM(const int& N, const double* X, const double* F, double* D, const int& INCFD,
            int& IERR) {
  if (N < 2) {
    IERR = -1;
    return;
  }
  if (INCFD < 1) {
    IERR = -2;
    return;
  }
  for (int i = 1; i < N; ++i) {
    if (X[i - 1] >= X[i]) {
      IERR = -3;
      return;
    }
  }

  // Offsets in F and D; size_t so that (N - 1) * INCFD cannot overflow an int.
  const auto at = [&](int i) {
    return static_cast<std::size_t>(i) * static_cast<std::size_t>(INCFD);
  };

  IERR = 0;
  double h1 = X[1] - X[0];
  double del1 = (F[at(1)] - F[at(0)]) / h1;
  // Sign carrier of the last nonzero secant seen, for counting changes of
  // direction; starts as the first secant, which may be zero.
  double dsave = del1;

  if (N == 2) {
    D[at(0)] = del1;
    D[at(1)] = del1;
    return;
  }

  double h2 = X[2] - X[1];
  double del2 = (F[at(2)] - F[at(1)]) / h2;
  double hsum = h1 + h2;

  {
    const double w1 = (h1 + hsum) / hsum;
    const double w2 = (-h1) / hsum;
    D[at(0)] = limit_end_slope((w1 * del1) + (w2 * del2), del1, del2);
  }

  for (int i = 1; i < N - 1; ++i) {
    if (i > 1) {
      h1 = h2;
      h2 = X[i + 1] - X[i];
      hsum = h1 + h2;
      del1 = del2;
      del2 = (F[at(i + 1)] - F[at(i)]) / h2;
    }
    D[at(i)] = 0.0;
    const double s = DSGNPR(del1, del2);
    if (s < 0.0) {
      ++IERR;
      dsave = del2;
    } else if (s == 0.0) {
      // A flat interval on the right keeps the previous direction; a NaN
      // slope there is treated like a flat one.
      if (del2 != 0.0 && !std::isnan(del2)) {
        if (DSGNPR(dsave, del2) < 0.0) ++IERR;
        dsave = del2;
      }
    } else {
      // Weighted harmonic mean of the two secants, 1 / (w1 / del1 + w2 / del2),
      // in a form that cannot overflow.
      const double hsumt3 = 3.0 * hsum;
      const double w1 = (h1 + hsum) / hsumt3;
      const double w2 = (hsum + h2) / hsumt3;
      const double a1 = std::fabs(del1);
      const double a2 = std::fabs(del2);
      const double dmax = a1 >= a2 ? a1 : a2;
      const double dmin = a1 >= a2 ? a2 : a1;
      const double drat1 = del1 / dmax;
      const double drat2 = del2 / dmax;
      D[at(i)] = dmin / ((w1 * drat1) + (w2 * drat2));
    }
  }

  const double w1 = -(h2 / hsum);
  const double w2 = (h2 + hsum) / hsum;
  D[at(N - 1)] = limit_end_slope((w1 * del1) + (w2 * del2), del2, del1);
}

}  // namespace hermite
