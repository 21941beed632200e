#include "textio/unit_spellings.h"

#include "textio/table_cells.h"

namespace textio {
namespace {

using enum UnitQuantity;
using enum UnitStep;

// The factor of rad/s to rpm is 30 / pi; dividing by the double nearest
// pi / 30 gives the correctly rounded result more often than multiplying
// by the double nearest 30 / pi (68 % against 43 % of random speeds), and
// it is the constant of the power. 3.6 (mg/s to g/h, m/s to km/h) is the
// better of multiplying by 3.6 and dividing by 1 / 3.6 (84 % against 70 %).
// The other factors are exact.
constexpr UnitSpelling kSpellings[] = {
    {speed, "rpm", "rpm", identity, 1},
    {speed, "1/min", "rpm", identity, 1},
    {speed, "min-1", "rpm", identity, 1},
    {speed, "min^-1", "rpm", identity, 1},
    {speed, "rad/s", "rad/s", divide, kRadPerSecondPerRpm},
    {speed, "rev/s", "rev/s", multiply, 60},
    {torque, "Nm", "Nm", identity, 1},
    {torque, "N m", "Nm", identity, 1},
    {torque, "N.m", "Nm", identity, 1},
    {torque, "kNm", "kNm", multiply, 1000},
    {torque, "kN m", "kNm", multiply, 1000},
    {torque, "kN.m", "kNm", multiply, 1000},
    {fuel, "g/h", "g/h", identity, 1},
    {fuel, "kg/h", "kg/h", multiply, 1000},
    {fuel, "g/s", "g/s", multiply, 3600},
    {fuel, "mg/s", "mg/s", multiply, 3.6},
    {map_fuel, "g/h", "g/h", identity, 1},
    {map_fuel, "kg/h", "kg/h", multiply, 1000},
    {map_fuel, "g/s", "g/s", multiply, 3600},
    {map_fuel, "mg/s", "mg/s", multiply, 3.6},
    {map_fuel, "g/kWh", "g/kWh", bsfc, 1},
    {time, "s", "s", identity, 1},
    {time, "min", "min", multiply, 60},
    {time, "h", "h", multiply, 3600},
    {vehicle_speed, "km/h", "km/h", identity, 1},
    {vehicle_speed, "m/s", "m/s", multiply, 3.6},
};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

}  // namespace

std::span<const UnitSpelling> unit_spellings() { return kSpellings; }

const UnitSpelling* find_unit(UnitQuantity quantity, std::string_view text) {
  text = trim_blanks(text);
  for (const UnitSpelling& unit : kSpellings)
    if (unit.quantity == quantity && same_ignoring_case(unit.spelling, text)) return &unit;
  return nullptr;
}

}  // namespace textio
