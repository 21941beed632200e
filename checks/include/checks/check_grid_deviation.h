#pragma once
// How far the grid misses the measured points, and the grid-deviation
// finding when it misses one by more than the tolerance.
#include <span>

#include "checks/check_findings.h"
#include "fuelcalc/check.hpp"

namespace fuelcalc::checks {

// The percent-th percentile of ascending values (not empty), interpolated
// linearly between the two ranks around (n - 1) * percent / 100 with the
// formula numpy.percentile's default method uses, so that it gives the same
// double: a + (b - a) * g below g = 0.5, b - (b - a) * (1 - g) from there.
double linear_percentile(std::span<const double> ascending, double percent);

// result.grid_deviation for the map the program builds from result.points,
// and the finding.
void check_grid_deviation(MapCheck& result, const FuelMap& program_map, double tolerance,
                          FindingLog& log);

}  // namespace fuelcalc::checks
