// Fuel values of a FuelMap: the evaluation chosen when the map is built,
// called for one point or for arrays.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "fuelcalc/fuel_map.hpp"
#include "library/failure_messages.h"
#include "library/fuel_map_data.h"

namespace fuelcalc {

void choose_evaluation(FuelMap::Data& data) {
  if (data.method != Method::grid && data.method != Method::direct)
    throw Error(ErrorKind::invalid_argument,
                "no such method: " + std::to_string(static_cast<int>(data.method)));
  if (data.outside < Outside::extrapolate || data.outside > Outside::bounded)
    throw Error(ErrorKind::invalid_argument,
                "no such outside policy: " + std::to_string(static_cast<int>(data.outside)));
  FuelMap::Data::Evaluate method = evaluate_grid;
  if (data.method == Method::direct) {
    data.method_state = prepare_direct_state(data.map);
    method = evaluate_direct;
  }
  if (data.outside == Outside::bounded) data.top_slopes = top_slopes(data.map);
  data.inside_bands = inside_bands(data.envelope);
  data.evaluate = with_policy(method, data.outside);
}

// Blocks of points go through the precomputed path together; the points it
// does not take (a coordinate not finite, a grid it cannot take) go through
// the literal procedure, in order, so that the first failure is the first
// failing point. A point with a coordinate that is not a number has no value
// (NaN), where the literal procedure would fail.
void evaluate_grid(const FuelMap::Data& data, std::span<const double> speed,
                   std::span<const double> torque, std::span<double> out) {
  const std::size_t count = speed.size();
  for (std::size_t first = 0; first < count; first += fuelmap::kBlockPoints) {
    const auto block =
        static_cast<int>(std::min<std::size_t>(fuelmap::kBlockPoints, count - first));
    const int left = fuelmap::evaluate_points(data.evaluator, block, &speed[first], &torque[first],
                                              &out[first], data.grid);
    if (left == 0) continue;
    for (std::size_t i = first; i < first + static_cast<std::size_t>(block); ++i) {
      if (fuelmap::takes_point(data.evaluator, speed[i], torque[i])) continue;
      if (std::isnan(speed[i]) || std::isnan(torque[i])) {
        out[i] = std::numeric_limits<double>::quiet_NaN();
        continue;
      }
      if (const fuelmap::HermiteFailure failure =
              fuelmap::literal_fuel(speed[i], torque[i], out[i], data.grid))
        throw point_failure(failure, i, count > 1, speed[i], torque[i]);
    }
  }
}

double FuelMap::fuel(double speed, double torque) const {
  double out = 0.0;
  data_->evaluate(*data_, {&speed, 1}, {&torque, 1}, {&out, 1});
  return out;
}

void FuelMap::fuel(std::span<const double> speed, std::span<const double> torque,
                   std::span<double> out) const {
  require_same_lengths({"speed", "torque", "out"}, {speed.size(), torque.size(), out.size()});
  data_->evaluate(*data_, speed, torque, out);
}

std::vector<double> FuelMap::grid_deviation() const {
  const fuelmap::MAP& map = data_->map;
  std::vector<double> deviation(map.FCMAP.size());
  evaluate_grid(*data_, map.XMAP, map.YMAP, deviation);
  for (std::size_t i = 0; i < deviation.size(); ++i) deviation[i] -= map.FCMAP[i];
  return deviation;
}

bool FuelMap::inside(double speed, double torque) const {
  return where_in(data_->envelope, speed, torque) == Where::inside;
}

Where FuelMap::where(double speed, double torque) const {
  return where_in(data_->envelope, speed, torque);
}

// Arrays of points: most are surely inside by the bands, the others take
// where_in, the literal test (which the single point takes).
void FuelMap::where(std::span<const double> speed, std::span<const double> torque,
                    std::span<Where> out) const {
  require_same_lengths({"speed", "torque", "out"}, {speed.size(), torque.size(), out.size()});
  for (std::size_t i = 0; i < speed.size(); ++i)
    out[i] = surely_inside(data_->inside_bands, speed[i], torque[i])
                 ? Where::inside
                 : where_in(data_->envelope, speed[i], torque[i]);
}

std::size_t FuelMap::count_outside(std::span<const double> speed,
                                   std::span<const double> torque) const {
  require_same_lengths({"speed", "torque"}, {speed.size(), torque.size()});
  std::size_t outside = 0;
  for (std::size_t i = 0; i < speed.size(); ++i)
    outside += !surely_inside(data_->inside_bands, speed[i], torque[i]) &&
               where_in(data_->envelope, speed[i], torque[i]) != Where::inside;
  return outside;
}

}  // namespace fuelcalc
