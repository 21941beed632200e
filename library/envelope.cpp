// The measured envelope of a map and where an operating point stands against it.
#include <algorithm>
#include <cmath>
#include <limits>

#include "fuelmap/runs.h"
#include "library/fuel_map_data.h"

namespace fuelcalc {

std::vector<EnvelopeRow> measured_envelope(const fuelmap::MAP& map) {
  std::vector<EnvelopeRow> rows;
  if (map.NMAP == 0) return rows;
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::vector<int> starts = fuelmap::run_starts(map);
  for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
    EnvelopeRow row{map.XMAP[starts[k]], kInf, -kInf};
    // Comparisons pass a not-a-number torque by.
    for (int i = starts[k]; i < starts[k + 1]; ++i) {
      if (map.YMAP[i] < row.lowest_torque) row.lowest_torque = map.YMAP[i];
      if (map.YMAP[i] > row.highest_torque) row.highest_torque = map.YMAP[i];
    }
    if (row.lowest_torque > row.highest_torque)
      row.lowest_torque = row.highest_torque = std::numeric_limits<double>::quiet_NaN();
    rows.push_back(row);
  }
  return rows;
}

bool speed_place(std::span<const EnvelopeRow> envelope, double speed, SpeedPlace& place) {
  if (envelope.empty() || !(speed >= envelope.front().speed && speed <= envelope.back().speed))
    return false;
  // The first row at or above the speed.
  auto above = std::lower_bound(envelope.begin(), envelope.end(), speed,
                                [](const EnvelopeRow& row, double s) { return row.speed < s; });
  if (above == envelope.end()) --above;
  place.row = static_cast<std::size_t>(above - envelope.begin());
  place.between = above->speed != speed;
  if (!place.between) return true;
  if (above == envelope.begin()) return false;
  const EnvelopeRow& below = *(above - 1);
  place.fraction = (speed - below.speed) / (above->speed - below.speed);
  return true;
}

bool torque_bounds(std::span<const EnvelopeRow> envelope, const SpeedPlace& place, double& lowest,
                   double& highest) {
  const EnvelopeRow& row = envelope[place.row];
  const EnvelopeRow& before = envelope[place.row - (place.between ? 1 : 0)];
  lowest = at_place(before.lowest_torque, row.lowest_torque, place);
  highest = at_place(before.highest_torque, row.highest_torque, place);
  return true;
}

bool torque_bounds(std::span<const EnvelopeRow> envelope, double speed, double& lowest,
                   double& highest) {
  SpeedPlace place;
  return speed_place(envelope, speed, place) && torque_bounds(envelope, place, lowest, highest);
}

Where where_in(std::span<const EnvelopeRow> envelope, double speed, double torque) {
  if (std::isnan(speed) || std::isnan(torque)) return Where::nan;
  double lowest = 0.0, highest = 0.0;
  if (!torque_bounds(envelope, speed, lowest, highest)) return Where::beyond_speed;
  if (torque < lowest) return Where::below;
  if (torque > highest) return Where::above;
  return Where::inside;
}

std::vector<double> top_slopes(const fuelmap::MAP& map) {
  std::vector<double> slopes;
  if (map.NMAP == 0) return slopes;
  const std::vector<int> starts = fuelmap::run_starts(map);
  for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
    double slope = 0.0;
    if (starts[k + 1] - starts[k] >= 2) {
      const int top = starts[k + 1] - 1, second = top - 1;
      slope = (map.FCMAP[top] - map.FCMAP[second]) / (map.YMAP[top] - map.YMAP[second]);
    }
    slopes.push_back(slope > 0.0 ? slope : 0.0);
  }
  return slopes;
}

InsideBands inside_bands(std::span<const EnvelopeRow> envelope) {
  // Enough slices to follow an engine's full-load curve closely.
  constexpr std::size_t kSlices = 64;
  InsideBands bands;
  if (envelope.size() < 2) return bands;
  // A point is surely inside by a margin far above the rounding of the
  // interpolated bounds (a few units in the last place of the largest).
  double scale = 0.0;
  for (std::size_t i = 0; i < envelope.size(); ++i) {
    const EnvelopeRow& row = envelope[i];
    if (!std::isfinite(row.speed) || !std::isfinite(row.lowest_torque) ||
        !std::isfinite(row.highest_torque) || (i > 0 && !(row.speed > envelope[i - 1].speed)))
      return bands;
    scale = std::max({scale, std::fabs(row.lowest_torque), std::fabs(row.highest_torque)});
  }
  const double margin = scale * 1e-12;
  const double first = envelope.front().speed, last = envelope.back().speed;
  const double width = (last - first) / static_cast<double>(kSlices);
  if (!(width > 0.0) || !std::isfinite(width)) return bands;
  bands.first_speed = first;
  bands.last_speed = last;
  bands.slices_per_speed = static_cast<double>(kSlices) / (last - first);
  bands.low.resize(kSlices);
  bands.high.resize(kSlices);
  const auto row_below = [&](double speed) {  // the last row at or below the speed, else the first
    std::size_t r = 0;
    while (r + 1 < envelope.size() && envelope[r + 1].speed <= speed) ++r;
    return r;
  };
  for (std::size_t j = 0; j < kSlices; ++j) {
    // The slice widened by one on each side, against the rounding of the
    // slice a speed is given: every row whose interval meets it counts.
    const double from = first + width * (static_cast<double>(j) - 1.0);
    const double to = first + width * (static_cast<double>(j) + 2.0);
    double low = -std::numeric_limits<double>::infinity();
    double high = std::numeric_limits<double>::infinity();
    for (std::size_t r = row_below(from); r < envelope.size(); ++r) {
      low = std::max(low, envelope[r].lowest_torque);
      high = std::min(high, envelope[r].highest_torque);
      if (envelope[r].speed >= to) break;
    }
    bands.low[j] = low + margin;
    bands.high[j] = high - margin;
  }
  return bands;
}

std::size_t list_not_surely_inside(const InsideBands& bands, std::span<const double> speed,
                                   std::span<const double> torque, std::size_t first,
                                   std::size_t end, std::size_t* which) {
  const BandTest test = band_test(bands);
  std::size_t listed = 0, i = first;
  for (; i + 2 <= end; i += 2) {
    const int in = surely_inside(test, _mm_loadu_pd(&speed[i]), _mm_loadu_pd(&torque[i]));
    which[listed] = i;
    listed += (in & 1) == 0;
    which[listed] = i + 1;
    listed += (in & 2) == 0;
  }
  if (i < end) {
    which[listed] = i;
    listed += !surely_inside(bands, speed[i], torque[i]);
  }
  return listed;
}

}  // namespace fuelcalc
