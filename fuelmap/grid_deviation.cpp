#include "fuelmap/grid_deviation.h"

#include <cstddef>

namespace fuelmap {

std::vector<double> grid_deviation(const MAP& map, const GRID& grid,
                                   const PointEvaluator& evaluator) {
  std::vector<double> deviation(map.FCMAP.size());
  for (std::size_t i = 0; i < deviation.size(); ++i) {
    double fc = 0.0;
    evaluate_point(evaluator, map.XMAP[i], map.YMAP[i], fc, grid);
    deviation[i] = fc - map.FCMAP[i];
  }
  return deviation;
}

}  // namespace fuelmap
