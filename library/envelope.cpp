// The measured envelope of a map and where an operating point stands against it.
#include <algorithm>
#include <cmath>
#include <limits>

#include "library/fuel_map_data.h"

namespace fuelcalc {
namespace {

// Two speeds share a run unless they compare unequal (as the grid builder groups them).
bool differs(double a, double b) { return a < b || a > b; }

}  // namespace

std::vector<EnvelopeRow> measured_envelope(const fuelmap::MAP& map) {
  std::vector<EnvelopeRow> rows;
  constexpr double kInf = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < map.XMAP.size(); ++i) {
    if (rows.empty() || differs(map.XMAP[i], rows.back().speed))
      rows.push_back({map.XMAP[i], kInf, -kInf});
    // Comparisons pass a not-a-number torque by.
    EnvelopeRow& row = rows.back();
    if (map.YMAP[i] < row.lowest_torque) row.lowest_torque = map.YMAP[i];
    if (map.YMAP[i] > row.highest_torque) row.highest_torque = map.YMAP[i];
  }
  for (EnvelopeRow& row : rows) {
    if (row.lowest_torque > row.highest_torque)
      row.lowest_torque = row.highest_torque = std::numeric_limits<double>::quiet_NaN();
  }
  return rows;
}

bool torque_bounds(std::span<const EnvelopeRow> envelope, double speed, double& lowest,
                   double& highest) {
  if (envelope.empty() || !(speed >= envelope.front().speed && speed <= envelope.back().speed))
    return false;
  // The first row at or above the speed; on a measured speed its own bounds,
  // between two the bounds interpolated linearly.
  auto above = std::lower_bound(envelope.begin(), envelope.end(), speed,
                                [](const EnvelopeRow& row, double s) { return row.speed < s; });
  if (above == envelope.end()) --above;
  lowest = above->lowest_torque;
  highest = above->highest_torque;
  if (above->speed != speed) {
    if (above == envelope.begin()) return false;
    const EnvelopeRow& below = *(above - 1);
    const double f = (speed - below.speed) / (above->speed - below.speed);
    lowest = below.lowest_torque + (above->lowest_torque - below.lowest_torque) * f;
    highest = below.highest_torque + (above->highest_torque - below.highest_torque) * f;
  }
  return true;
}

Where where_in(std::span<const EnvelopeRow> envelope, double speed, double torque) {
  double lowest = 0.0, highest = 0.0;
  if (std::isnan(torque) || !torque_bounds(envelope, speed, lowest, highest))
    return Where::beyond_speed;
  if (torque < lowest) return Where::below;
  if (torque > highest) return Where::above;
  return Where::inside;
}

}  // namespace fuelcalc
