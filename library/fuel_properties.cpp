// The fuels known by name. The values are those of typical market fuels at
// 15 degrees C; docs/cycle-totals.md names their source.
#include <array>
#include <string>

#include "fuelcalc/cycle.hpp"
#include "fuelcalc/error.hpp"

namespace fuelcalc {
namespace {

const std::array<FuelProperties, 2>& fuels() {
  static const std::array<FuelProperties, 2> kFuels{
      {{"diesel", 0.832, 3.16}, {"petrol", 0.745, 3.17}}};
  return kFuels;
}

}  // namespace

std::span<const FuelProperties> known_fuels() { return fuels(); }

FuelProperties fuel_properties(std::string_view name) {
  std::string names;
  for (const FuelProperties& fuel : fuels()) {
    if (fuel.name == name) return fuel;
    names += (names.empty() ? "" : ", ") + fuel.name;
  }
  throw Error(ErrorKind::invalid_argument,
              "no such fuel: '" + std::string(name) + "' (known: " + names + ")");
}

}  // namespace fuelcalc
