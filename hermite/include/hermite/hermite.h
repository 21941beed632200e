#pragma once
// Monotone piecewise cubic Hermite interpolation: slope estimation (DPCHIM)
// and evaluation (DPCHFE). Failures come back as IERR; the program's report
// of them (HERMERR) is the driver's.
//
// Arrays are caller storage. Point i (0-based) of F and D is at offset
// i * INCFD; X, XE and FE are contiguous. Scalars are passed by reference.

namespace hermite {

// Sign test without forming A * B: 0.0 if either is zero (or not a number),
// +1.0 if both have one sign, -1.0 otherwise.
double DSGNPR(const double& A, const double& B);

// Derivatives D at the N points (X, F) so that the Hermite interpolant is
// monotone wherever the data are. IERR: -1 N < 2, -2 INCFD < 1, -3 X not
// strictly increasing (D untouched); otherwise the count of changes of
// direction in the data.
void DPCHIM(const int& N, const double* X, const double* F, double* D, const int& INCFD, int& IERR);

// Evaluates one cubic piece over [X1, X2] at NE points; NOUT[0] counts the
// points left of the interval, NOUT[1] those right of it.
void DCUBIV(const double& X1, const double& X2, const double& F1, const double& F2,
            const double& D1, const double& D2, const int& NE, const double* XE, double* FE,
            int* NOUT, int& IERR);

// Evaluates the interpolant (X, F, D) at the NE points XE into FE. IERR: -1..-4
// argument checks (when CHECK), -5 evaluation failure; otherwise the number of
// extrapolated evaluations. CHECK is true on return unless a check failed.
// With CHECK false the arguments are trusted, except that fewer than two
// points or a negative stride give -5 rather than reads outside the arrays.
// XE and FE must not overlap: points are read again after results are stored.
void DPCHFE(const int& N, const double* X, const double* F, const double* D, const int& INCFD,
            bool& CHECK, const int& NE, const double* XE, double* FE, int& IERR);

}  // namespace hermite
