#pragma once
// Units of the quantities a table's columns hold, and their conversion to the
// base units the library computes in: rpm, Nm, g/h, s, km/h.
//
// A unit text is matched after dropping the blanks around it, ignoring the
// case of its letters ("RPM", "nm", "KG/H" are accepted). Each spelling
// converts by one operation, value * factor or value / divisor, chosen as the
// more exact of the two for its constant (see docs/tables.md); the base unit
// itself converts to the same bits.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuelcalc/error.hpp"
#include "fuelcalc/export.hpp"

namespace fuelcalc {

// What a column measures. map_fuel is the fuel of a map, which may also be
// given as brake specific consumption (g/kWh).
enum class Quantity { speed, torque, fuel, map_fuel, time, vehicle_speed };

// How a value becomes a value in the base unit.
enum class UnitOperation {
  identity,  // already the base unit
  multiply,  // value * operand
  divide,    // value / operand
  bsfc,      // g/kWh: value * power in kW at the point (bsfc_to_fuel)
};

struct Unit {
  Quantity quantity = Quantity::speed;
  std::string_view name;  // the spelling as the docs list it first ("rpm", "kg/h")
  UnitOperation operation = UnitOperation::identity;
  double operand = 1.0;
};

// The quantity's name as options and messages spell it ("speed", "vehicle speed").
FUELCALC_API std::string_view quantity_name(Quantity quantity);
// The base unit of a quantity ("rpm", "Nm", "g/h", "g/h", "s", "km/h").
FUELCALC_API Unit base_unit(Quantity quantity);
// Every accepted spelling of the quantity's units, in the order the docs list them.
FUELCALC_API std::vector<std::string_view> unit_spellings(Quantity quantity);
// The unit a text names. Throws Error of kind invalid_argument, listing the
// accepted spellings, for a text that names none of the quantity's units.
FUELCALC_API Unit parse_unit(Quantity quantity, std::string_view text);

// A value in the base unit. UnitOperation::bsfc is no conversion of a value
// alone: it throws Error invalid_argument (use bsfc_to_fuel).
FUELCALC_API double to_base(const Unit& unit, double value);
// The same for every value in place.
FUELCALC_API void to_base(const Unit& unit, std::span<double> values);

// Mechanical power in W at a torque in Nm and a speed in rpm, computed as
// (torque * speed) * k, left to right, k = 0.10471975511965978 the double
// nearest 2 pi / 60. Every total of power or work uses this routine.
FUELCALC_API double power_w(double torque_nm, double speed_rpm);
// The fuel flow in g/h of a brake specific consumption in g/kWh at a point:
// bsfc * (power_w(torque, speed) / 1000).
FUELCALC_API double bsfc_to_fuel(double bsfc_g_per_kwh, double torque_nm, double speed_rpm);

}  // namespace fuelcalc
