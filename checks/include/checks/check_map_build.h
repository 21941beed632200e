#pragma once
// The checks on a map's points once read, whatever the file: the findings on
// the points, the failure of the grid the program would build from them in
// plain words, the grid's deviation, and the map built with the options'
// method and outside policy.
#include <string>
#include <vector>

#include "checks/check_findings.h"
#include "checks/check_map_points.h"
#include "fuelcalc/check.hpp"

namespace fuelcalc::checks {

// Throws Error (invalid_argument) for a grid tolerance that is negative or
// not a number, and as check_result_options.
void check_option_ranges(const CheckOptions& options);

// The checks on result.points (in file order, each with its line); sets
// result.map when the points build a map.
void check_built_map(MapCheck& result, const CheckOptions& options, FindingLog& log,
                     PointSource source);

// The same on the points a table reader read from file (converted to rpm,
// Nm and g/h), the findings naming file. Throws Error (invalid_argument) as
// check_map does for options out of their ranges.
MapCheck check_table_points(std::vector<MapPoint> points, const std::string& file,
                            const CheckOptions& options);

}  // namespace fuelcalc::checks
