#include "checks/check_grid_deviation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "checks/check_map_points.h"

namespace fuelcalc::checks {
namespace {

// A measured point with the grid's value there.
struct Miss {
  const MapPoint* point;
  double grid;
  double relative;  // |grid - measured| / |measured|
};

std::string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// For each point of the map's sorted order, its point as read. The sorted
// order holds each (speed, torque) once (a torque repeated at a speed does
// not build), so a point is found by its coordinates; were one repeated, the
// repeats would be taken in line order. A built map's coordinates all
// compare: not-a-number ones fail the build.
std::vector<const MapPoint*> points_as_read(const std::vector<MapPoint>& points,
                                            const FuelMap& map) {
  const std::vector<const MapPoint*> ordered = by_speed_and_torque(points);
  std::vector<bool> taken(ordered.size(), false);
  std::vector<const MapPoint*> found;
  for (std::size_t k = 0; k < map.size(); ++k) {
    const MapPoint key{map.point_speeds()[k], map.point_torques()[k], 0.0, 0};
    auto at = std::lower_bound(ordered.begin(), ordered.end(), &key, speed_torque_before);
    while (at != ordered.end() && taken[static_cast<std::size_t>(at - ordered.begin())]) ++at;
    if (at == ordered.end() || (*at)->speed != key.speed || (*at)->torque != key.torque) return {};
    taken[static_cast<std::size_t>(at - ordered.begin())] = true;
    found.push_back(*at);
  }
  return found;
}

std::string miss_text(const Miss& m) {
  return "line " + std::to_string(m.point->line) + " (speed " + number_text(m.point->speed) +
         ", torque " + number_text(m.point->torque) + ": measured " + number_text(m.point->fuel) +
         ", grid " + formatted("%.6g", m.grid) + ", " +
         formatted("%+.3g", 100.0 * (m.grid - m.point->fuel) / std::fabs(m.point->fuel)) + " %)";
}

}  // namespace

double linear_percentile(std::span<const double> ascending, double percent) {
  const std::size_t last = ascending.size() - 1;
  const double index = static_cast<double>(last) * (percent / 100.0);
  if (index >= static_cast<double>(last)) return ascending[last];
  const double below = std::floor(index);
  const double g = index - below;
  const double a = ascending[static_cast<std::size_t>(below)];
  const double b = ascending[static_cast<std::size_t>(below) + 1];
  const double step = b - a;
  return g >= 0.5 ? b - step * (1.0 - g) : a + step * g;
}

void check_grid_deviation(MapCheck& result, const FuelMap& program_map, double tolerance,
                          FindingLog& log) {
  const std::vector<const MapPoint*> read = points_as_read(result.points, program_map);
  if (read.empty()) return;
  const std::vector<double> deviation = program_map.grid_deviation();
  std::vector<Miss> misses;
  std::vector<Miss> zeros;  // the points measured at 0, relative: |grid|
  double largest = 0.0;     // the largest measured fuel value, in magnitude
  for (std::size_t k = 0; k < read.size(); ++k) {
    const double fuel = program_map.point_fuels()[k];
    if (!std::isfinite(fuel)) continue;
    largest = std::max(largest, std::fabs(fuel));
    const double grid = fuel + deviation[k];
    if (fuel == 0.0)
      zeros.push_back({read[k], deviation[k], std::fabs(deviation[k])});
    else
      misses.push_back({read[k], grid, std::fabs(deviation[k]) / std::fabs(fuel)});
  }
  if (misses.empty() || std::any_of(misses.begin(), misses.end(),
                                    [](const Miss& m) { return std::isnan(m.relative); }))
    return;

  // Worst first; among equal ones, file order.
  const auto worse = [](const Miss& a, const Miss& b) {
    if (a.relative != b.relative) return a.relative > b.relative;
    return a.point->line < b.point->line;
  };
  std::sort(misses.begin(), misses.end(), worse);
  std::vector<double> ascending;
  for (auto m = misses.rbegin(); m != misses.rend(); ++m) ascending.push_back(m->relative);
  const Miss& worst = misses.front();
  result.grid_deviation = GridDeviation{worst.relative, linear_percentile(ascending, 95.0),
                                        worst.point->speed, worst.point->torque, worst.point->line};

  // The relative measure leaves out the points measured at 0: the grid's
  // value there is told when it is large against the map's fuel values.
  std::sort(zeros.begin(), zeros.end(), worse);
  const Miss* zero = nullptr;
  if (!zeros.empty() && zeros.front().relative > tolerance * largest) zero = &zeros.front();
  const std::size_t over = static_cast<std::size_t>(std::count_if(
      misses.begin(), misses.end(), [&](const Miss& m) { return m.relative > tolerance; }));
  if (over == 0 && !zero) return;

  const std::string percent = formatted("%.6g", 100.0 * tolerance) + " %";
  std::string message;
  if (over > 0) {
    message = "the grid misses " + std::to_string(over) + " of the " +
              count_text(misses.size(), "measured point") + " with nonzero fuel by more than " +
              percent + ", worst first: ";
    for (std::size_t i = 0; i < std::min(over, kFirstLines); ++i)
      message += (i ? ", " : "") + miss_text(misses[i]);
    if (over > kFirstLines) message += ", ...";
  }
  if (zero) {
    message += std::string(over > 0 ? "; at the " : "at the ") + count_text(zeros.size(), "point") +
               " measured at fuel 0 the grid gives up to " + formatted("%.6g", zero->grid) +
               " (line " + std::to_string(zero->point->line) + "), more than " + percent +
               " of the largest measured fuel value";
  }
  message += "; the direct method (Method::direct) gives every measured point its measured value";
  log.add(code("grid-deviation"), over > 0 ? worst.point->line : zero->point->line, std::nullopt,
          std::move(message));
}

}  // namespace fuelcalc::checks
