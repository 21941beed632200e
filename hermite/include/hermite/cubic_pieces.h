#pragma once
// The formulas DPCHIM and DCUBIV are made of, one function each, so that a
// caller that precomputes slopes or cubic coefficients gets the very same
// doubles. Every formula keeps its association exactly as written.
#include <cmath>

#include "hermite/hermite.h"

namespace hermite {

// Three-point slope at an end point, corrected so that it cannot break the
// shape: zero if it points against the end secant `near`, at most 3 * near in
// magnitude when the data turn right after the end interval (`far` is the
// secant next to it).
inline double limit_end_slope(double slope, double near, double far) {
  if (DSGNPR(slope, near) <= 0.0) return 0.0;
  if (DSGNPR(near, far) < 0.0) {
    const double dmax = 3.0 * near;
    if (std::fabs(slope) > std::fabs(dmax)) return dmax;
  }
  return slope;
}

// Weights of the two secants in a slope; they depend only on the abscissae.
struct SlopeWeights {
  double w1;
  double w2;
};

// Three-point formula at the first point (widths h1, h2 of the first two
// intervals, hsum = h1 + h2).
inline SlopeWeights start_weights(double h1, double hsum) {
  return {(h1 + hsum) / hsum, (-h1) / hsum};
}

// Three-point formula at the last point (h2 the width of the last interval).
inline SlopeWeights end_weights(double h2, double hsum) {
  return {-(h2 / hsum), (h2 + hsum) / hsum};
}

// Harmonic-mean weights at an interior point between widths h1 and h2.
inline SlopeWeights interior_weights(double h1, double h2, double hsum) {
  const double hsumt3 = 3.0 * hsum;
  return {(h1 + hsum) / hsumt3, (hsum + h2) / hsumt3};
}

// Slope at the first point from the first two secants del1, del2.
inline double start_slope(const SlopeWeights& w, double del1, double del2) {
  return limit_end_slope((w.w1 * del1) + (w.w2 * del2), del1, del2);
}

// Slope at the last point from the last two secants del1, del2.
inline double end_slope(const SlopeWeights& w, double del1, double del2) {
  return limit_end_slope((w.w1 * del1) + (w.w2 * del2), del2, del1);
}

// Weighted harmonic mean of two secants of one sign, del1 * del2 / (w1 * del1 + w2 * del2),
// in a form that cannot overflow.
inline double harmonic_slope(const SlopeWeights& w, double del1, double del2) {
  const double a1 = std::fabs(del1);
  const double a2 = std::fabs(del2);
  const double dmax = a1 >= a2 ? a1 : a2;
  const double dmin = a1 >= a2 ? a2 : a1;
  const double drat1 = del1 / dmax;
  const double drat2 = del2 / dmax;
  return dmin / ((w.w1 * drat1) + (w.w2 * drat2));
}

// Slope at an interior point: the harmonic mean where both secants have one
// sign, zero where the data turn or either secant is zero.
inline double interior_slope(const SlopeWeights& w, double del1, double del2) {
  return DSGNPR(del1, del2) > 0.0 ? harmonic_slope(w, del1, del2) : 0.0;
}

// Higher coefficients of the cubic about X1 over an interval of width h:
// F1 + D1 t + c2 t^2 + c3 t^3.
struct CubicCoefficients {
  double c2;
  double c3;
};

// From the interval's secant slope delta = (F2 - F1) / h.
inline CubicCoefficients cubic_coefficients_from_secant(double h, double delta, double D1,
                                                        double D2) {
  const double del1 = (D1 - delta) / h;
  const double del2 = (D2 - delta) / h;
  return {-((del1 + del1) + del2), (del1 + del2) / h};
}

inline CubicCoefficients cubic_coefficients(double h, double F1, double F2, double D1, double D2) {
  return cubic_coefficients_from_secant(h, (F2 - F1) / h, D1, D2);
}

// The cubic at offset t from X1, by Horner's rule, innermost first.
inline double cubic_value(double c3, double c2, double D1, double F1, double t) {
  return ((((c3 * t) + c2) * t + D1) * t) + F1;
}

}  // namespace hermite
