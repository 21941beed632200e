#include "checks/check_map_build.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "checks/check_grid_deviation.h"
#include "checks/check_results.h"

namespace fuelcalc::checks {
namespace {

// The lines of the points an interpolation failure concerns: those with a
// coordinate that is not finite, or else the two that span the range the
// failing pass works along (speeds for calls 3 to 6, torques otherwise).
std::vector<std::size_t> failure_lines(const std::vector<MapPoint>& points, int code) {
  std::vector<std::size_t> lines;
  for (const MapPoint& p : points)
    if (!std::isfinite(p.speed) || !std::isfinite(p.torque)) lines.push_back(p.line);
  if (!lines.empty()) return lines;
  const bool along_speed = code >= 3 && code <= 6;
  const auto coordinate = [&](const MapPoint& p) { return along_speed ? p.speed : p.torque; };
  const auto [low, high] = std::minmax_element(
      points.begin(), points.end(),
      [&](const MapPoint& a, const MapPoint& b) { return coordinate(a) < coordinate(b); });
  lines = {low->line, high->line};
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  return lines;
}

std::string lines_text(const std::vector<std::size_t>& lines) {
  constexpr std::size_t kNamed = 6;
  std::string text = lines.size() > 1 ? "lines " : "line ";
  for (std::size_t i = 0; i < std::min(lines.size(), kNamed); ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(lines[i]);
  }
  if (lines.size() > kNamed) text += ", ...";
  return text;
}

// The points' coordinates and fuel values, in file order.
struct Columns {
  std::vector<double> speed, torque, fuel;
};

Columns columns(const std::vector<MapPoint>& points) {
  Columns c;
  for (const MapPoint& p : points) {
    c.speed.push_back(p.speed);
    c.torque.push_back(p.torque);
    c.fuel.push_back(p.fuel);
  }
  return c;
}

// The map as the program builds it from the points in file order, or the
// interpolation failure that stops the program.
struct ProgramBuild {
  std::optional<FuelMap> map;
  ProgramStop stop;
};

ProgramBuild build_as_program(const Columns& c) {
  try {
    FuelMap map = FuelMap::from_points(c.speed, c.torque, c.fuel);
    // A grid the evaluation refuses fails at every point that has a value
    // (its corner may not be a number): try one.
    static_cast<void>(map.fuel(0.0, 0.0));
    return {std::move(map), {}};
  } catch (const Error& error) {
    return {std::nullopt, {error.code(), error.ierr()}};
  }
}

void report_stop(const std::vector<MapPoint>& points, ProgramStop stop, FindingLog& log) {
  const std::vector<std::size_t> lines = failure_lines(points, stop.code);
  log.add(
      code("map-interpolation"), lines.front(), std::nullopt,
      interpolation_words(stop, points) + " (" + lines_text(lines) + "; " + stop_text(stop) + ")");
}

// The findings on the points, then the program's failure in plain words at
// the lines of the points involved (unless a finding on the points has named
// it) or the grid's deviation. The map kept is built from the same points
// with the options' method and policy.
}  // namespace

void check_built_map(MapCheck& result, const CheckOptions& options, FindingLog& log,
                     PointSource source) {
  const Columns c = columns(result.points);
  ProgramBuild build = build_as_program(c);
  std::optional<ProgramStop> stop;
  if (!build.map) stop = build.stop;
  const bool stop_named = check_points(result, options, log, stop, source);
  if (!build.map) {
    if (!stop_named) report_stop(result.points, build.stop, log);
    return;
  }
  try {
    check_grid_deviation(result, *build.map, options.grid_tolerance, log);
  } catch (const Error&) {
    // The grid fails at a measured point: no measure of its deviation.
  }
  try {
    if (options.method != Method::grid || options.outside != Outside::extrapolate)
      build.map = FuelMap::from_points(c.speed, c.torque, c.fuel, options.method, options.outside);
    result.map = std::move(build.map);
  } catch (const Error& error) {
    report_stop(result.points, {error.code(), error.ierr()}, log);
  }
}

void check_option_ranges(const CheckOptions& options) {
  if (!(options.grid_tolerance >= 0.0))
    throw Error(ErrorKind::invalid_argument, "the grid tolerance " +
                                                 number_text(options.grid_tolerance) +
                                                 " is not a fraction of zero or more");
  check_result_options(options);
}

MapCheck check_table_points(std::vector<MapPoint> points, const std::string& file,
                            const CheckOptions& options) {
  check_option_ranges(options);
  MapCheck result;
  result.options = options;
  result.points = std::move(points);
  FindingLog log(file);
  check_built_map(result, options, log, PointSource::table);
  result.findings = log.close();
  return result;
}

}  // namespace fuelcalc::checks
