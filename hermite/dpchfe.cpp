// Evaluation of a piecewise cubic Hermite function: DCUBIV evaluates one cubic
// piece at a batch of points, DPCHFE walks the intervals and hands each one
// the run of points that belongs to it.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "hermite/cubic_pieces.h"
#include "hermite/data_checks.h"
#include "hermite/hermite.h"

namespace hermite {

void DCUBIV(const double& X1, const double& X2, const double& F1, const double& F2,
            const double& D1, const double& D2, const int& NE, const double* XE, double* FE,
            int* NOUT, int& IERR) {
  if (NE < 1) {
    IERR = -1;
    return;
  }
  const double h = X2 - X1;
  if (h == 0.0 || std::isnan(h)) {
    IERR = -2;
    return;
  }
  IERR = 0;
  // The interval relative to X1 is [xmi, xma], whichever way it is oriented.
  const double xmi = h > 0.0 ? 0.0 : h;
  const double xma = h < 0.0 ? 0.0 : h;

  const CubicCoefficients c = cubic_coefficients(h, F1, F2, D1, D2);

  int left = 0;
  int right = 0;
  for (int i = 0; i < NE; ++i) {
    const double t = XE[i] - X1;
    FE[i] = cubic_value(c.c3, c.c2, D1, F1, t);
    // Written so that a NaN t counts as left.
    if (!(t >= xmi)) ++left;
    if (t > xma) ++right;
  }
  NOUT[0] = left;
  NOUT[1] = right;
}

void DPCHFE(const int& N, const double* X, const double* F, const double* D, const int& INCFD,
            bool& CHECK, const int& NE, const double* XE, double* FE, int& IERR) {
  if (CHECK) {
    if (const int failed = check_data(N, X, INCFD)) {
      IERR = failed;
      return;
    }
    if (NE < 1) {
      IERR = -4;
      return;
    }
  }
  IERR = 0;
  CHECK = true;
  if (NE < 1) return;
  // Unvalidated arguments are otherwise trusted, but with fewer than two
  // points or a negative stride the walk would read outside the caller's
  // arrays: there is no interval to evaluate.
  if (N < 2 || INCFD < 0) {
    IERR = -5;
    return;
  }

  const auto at = [&](int i) {
    return static_cast<std::size_t>(i) * static_cast<std::size_t>(INCFD);
  };

  // Point indices and ir are 0-based here: the current interval is
  // X[ir - 1]..X[ir]; jfirst is the first point not yet placed.
  int jfirst = 0;
  int ir = 1;
  const int last = N - 1;
  for (;;) {
    // The batch is jfirst..j-1: the points before X[ir], or all that remain
    // when the interval is the last one. A NaN point ends the batch.
    int j = NE;
    if (ir < last) {
      for (int k = jfirst; k < NE; ++k) {
        if (!(XE[k] < X[ir])) {
          j = k;
          break;
        }
      }
    }

    if (j > jfirst) {
      const int nj = j - jfirst;
      int nout[2];
      int ierc;
      DCUBIV(X[ir - 1], X[ir], F[at(ir - 1)], F[at(ir)], D[at(ir - 1)], D[at(ir)], nj, XE + jfirst,
             FE + jfirst, nout, ierc);
      if (ierc < 0) {
        IERR = -5;
        return;
      }

      if (nout[1] > 0) {
        // Only the last interval's batch can hold points right of it.
        if (ir < last) {
          IERR = -5;
          return;
        }
        IERR = IERR + nout[1];
      }

      if (nout[0] > 0) {
        if (ir == 1) {
          IERR = IERR + nout[0];
        } else {
          // The points are out of order: back up to the interval of the first
          // point of the batch that lies left of this one, and place the
          // points from there on again.
          int i = -1;
          for (int m = jfirst; m < j; ++m) {
            if (XE[m] < X[ir - 1]) {
              i = m;
              break;
            }
          }
          if (i < 0) {
            // Only a NaN point is counted left without lying left of X[ir - 1].
            IERR = -5;
            return;
          }
          int k = 0;
          while (!(XE[i] < X[k])) ++k;  // stops at ir - 1 at the latest
          ir = std::max(0, k - 1);
          j = i;
        }
      }
      jfirst = j;
    }

    ++ir;
    if (ir > last) return;
    if (jfirst >= NE) return;
  }
}

}  // namespace hermite
