#include "fuelmap/point_evaluator.h"

#include <cmath>
#include <cstddef>

#include "hermite/cubic_pieces.h"
#include "hermite/hermite.h"

namespace fuelmap {
namespace {

constexpr int kN = kGridPoints;

bool all_finite(const std::vector<double>& values) {
  for (const double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

bool strictly_increasing(const std::vector<double>& axis) {
  for (std::size_t i = 1; i < axis.size(); ++i)
    if (!(axis[i - 1] < axis[i])) return false;
  return true;
}

// Index k of the interval [axis[k], axis[k + 1]] that the evaluation walk
// places a finite v in: the last interval whose left end is <= v, the first
// interval for v below the axis, the last for v at or beyond its end.
int interval_of(const std::vector<double>& axis, double v) {
  int k = 0;
  for (int i = 1; i < kN - 1; ++i) k += axis[i] <= v;
  return k;
}

// Slope at point i of the data (y, f), as the slope estimation gives it: it
// depends only on the secants of the intervals beside point i (for an end
// point, the first or last two intervals).
double slope_at(const std::array<double, kN - 1>& h, const double* f, int i) {
  if (i == 0) {
    const double del1 = (f[1] - f[0]) / h[0];
    const double del2 = (f[2] - f[1]) / h[1];
    return hermite::start_slope(h[0], h[0] + h[1], del1, del2);
  }
  if (i == kN - 1) {
    const double del1 = (f[kN - 2] - f[kN - 3]) / h[kN - 3];
    const double del2 = (f[kN - 1] - f[kN - 2]) / h[kN - 2];
    return hermite::end_slope(h[kN - 2], h[kN - 3] + h[kN - 2], del1, del2);
  }
  const double del1 = (f[i] - f[i - 1]) / h[i - 1];
  const double del2 = (f[i + 1] - f[i]) / h[i];
  return hermite::interior_slope(h[i - 1], h[i], h[i - 1] + h[i], del1, del2);
}

}  // namespace

PointEvaluator prepare_evaluator(const GRID& grid) {
  PointEvaluator evaluator;
  if (grid.NGX != kN || grid.NGY != kN || !all_finite(grid.GX) || !all_finite(grid.GY) ||
      !all_finite(grid.GFC) || !strictly_increasing(grid.GX) || !strictly_increasing(grid.GY))
    return evaluator;

  constexpr std::size_t kCells = static_cast<std::size_t>(kN - 1) * kN;
  evaluator.c3.resize(kCells);
  evaluator.c2.resize(kCells);
  evaluator.d1.resize(kCells);
  evaluator.f1.resize(kCells);
  std::array<double, kN> slopes{};
  for (int j = 0; j < kN; ++j) {
    const double* column = &grid.GFC[static_cast<std::size_t>(j) * kN];
    int ierr = 0;
    hermite::DPCHIM(kN, grid.GX.data(), column, slopes.data(), 1, ierr);
    if (ierr < 0) return PointEvaluator{};
    for (int k = 0; k < kN - 1; ++k) {
      const auto cell = static_cast<std::size_t>(k) * kN + static_cast<std::size_t>(j);
      const auto c = hermite::cubic_coefficients(grid.GX[k + 1] - grid.GX[k], column[k],
                                                 column[k + 1], slopes[k], slopes[k + 1]);
      evaluator.c3[cell] = c.c3;
      evaluator.c2[cell] = c.c2;
      evaluator.d1[cell] = slopes[k];
      evaluator.f1[cell] = column[k];
    }
  }
  for (int j = 0; j < kN - 1; ++j) evaluator.hy[j] = grid.GY[j + 1] - grid.GY[j];
  evaluator.literal_only = false;
  return evaluator;
}

void evaluate_point(const PointEvaluator& evaluator, const double& X, const double& Y, double& FC,
                    const GRID& grid) {
  if (evaluator.literal_only || !std::isfinite(X) || !std::isfinite(Y)) {
    CALCFC(X, Y, FC, grid);
    return;
  }

  // First pass: every grid line's cubic at X.
  const int k = interval_of(grid.GX, X);
  const double t = X - grid.GX[k];
  const std::size_t base = static_cast<std::size_t>(k) * kN;
  double fcx[kN];
  for (int j = 0; j < kN; ++j)
    fcx[j] = hermite::cubic_value(evaluator.c3[base + j], evaluator.c2[base + j],
                                  evaluator.d1[base + j], evaluator.f1[base + j], t);
  for (const double v : fcx) {
    if (!std::isfinite(v)) {
      CALCFC(X, Y, FC, grid);
      return;
    }
  }

  // Second pass: the cubic through the line values on the interval holding Y.
  const int m = interval_of(grid.GY, Y);
  const double dm = slope_at(evaluator.hy, fcx, m);
  const double dm1 = slope_at(evaluator.hy, fcx, m + 1);
  const auto c = hermite::cubic_coefficients(evaluator.hy[m], fcx[m], fcx[m + 1], dm, dm1);
  FC = hermite::cubic_value(c.c3, c.c2, dm, fcx[m], Y - grid.GY[m]);
}

}  // namespace fuelmap
