// The fuels known by name: density at 15 degrees C in kg/L and grams of CO2
// per gram burnt, of fossil diesel (B0) and petrol (E0) as the JEC
// Well-to-Tank Report v4.a (2014), Appendix 1, lists them; docs/cycle-totals.md
// cites the table in full.
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
