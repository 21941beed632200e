#pragma once
// Fuel values at operating points from precomputed slopes and cubic
// coefficients.
//
// Every slope and cubic coefficient of the first pass (along the first
// coordinate, on each grid line) depends only on the grid, so it is computed
// once, by the same formulas as the literal procedure. The second pass needs
// only the two slopes at the ends of the interval that holds Y. The result is
// the same double as the literal procedure (literal_fuel) gives; rare inputs
// (a not-a-number or infinity, a grid the literal procedure rejects) go
// through it.
//
// Points are evaluated in blocks, stage by stage over the block, so that the
// chains of divisions of different points overlap.
#include <array>
#include <vector>

#include "fuelmap/grid.h"
#include "hermite/cubic_pieces.h"

namespace fuelmap {

struct PointEvaluator {
  bool literal_only = true;  // the grid is not fit for the precomputed path
  // First pass, interval k of the first-coordinate axis and grid line j at
  // [k * kGridPoints + j]: the cubic F1 + D1 t + c2 t^2 + c3 t^3, t = X - GX[k].
  std::vector<double> c3, c2, d1, f1;
  std::array<double, kGridPoints - 1> hy{};  // widths GY[j + 1] - GY[j]
  // Reciprocal steps of the axes, only to guess an interval before the exact
  // comparisons settle it.
  double x_scale = 0.0, y_scale = 0.0;
  // Second pass: the weights of the two secants in the slope at GY[j].
  std::array<hermite::SlopeWeights, kGridPoints> weights{};
};

PointEvaluator prepare_evaluator(const GRID& grid);

// Most points one call of evaluate_points takes.
inline constexpr int kBlockPoints = 64;

// Whether the precomputed path takes the point (X, Y).
bool takes_point(const PointEvaluator& evaluator, double X, double Y);

// FC[i] for every i < count (at most kBlockPoints) with takes_point(X[i],
// Y[i]); the other entries are left for the literal procedure, in their
// order, since the program's call of it (CALCFC) may end the run. Returns how
// many points were left.
int evaluate_points(const PointEvaluator& evaluator, int count, const double* X, const double* Y,
                    double* FC, const GRID& grid);

// The fuel value at one point, by whichever path takes it; the failure
// literal_fuel returns (none on the precomputed path).
HermiteFailure evaluate_point(const PointEvaluator& evaluator, const double& X, const double& Y,
                              double& FC, const GRID& grid);

}  // namespace fuelmap
