// The fuel value and the class of each record of a cycle.
#include "fuelcalc/cycle.hpp"

namespace fuelcalc {

std::string_view where_name(Where where) {
  switch (where) {
    case Where::inside: return "inside";
    case Where::below: return "below";
    case Where::above: return "above";
    case Where::beyond_speed: return "beyond_speed";
    default: return "nan";
  }
}

void evaluate_records(const FuelMap& map, std::span<const double> speed,
                      std::span<const double> torque, std::span<double> fuel,
                      std::span<Where> where) {
  map.where(speed, torque, where);
  try {
    map.fuel(speed, torque, fuel);
  } catch (const Error& error) {
    if (!error.index()) throw;
    // The failing point again on its own, for the message of one point.
    const std::size_t at = *error.index();
    try {
      fuel[at] = map.fuel(speed[at], torque[at]);
    } catch (Error& alone) {
      throw std::move(alone.with_index(at));
    }
    throw;
  }
}

}  // namespace fuelcalc
