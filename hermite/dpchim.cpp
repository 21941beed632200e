// Derivative estimation for a shape-preserving piecewise cubic Hermite
// interpolant. Every formula is evaluated in exactly the association written
// here: results must match earlier runs to the last bit.
#include <cmath>
#include <cstddef>

#include "hermite/cubic_pieces.h"
#include "hermite/data_checks.h"
#include "hermite/hermite.h"

namespace hermite {

void DPCHIM(const int& N, const double* X, const double* F, double* D, const int& INCFD,
            int& IERR) {
  if (const int failed = check_data(N, X, INCFD)) {
    IERR = failed;
    return;
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

  D[at(0)] = start_slope(start_weights(h1, hsum), del1, del2);

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
      D[at(i)] = harmonic_slope(interior_weights(h1, h2, hsum), del1, del2);
    }
  }

  D[at(N - 1)] = end_slope(end_weights(h2, hsum), del1, del2);
}

}  // namespace hermite
