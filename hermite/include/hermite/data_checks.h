#pragma once
// The argument checks that slope estimation and evaluation share.

namespace hermite {

// 0 when the data can define an interpolant, else the failing status: -1 for
// fewer than two points, -2 for a stride below 1, -3 for abscissae that are not
// strictly increasing (at the first pair out of order).
inline int check_data(const int& N, const double* X, const int& INCFD) {
  if (N < 2) return -1;
  if (INCFD < 1) return -2;
  for (int i = 1; i < N; ++i)
    if (X[i - 1] >= X[i]) return -3;
  return 0;
}

}  // namespace hermite
