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

// Slope at grid point i of the line values, as the slope estimation gives
// it: from the secants beside point i (for an end point, the first or last
// two), del[n] being the secant of interval n.
double slope_at(const PointEvaluator& evaluator, const double* del, int i) {
  if (i == 0) return hermite::start_slope(evaluator.weights[0], del[0], del[1]);
  if (i == kN - 1) return hermite::end_slope(evaluator.weights[kN - 1], del[kN - 3], del[kN - 2]);
  return hermite::interior_slope(evaluator.weights[i], del[i - 1], del[i]);
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
  auto& hy = evaluator.hy;
  for (int j = 0; j < kN - 1; ++j) hy[j] = grid.GY[j + 1] - grid.GY[j];
  evaluator.weights[0] = hermite::start_weights(hy[0], hy[0] + hy[1]);
  for (int j = 1; j < kN - 1; ++j)
    evaluator.weights[j] = hermite::interior_weights(hy[j - 1], hy[j], hy[j - 1] + hy[j]);
  evaluator.weights[kN - 1] = hermite::end_weights(hy[kN - 2], hy[kN - 3] + hy[kN - 2]);
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

  // Second pass: the cubic through the line values on the interval holding Y,
  // with the slopes at its two ends from the secants around it.
  const int m = interval_of(grid.GY, Y);
  const int first = m > 0 ? m - 1 : 0;
  const int last = m < kN - 2 ? m + 1 : kN - 2;
  double del[kN - 1];
  for (int n = first; n <= last; ++n) del[n] = (fcx[n + 1] - fcx[n]) / evaluator.hy[n];
  const double dm = slope_at(evaluator, del, m);
  const double dm1 = slope_at(evaluator, del, m + 1);
  const auto c = hermite::cubic_coefficients(evaluator.hy[m], fcx[m], fcx[m + 1], dm, dm1);
  FC = hermite::cubic_value(c.c3, c.c2, dm, fcx[m], Y - grid.GY[m]);
}

}  // namespace fuelmap
