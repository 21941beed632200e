#pragma once
// The accepted spellings of the units of a table's columns, and the one
// operation that takes a value in each to the quantity's base unit.
#include <span>
#include <string_view>

namespace textio {

// In the order of fuelcalc::Quantity.
enum class UnitQuantity { speed, torque, fuel, map_fuel, time, vehicle_speed };

enum class UnitStep { identity, multiply, divide, bsfc };

// The double nearest 2 pi / 60: a speed in rpm times it is in rad/s.
inline constexpr double kRadPerSecondPerRpm = 0.10471975511965978;

struct UnitSpelling {
  UnitQuantity quantity;
  std::string_view spelling;  // as written in the docs
  std::string_view name;      // the unit's first spelling
  UnitStep step;
  double operand;
};

// Every spelling, quantity by quantity; the first of each quantity is its
// base unit. map_fuel has the fuel spellings and g/kWh.
std::span<const UnitSpelling> unit_spellings();

// The spelling of the quantity that the text matches once the blanks around
// it are dropped, ignoring the case of letters; nullptr for none.
const UnitSpelling* find_unit(UnitQuantity quantity, std::string_view text);

}  // namespace textio
