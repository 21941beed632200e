#pragma once
// Findings about a map's points as read: what the program would refuse when
// it builds the grid (a speed with one point, a torque repeated at a speed),
// and what it would take without a word (near-equal speeds, fuel falling as
// torque rises, negative, non-finite or tiny fuel values, swapped columns).
#include <optional>
#include <string>
#include <vector>

#include "checks/check_findings.h"
#include "fuelcalc/check.hpp"

namespace fuelcalc::checks {

// Map points ordered by speed, then torque, then line. Their coordinates
// must compare (none is not-a-number).
bool speed_torque_before(const MapPoint* a, const MapPoint* b);
std::vector<const MapPoint*> by_speed_and_torque(const std::vector<MapPoint>& points);

// The interpolation failure that stops the program as it builds a map: the
// call-site code and status.
struct ProgramStop {
  int code = 0;
  int ierr = 0;
};

// "the program stops: interpolation failure, code 1, ierr -1".
std::string stop_text(ProgramStop stop);

// Where a map's points come from: the program's map format, whose checks
// include those of its three output decimals (small-values) and of its
// columns taken by position (columns-swapped), or a table, whose reader
// names and converts its columns.
enum class PointSource { program_file, table };

// The findings on result.points; sets result.speed_tolerance and
// result.snapped_speeds. `stop` is the failure the program meets building
// the map from these points, if any. True when a finding names that failure
// as its own: the first speed with one point or a repeated torque, when the
// program fails there.
bool check_points(MapCheck& result, const CheckOptions& options, FindingLog& log,
                  std::optional<ProgramStop> stop, PointSource source);

// Plain words for an interpolation failure (the program's call-site code and
// status), in terms of the map's points.
std::string interpolation_words(ProgramStop stop, const std::vector<MapPoint>& points);

}  // namespace fuelcalc::checks
