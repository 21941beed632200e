#include <vector>

#include "fuelcalc/check.hpp"
#include "fuelcalc/points.hpp"

namespace fuelcalc {

void write_snapped_map(const std::filesystem::path& file, const MapCheck& map) {
  std::vector<double> speed, torque, fuel;
  for (std::size_t i = 0; i < map.points.size(); ++i) {
    const MapPoint& p = map.points[i];
    speed.push_back(i < map.snapped_speeds.size() ? map.snapped_speeds[i] : p.speed);
    torque.push_back(p.torque);
    fuel.push_back(p.fuel);
  }
  write_map(file, speed, torque, fuel);
}

}  // namespace fuelcalc
