#pragma once
// Findings about a map's points as read: what the program would refuse when
// it builds the grid (a speed with one point, a torque repeated at a speed),
// and what it would take without a word (near-equal speeds, fuel falling as
// torque rises, negative, non-finite or tiny fuel values, swapped columns).
#include <vector>

#include "fuelcalc/check.hpp"
#include "library/check_findings.h"

namespace fuelcalc::checks {

// Map points ordered by speed, then torque, then line. Their coordinates
// must compare (none is not-a-number).
bool speed_torque_before(const MapPoint* a, const MapPoint* b);
std::vector<const MapPoint*> by_speed_and_torque(const std::vector<MapPoint>& points);

// The findings on result.points; sets result.speed_tolerance and
// result.snapped_speeds.
void check_points(MapCheck& result, const CheckOptions& options, FindingLog& log);

// Plain words for an interpolation failure (the program's call-site code and
// status), in terms of the map.
std::string interpolation_words(int code, int ierr);

}  // namespace fuelcalc::checks
