// Building a FuelMap (from a file, from text, from arrays) and what it tells
// about itself.
#include <functional>
#include <limits>
#include <string>
#include <utility>

#include "fuelcalc/fuel_map.hpp"
#include "fuelmap/map_reader.h"
#include "library/failure_messages.h"
#include "library/file_source.h"
#include "library/fuel_map_data.h"

namespace fuelcalc {
namespace {

// The first line a failed grid construction concerns, 0 when it cannot be
// told, from the points in file order (places) with their lines: those
// points, ordered again with their places in the file for fuel values
// (ordering compares coordinates only and moves points whole), tell each
// ordered point's place.
std::size_t first_line_of(fuelmap::MAP places, std::span<const std::size_t> lines,
                          const fuelmap::HermiteFailure& failure, const fuelmap::MAP& ordered) {
  if (places.NMAP != ordered.NMAP || lines.size() != places.FCMAP.size()) return 0;
  for (std::size_t i = 0; i < places.FCMAP.size(); ++i) places.FCMAP[i] = static_cast<double>(i);
  fuelmap::order_map(places);
  std::size_t first = 0;
  for (const std::size_t k : failure_points(failure, ordered)) {
    const std::size_t line = lines[static_cast<std::size_t>(places.FCMAP[k])];
    if (line > 0 && (first == 0 || line < first)) first = line;
  }
  return first;
}

// The same for the map file: only on failure, the source is read once more
// with each point's line.
std::size_t first_line_involved(textio::RecordSource& source,
                                const fuelmap::HermiteFailure& failure,
                                const fuelmap::MAP& ordered) {
  fuelmap::MAP places;
  std::vector<std::size_t> lines;
  if (!textio::rewind_source(source) ||
      fuelmap::read_map(source, places, &lines).status != fuelmap::MapReadStatus::ok)
    return 0;
  return first_line_of(std::move(places), lines, failure, ordered);
}

// The first line a failure concerns, 0 when unknown.
using FailureLine =
    std::function<std::size_t(const fuelmap::HermiteFailure&, const fuelmap::MAP& ordered)>;

// The grid, its precomputed coefficients, the envelope and the evaluation of
// an ordered map; `line_of` tells the line of a failure, if the points came
// from a file.
std::shared_ptr<const FuelMap::Data> build(fuelmap::MAP map, Method method, Outside outside,
                                           const FailureLine& line_of = {}) {
  auto data = std::make_shared<FuelMap::Data>();
  data->method = method;
  data->outside = outside;
  data->map = std::move(map);
  if (const fuelmap::HermiteFailure failure = fuelmap::build_grid(data->grid, data->map)) {
    Error error = grid_failure(failure, data->map, data->grid);
    if (line_of)
      if (const std::size_t line = line_of(failure, data->map)) error.with_line(line);
    throw error;
  }
  for (std::size_t i = 0; i < kGridSize; ++i) {
    data->public_grid.speed[i] = data->grid.GX[i];
    data->public_grid.torque[i] = data->grid.GY[i];
    for (std::size_t j = 0; j < kGridSize; ++j)
      data->public_grid.fuel[i][j] = data->grid.GFC[i + kGridSize * j];
  }
  data->evaluator = fuelmap::prepare_evaluator(data->grid);
  data->envelope = measured_envelope(data->map);
  choose_evaluation(*data);
  return data;
}

// The points in file order, as arrays.
fuelmap::MAP map_of(std::span<const double> speed, std::span<const double> torque,
                    std::span<const double> fuel) {
  fuelmap::MAP map;
  map.NMAP = static_cast<int>(speed.size());
  map.XMAP.assign(speed.begin(), speed.end());
  map.YMAP.assign(torque.begin(), torque.end());
  map.FCMAP.assign(fuel.begin(), fuel.end());
  return map;
}

std::shared_ptr<const FuelMap::Data> read_and_build(textio::RecordSource& source,
                                                    std::string_view name, Method method,
                                                    Outside outside) {
  fuelmap::MAP map;
  const fuelmap::MapReading reading = fuelmap::read_map(source, map);
  if (reading.status != fuelmap::MapReadStatus::ok) throw map_read_failure(reading, name);
  fuelmap::order_map(map);
  return build(std::move(map), method, outside,
               [&source](const fuelmap::HermiteFailure& failure, const fuelmap::MAP& ordered) {
                 return first_line_involved(source, failure, ordered);
               });
}

}  // namespace

FuelMap::FuelMap(std::shared_ptr<const Data> data) : data_(std::move(data)) {}

FuelMap FuelMap::load(const std::filesystem::path& file, Method method, Outside outside) {
  FileSource input(file, /*replay_on_rewind=*/true);
  return FuelMap(
      read_and_build(input.source, "the map file '" + file.string() + "'", method, outside));
}

FuelMap FuelMap::parse(std::string_view text, Method method, Outside outside) {
  textio::RecordSource source = textio::source_from_bytes(text);
  return FuelMap(read_and_build(source, "the map text", method, outside));
}

std::shared_ptr<const FuelMap::Data> build_from_points(std::span<const double> speed,
                                                       std::span<const double> torque,
                                                       std::span<const double> fuel, Method method,
                                                       Outside outside,
                                                       std::span<const std::size_t> lines) {
  require_same_lengths({"speed", "torque", "fuel"}, {speed.size(), torque.size(), fuel.size()});
  if (speed.empty()) throw Error(ErrorKind::invalid_argument, "no points to build a map from");
  if (speed.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw Error(ErrorKind::invalid_argument,
                "too many points for one map: " + std::to_string(speed.size()));
  fuelmap::MAP map = map_of(speed, torque, fuel);
  fuelmap::order_map(map);
  if (lines.empty()) return build(std::move(map), method, outside);
  return build(std::move(map), method, outside,
               [&](const fuelmap::HermiteFailure& failure, const fuelmap::MAP& ordered) {
                 return first_line_of(map_of(speed, torque, fuel), lines, failure, ordered);
               });
}

FuelMap FuelMap::from_points(std::span<const double> speed, std::span<const double> torque,
                             std::span<const double> fuel, Method method, Outside outside) {
  return FuelMap(build_from_points(speed, torque, fuel, method, outside, {}));
}

const Grid& FuelMap::grid() const { return data_->public_grid; }

std::span<const EnvelopeRow> FuelMap::envelope() const { return data_->envelope; }

std::span<const double> FuelMap::point_speeds() const { return data_->map.XMAP; }

std::span<const double> FuelMap::point_torques() const { return data_->map.YMAP; }

std::span<const double> FuelMap::point_fuels() const { return data_->map.FCMAP; }

std::size_t FuelMap::size() const { return data_->map.XMAP.size(); }

Method FuelMap::method() const { return data_->method; }

Outside FuelMap::outside() const { return data_->outside; }

}  // namespace fuelcalc
