#pragma once
// How far the grid misses the measurements it was built from.
#include <vector>

#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "fuelmap/point_evaluator.h"

namespace fuelmap {

// The grid's value at each measured point minus the measured fuel value, in
// the map's order. The grid is evaluated as evaluate_point evaluates it.
std::vector<double> grid_deviation(const MAP& map, const GRID& grid,
                                   const PointEvaluator& evaluator);

}  // namespace fuelmap
