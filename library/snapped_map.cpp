#include <vector>

#include "fuelcalc/check.hpp"
#include "library/writers.h"

namespace fuelcalc {

void write_snapped_map(const std::filesystem::path& file, const MapCheck& map) {
  std::vector<double> speed, torque, fuel;
  for (std::size_t i = 0; i < map.points.size(); ++i) {
    const MapPoint& p = map.points[i];
    speed.push_back(i < map.snapped_speeds.size() ? map.snapped_speeds[i] : p.speed);
    torque.push_back(p.torque);
    fuel.push_back(p.fuel);
  }
  // The clusters the check snaps keep every speed's torques apart; this is
  // the guarantee for what it cannot foresee (a point with a fuel value that
  // is not finite stays at its speed, which may then hold it alone).
  if (map.map) {
    try {
      const FuelMap snapped = FuelMap::from_points(speed, torque, fuel);
      static_cast<void>(snapped.fuel(snapped.grid().speed[0], snapped.grid().torque[0]));
    } catch (const Error& error) {
      throw Error(
          ErrorKind::interpolation,
          std::string("the snapped map would fail where the map as read builds: ") + error.what())
          .with_code(error.code(), error.ierr());
    }
  }
  write_map(file, map.header.empty() ? kMapHeader : std::string_view(map.header), speed, torque,
            fuel);
}

}  // namespace fuelcalc
