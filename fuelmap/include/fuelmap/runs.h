#pragma once
// The map's runs: consecutive points of the ordered map that share one first
// coordinate (speed). The grid, the direct method, the checks and the
// library's reports all group the points by this one rule.
#include <cstddef>
#include <vector>

#include "fuelmap/map.h"

namespace fuelmap {

// Whether a point of first coordinate `x` joins the run whose first point has
// `run_x`: a new run opens only where the two compare unequal, so a
// not-a-number joins the current run.
inline bool joins_run(double run_x, double x) { return !(x < run_x || x > run_x); }

// Where each run of `count` ordered points starts (`x_at(i)` the first
// coordinate of point i): run k is points starts[k] .. starts[k + 1] - 1.
// No points are one run of no points, as the grid construction takes an
// empty map.
template <class Index, class FirstCoordinate>
std::vector<Index> run_starts(Index count, FirstCoordinate x_at) {
  std::vector<Index> starts{0};
  for (Index i = 1; i < count; ++i)
    if (!joins_run(x_at(starts.back()), x_at(i))) starts.push_back(i);
  starts.push_back(count);
  return starts;
}

// The runs of the ordered map.
inline std::vector<int> run_starts(const MAP& map) {
  return run_starts(map.NMAP, [&map](int i) { return map.XMAP[static_cast<std::size_t>(i)]; });
}

}  // namespace fuelmap
