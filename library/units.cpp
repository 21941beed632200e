// Units of table columns: their spellings (textio/unit_spellings) on the
// library's face, and the conversion of values to the base units.
#include "fuelcalc/units.hpp"

#include <string>

#include "textio/unit_spellings.h"

namespace fuelcalc {
namespace {

textio::UnitQuantity quantity_of(Quantity quantity) {
  return static_cast<textio::UnitQuantity>(quantity);
}

Unit unit_of(const textio::UnitSpelling& spelling) {
  Unit unit;
  unit.quantity = static_cast<Quantity>(spelling.quantity);
  unit.name = spelling.name;
  unit.operation = static_cast<UnitOperation>(spelling.step);
  unit.operand = spelling.operand;
  return unit;
}

}  // namespace

std::string_view quantity_name(Quantity quantity) {
  switch (quantity) {
    case Quantity::speed: return "speed";
    case Quantity::torque: return "torque";
    case Quantity::fuel: return "fuel";
    case Quantity::map_fuel: return "map fuel";
    case Quantity::time: return "time";
    case Quantity::vehicle_speed: return "vehicle speed";
  }
  return "quantity";
}

Unit base_unit(Quantity quantity) {
  for (const textio::UnitSpelling& spelling : textio::unit_spellings())
    if (spelling.quantity == quantity_of(quantity)) return unit_of(spelling);
  throw Error(ErrorKind::invalid_argument, "no such quantity");
}

std::vector<std::string_view> unit_spellings(Quantity quantity) {
  std::vector<std::string_view> spellings;
  for (const textio::UnitSpelling& spelling : textio::unit_spellings())
    if (spelling.quantity == quantity_of(quantity)) spellings.push_back(spelling.spelling);
  return spellings;
}

Unit parse_unit(Quantity quantity, std::string_view text) {
  if (const textio::UnitSpelling* spelling = textio::find_unit(quantity_of(quantity), text))
    return unit_of(*spelling);
  std::string accepted;
  for (const std::string_view spelling : unit_spellings(quantity)) {
    if (!accepted.empty()) accepted += ", ";
    accepted += spelling;
  }
  throw Error(ErrorKind::invalid_argument, "unknown " + std::string(quantity_name(quantity)) +
                                               " unit '" + std::string(text) +
                                               "'; accepted: " + accepted);
}

double to_base(const Unit& unit, double value) {
  switch (unit.operation) {
    case UnitOperation::identity: return value;
    case UnitOperation::multiply: return value * unit.operand;
    case UnitOperation::divide: return value / unit.operand;
    case UnitOperation::bsfc: break;
  }
  throw Error(ErrorKind::invalid_argument,
              "g/kWh is converted at each point's power (bsfc_to_fuel), not by a factor");
}

void to_base(const Unit& unit, std::span<double> values) {
  if (unit.operation == UnitOperation::identity) return;
  if (unit.operation == UnitOperation::bsfc) to_base(unit, 0.0);
  const double operand = unit.operand;
  if (unit.operation == UnitOperation::multiply)
    for (double& value : values) value = value * operand;
  else
    for (double& value : values) value = value / operand;
}

double power_w(double torque_nm, double speed_rpm) {
  return torque_nm * speed_rpm * textio::kRadPerSecondPerRpm;
}

double bsfc_to_fuel(double bsfc_g_per_kwh, double torque_nm, double speed_rpm) {
  return bsfc_g_per_kwh * (power_w(torque_nm, speed_rpm) / 1000.0);
}

}  // namespace fuelcalc
