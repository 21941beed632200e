#include "library/failure_messages.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "fuelmap/runs.h"
#include "textio/list_input.h"

namespace fuelcalc {
namespace {

// The points of run `run` (0-based; the first run for a negative one, the
// last for a larger one) of a map that holds points: indexes start .. end - 1
// of the ordered map.
struct RunPoints {
  std::size_t start = 0, end = 0;
};
RunPoints run_points(const fuelmap::MAP& map, int run) {
  const std::vector<int> starts = fuelmap::run_starts(map);
  const std::size_t k = std::min(static_cast<std::size_t>(std::max(run, 0)), starts.size() - 2);
  return {static_cast<std::size_t>(starts[k]), static_cast<std::size_t>(starts[k + 1])};
}

// The second point of the first pair of equal torques in a run, else `end`.
std::size_t first_repeat(const fuelmap::MAP& map, std::size_t start, std::size_t end) {
  for (std::size_t i = start + 1; i < end; ++i)
    if (map.YMAP[i - 1] == map.YMAP[i]) return i;
  return end;
}

Error interpolation(std::string message, const fuelmap::HermiteFailure& failure) {
  return std::move(
      Error(ErrorKind::interpolation, std::move(message)).with_code(failure.code, failure.ierr));
}

// Code 1: the curve along torque at one speed cannot be formed.
std::string run_failure(const fuelmap::HermiteFailure& failure, const fuelmap::MAP& map) {
  if (map.NMAP == 0) return "the map holds no points";
  const auto [start, end] = run_points(map, failure.place);
  const double speed = map.XMAP[start];
  if (failure.ierr == -1)
    return "a first coordinate with a single point: " + number_text(speed) + " rpm";
  if (const std::size_t repeat = first_repeat(map, start, end); repeat < end)
    return "repeated torque " + number_text(map.YMAP[repeat]) + " at speed " + number_text(speed);
  return "torques out of order at speed " + number_text(speed);
}

}  // namespace

std::string os_text(int os_error) { return std::generic_category().message(os_error); }

std::string read_cause(int status, int os_error) {
  switch (status) {
    case textio::kSyntaxError: return "a value that is not a number";
    case textio::kConversionError: return "a value that cannot be taken as a number";
    case textio::kReadFailure: return os_text(os_error);
    default: return "read status " + std::to_string(status);
  }
}

std::string header_read_cause(int status, int os_error) {
  switch (status) {
    case textio::kSyntaxError:
      return "a text value longer than 2049 characters (or a repeat count that is zero or stands "
             "before a slash)";
    case textio::kConversionError: return "a repeat count beyond 2147483647";
    default: return read_cause(status, os_error);
  }
}

void require_same_lengths(std::initializer_list<std::string_view> names,
                          std::initializer_list<std::size_t> sizes) {
  if (std::all_of(sizes.begin(), sizes.end(), [&](std::size_t n) { return n == *sizes.begin(); }))
    return;
  std::string named, lengths;
  std::size_t i = 0;
  for (const std::string_view name : names) {
    if (i > 0) named += i + 1 == names.size() ? " and " : ", ";
    named += name;
    ++i;
  }
  for (const std::size_t size : sizes) {
    if (!lengths.empty()) lengths += ", ";
    lengths += std::to_string(size);
  }
  named += " arrays of different lengths: ";
  named += lengths;
  throw Error(ErrorKind::invalid_argument, std::move(named));
}

Error grid_failure(const fuelmap::HermiteFailure& failure, const fuelmap::MAP& map,
                   const fuelmap::GRID& grid) {
  switch (failure.code) {
    case 1: return interpolation(run_failure(failure, map), failure);
    case 2:
      return interpolation("the torque curve at speed " +
                               number_text(map.XMAP[run_points(map, failure.place).start]) +
                               " cannot be evaluated (a value that is not a number?)",
                           failure);
    case 3:
      if (failure.ierr == -1)
        return interpolation("a single first coordinate: every point is at " +
                                 number_text(map.XMAP[0]) + " rpm; a map needs two speeds or more",
                             failure);
      return interpolation("the speeds are not in ascending order (a speed that is not a number?)",
                           failure);
    default:
      return interpolation("the curve across speeds at torque " +
                               number_text(grid.GY[static_cast<std::size_t>(failure.place)]) +
                               " cannot be evaluated (a value that is not a number?)",
                           failure);
  }
}

std::vector<std::size_t> failure_points(const fuelmap::HermiteFailure& failure,
                                        const fuelmap::MAP& map) {
  std::size_t start = 0, end = map.XMAP.size();
  if (end == 0) return {};
  if (failure.code <= 2) {
    const RunPoints run = run_points(map, failure.place);
    start = run.start;
    end = run.end;
  }
  std::vector<std::size_t> points;
  if (failure.code == 1 && failure.ierr != -1) {
    if (const std::size_t repeat = first_repeat(map, start, end); repeat < end) {
      for (std::size_t i = start; i < end; ++i)
        if (map.YMAP[i] == map.YMAP[repeat]) points.push_back(i);
      return points;
    }
  }
  for (std::size_t i = start; i < end; ++i)
    if (!std::isfinite(map.XMAP[i]) || !std::isfinite(map.YMAP[i]) || !std::isfinite(map.FCMAP[i]))
      points.push_back(i);
  if (points.empty())
    for (std::size_t i = start; i < end; ++i) points.push_back(i);
  return points;
}

Error point_failure(const fuelmap::HermiteFailure& failure, std::size_t index, bool in_array,
                    double speed, double torque) {
  std::string message;
  if (failure.code == 5 || failure.code == 7) {
    message = std::string("the map's ") + (failure.code == 5 ? "speed" : "torque") +
              " range is too narrow for its grid: two grid values are the same double";
  } else if ((failure.code == 6 || failure.code == 4) && std::isnan(speed)) {
    // The pass along speed: the grid's first, the direct method's second.
    message = "the speed is not a number";
  } else if ((failure.code == 8 || failure.code == 2) && std::isnan(torque)) {
    message = "the torque is not a number";
  } else {
    message = "the interpolation failed at speed " + number_text(speed) + ", torque " +
              number_text(torque);
  }
  if (in_array) message = "point " + std::to_string(index) + ": " + message;
  return std::move(interpolation(std::move(message), failure).with_index(index));
}

namespace {

std::string map_read_message(const fuelmap::MapReading& reading, const std::string& name) {
  const std::string at_line = name + " cannot be read at line " + std::to_string(reading.line);
  switch (reading.status) {
    case fuelmap::MapReadStatus::header_missing: return name + " ends before its two header lines";
    case fuelmap::MapReadStatus::unreadable:
      // A read with no point yet is a header record's.
      return at_line + ": " +
             (reading.point == 0 ? header_read_cause(reading.code, reading.os_error)
                                 : read_cause(reading.code, reading.os_error));
    case fuelmap::MapReadStatus::incomplete_point:
      return at_line + ": a point without all three values";
    case fuelmap::MapReadStatus::rewind_failed:
      return name + " cannot be read a second time: " + os_text(reading.os_error);
    default: return name + " changed while it was read";
  }
}

}  // namespace

Error map_read_failure(const fuelmap::MapReading& reading, std::string_view source) {
  Error error(ErrorKind::read, map_read_message(reading, std::string(source)));
  error.with_os_error(reading.os_error);
  if (reading.line > 0) error.with_line(reading.line);
  if (reading.point > 0) error.with_index(reading.point);
  return error;
}

Error open_failure(std::string_view file, std::string_view purpose, int os_error) {
  return std::move(Error(ErrorKind::open, "cannot open '" + std::string(file) + "' for " +
                                              std::string(purpose) + ": " + os_text(os_error))
                       .with_os_error(os_error));
}

}  // namespace fuelcalc
