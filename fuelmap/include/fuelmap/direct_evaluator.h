#pragma once
// Direct fuel values (fuelmap/direct.h) from slopes and cubic coefficients
// computed once per map.
//
// Every run's slopes and the cubic of each of its intervals depend only on the
// map, so they are computed once, by the same routines and formulas as the
// literal procedure. A point then needs the values at Y of the runs the
// second pass uses around X (at most four: the interval holding X and one run
// on each side), their secants, and the two slopes at the ends of that
// interval. The result is the same double as literal_direct_fuel gives; rare inputs (a
// not-a-number or infinity, a map holding one) go through literal_direct_fuel itself.
//
// Points are evaluated in blocks, stage by stage over the block, so that the
// chains of divisions of different points overlap.
#include <vector>

#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "hermite/cubic_pieces.h"

namespace fuelmap {

struct DirectEvaluator {
  bool literal_only = true;  // the map is not fit for the precomputed path
  int runs = 0;
  std::vector<double> run_x;  // first coordinate of each run, ascending
  std::vector<int> start;     // run k holds points start[k] .. start[k + 1] - 1
  std::vector<double> y;      // second coordinate of each point, run after run
  // Reciprocal mean steps of the run coordinates and of each run's second
  // coordinates, only to guess an interval before the exact comparisons settle it.
  double x_scale = 0.0;
  std::vector<double> y_scale;
  // The cubic F + D t + c2 t^2 + c3 t^3, t = Y - y[p], of the interval that
  // starts at point p (the last point of a run starts none).
  struct Piece {
    double c3, c2, d, f;
  };
  std::vector<Piece> pieces;
  // Second pass: the widths run_x[k + 1] - run_x[k] and the weights of the two
  // secants in the slope at run k.
  std::vector<double> hx;
  std::vector<hermite::SlopeWeights> weights;
};

// Prepares the evaluation of map, whose runs direct_check must have accepted.
DirectEvaluator prepare_direct(const MAP& map);

// Most points one call of evaluate_direct_points takes.
inline constexpr int kDirectBlockPoints = 64;

// Whether the precomputed path takes the point (X, Y).
bool takes_direct_point(const DirectEvaluator& evaluator, double X, double Y);

// FC[i] for every i < count (at most kDirectBlockPoints) with
// takes_direct_point(X[i], Y[i]); the other entries are left untouched.
void evaluate_direct_points(const DirectEvaluator& evaluator, int count, const double* X,
                            const double* Y, double* FC);

// The fuel value at one point, by whichever path takes it; the failure
// literal_direct_fuel returns (none on the precomputed path).
HermiteFailure evaluate_direct_point(const DirectEvaluator& evaluator, const MAP& map,
                                     const double& X, const double& Y, double& FC);

}  // namespace fuelmap
