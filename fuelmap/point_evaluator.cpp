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
// interval for v below the axis, the last for v at or beyond its end. The
// scaled offset only guesses k; the comparisons decide it.
int interval_of(const std::vector<double>& axis, double scale, double v) {
  const double guess = (v - axis[0]) * scale;
  int k = 0;
  if (guess > 0.0) k = guess < kN - 2 ? static_cast<int>(guess) : kN - 2;
  while (k < kN - 2 && axis[k + 1] <= v) ++k;
  while (k > 0 && !(axis[k] <= v)) --k;
  return k;
}

// The second pass needs the line values on four consecutive lines only: the
// interval m holding Y and the one on each side of it (the first or last four
// lines for an end interval). The end slopes of interval m depend on no other
// secant, and the first pass's value on any other line is never used.
constexpr int kLinesUsed = 4;

int first_line_used(int m) { return m == 0 ? 0 : m == kN - 2 ? kN - kLinesUsed : m - 1; }

// Slopes at the two ends of interval m from the secants del[0..2] of the
// intervals that start at lines first_line_used(m) and the two after it, as
// the slope estimation gives them.
void end_slopes(const PointEvaluator& evaluator, const double* del, int m, double& dm,
                double& dm1) {
  const auto& w = evaluator.weights;
  if (m == 0) {
    dm = hermite::start_slope(w[0], del[0], del[1]);
    dm1 = hermite::interior_slope(w[1], del[0], del[1]);
  } else if (m == kN - 2) {
    dm = hermite::interior_slope(w[m], del[1], del[2]);
    dm1 = hermite::end_slope(w[m + 1], del[1], del[2]);
  } else {
    dm = hermite::interior_slope(w[m], del[0], del[1]);
    dm1 = hermite::interior_slope(w[m + 1], del[1], del[2]);
  }
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
  evaluator.x_scale = (kN - 1) / (grid.GX[kN - 1] - grid.GX[0]);
  evaluator.y_scale = (kN - 1) / (grid.GY[kN - 1] - grid.GY[0]);
  auto& hy = evaluator.hy;
  for (int j = 0; j < kN - 1; ++j) hy[j] = grid.GY[j + 1] - grid.GY[j];
  evaluator.weights[0] = hermite::start_weights(hy[0], hy[0] + hy[1]);
  for (int j = 1; j < kN - 1; ++j)
    evaluator.weights[j] = hermite::interior_weights(hy[j - 1], hy[j], hy[j - 1] + hy[j]);
  evaluator.weights[kN - 1] = hermite::end_weights(hy[kN - 2], hy[kN - 3] + hy[kN - 2]);
  evaluator.literal_only = false;
  return evaluator;
}

bool takes_point(const PointEvaluator& evaluator, double X, double Y) {
  return !evaluator.literal_only && std::isfinite(X) && std::isfinite(Y);
}

int evaluate_points(const PointEvaluator& evaluator, int count, const double* X, const double* Y,
                    double* FC, const GRID& grid) {
  // Per point of the block: the interval holding Y, the first line used, the
  // line values at X, the secants between them and the slopes at the ends of
  // the interval.
  int interval[kBlockPoints], first[kBlockPoints];
  double fcx[kBlockPoints][kLinesUsed];
  double del[kBlockPoints][kLinesUsed - 1];
  double dm[kBlockPoints], dm1[kBlockPoints];
  bool taken[kBlockPoints];

  int left = 0;

  // First pass: the cubics of the lines used, at X.
  for (int i = 0; i < count; ++i) {
    taken[i] = takes_point(evaluator, X[i], Y[i]);
    if (!taken[i]) {
      ++left;
      continue;
    }
    interval[i] = interval_of(grid.GY, evaluator.y_scale, Y[i]);
    first[i] = first_line_used(interval[i]);
    const int k = interval_of(grid.GX, evaluator.x_scale, X[i]);
    const double t = X[i] - grid.GX[k];
    const std::size_t base = static_cast<std::size_t>(k) * kN + static_cast<std::size_t>(first[i]);
    for (int j = 0; j < kLinesUsed; ++j)
      fcx[i][j] = hermite::cubic_value(evaluator.c3[base + j], evaluator.c2[base + j],
                                       evaluator.d1[base + j], evaluator.f1[base + j], t);
  }

  // Second pass, stage by stage over the block.
  for (int i = 0; i < count; ++i) {
    if (!taken[i]) continue;
    for (int n = 0; n < kLinesUsed - 1; ++n)
      del[i][n] = (fcx[i][n + 1] - fcx[i][n]) / evaluator.hy[first[i] + n];
  }
  for (int i = 0; i < count; ++i) {
    if (!taken[i]) continue;
    end_slopes(evaluator, del[i], interval[i], dm[i], dm1[i]);
  }
  for (int i = 0; i < count; ++i) {
    if (!taken[i]) continue;
    const int m = interval[i], local = interval[i] - first[i];
    // The cubic's own secant is the one already formed for interval m.
    const auto c =
        hermite::cubic_coefficients_from_secant(evaluator.hy[m], del[i][local], dm[i], dm1[i]);
    FC[i] = hermite::cubic_value(c.c3, c.c2, dm[i], fcx[i][local], Y[i] - grid.GY[m]);
  }
  return left;
}

HermiteFailure evaluate_point(const PointEvaluator& evaluator, const double& X, const double& Y,
                              double& FC, const GRID& grid) {
  if (!takes_point(evaluator, X, Y)) return literal_fuel(X, Y, FC, grid);
  evaluate_points(evaluator, 1, &X, &Y, &FC, grid);
  return {};
}

}  // namespace fuelmap
