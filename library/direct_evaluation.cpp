// Fuel values by the direct method: the grid's two passes evaluated at each
// point over the measured points, without the grid.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "fuelmap/direct.h"
#include "fuelmap/direct_evaluator.h"
#include "library/failure_messages.h"
#include "library/fuel_map_data.h"

namespace fuelcalc {

std::shared_ptr<const void> prepare_direct_state(const fuelmap::MAP& map) {
  return std::make_shared<const fuelmap::DirectEvaluator>(fuelmap::prepare_direct(map));
}

// Blocks of points go through the precomputed path together; the points it
// does not take (a coordinate not finite, a map holding one) go through the
// literal procedure, in order, so that the first failure is the first
// failing point. A point with a coordinate that is not a number has no value
// (NaN), where the literal procedure would fail.
void evaluate_direct(const FuelMap::Data& data, std::span<const double> speed,
                     std::span<const double> torque, std::span<double> out) {
  const auto& evaluator = *static_cast<const fuelmap::DirectEvaluator*>(data.method_state.get());
  const std::size_t count = speed.size();
  for (std::size_t first = 0; first < count; first += fuelmap::kDirectBlockPoints) {
    const auto block =
        static_cast<int>(std::min<std::size_t>(fuelmap::kDirectBlockPoints, count - first));
    fuelmap::evaluate_direct_points(evaluator, block, &speed[first], &torque[first], &out[first]);
    for (std::size_t i = first; i < first + static_cast<std::size_t>(block); ++i) {
      if (fuelmap::takes_direct_point(evaluator, speed[i], torque[i])) continue;
      if (std::isnan(speed[i]) || std::isnan(torque[i])) {
        out[i] = std::numeric_limits<double>::quiet_NaN();
        continue;
      }
      if (const fuelmap::HermiteFailure failure =
              fuelmap::DIRECTFC(speed[i], torque[i], out[i], data.map))
        throw point_failure(failure, i, count > 1, speed[i], torque[i]);
    }
  }
}

}  // namespace fuelcalc
