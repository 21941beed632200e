// fuelcalc.parse_unit, fuelcalc.to_base and fuelcalc.power_w: the library's
// units and mechanical power, for pictures and pages that show values in the
// units a map declares.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "arrays.h"
#include "bindings.h"
#include "fuelcalc/units.hpp"

namespace fuelcalc_python {

namespace {

using namespace pybind11::literals;
using fuelcalc::Quantity;

// In the order of Quantity's values, as Python callers name them.
constexpr std::array<std::string_view, 6> kQuantities{"speed",    "torque", "fuel",
                                                      "map_fuel", "time",   "vehicle_speed"};
constexpr std::array<std::string_view, 4> kOperations{"identity", "multiply", "divide", "bsfc"};

Quantity parse_quantity(const std::string& name) {
  for (std::size_t i = 0; i < kQuantities.size(); ++i)
    if (kQuantities[i] == name) return static_cast<Quantity>(i);
  std::string known;
  for (auto q : kQuantities) known += (known.empty() ? "'" : ", '") + std::string(q) + "'";
  throw py::value_error("quantity must be one of " + known + ", not '" + name + "'");
}

fuelcalc::Unit unit_of(const std::string& quantity, const std::string& text) {
  try {
    return fuelcalc::parse_unit(parse_quantity(quantity), text);
  } catch (const fuelcalc::Error& error) {
    throw py::value_error(error.what());
  }
}

py::tuple parse_unit(const std::string& quantity, const std::string& text) {
  const fuelcalc::Unit unit = unit_of(quantity, text);
  return py::make_tuple(std::string(unit.name),
                        std::string(kOperations[static_cast<std::size_t>(unit.operation)]),
                        unit.operand);
}

py::array_t<double> to_base(const std::string& quantity, const std::string& text,
                            py::handle values) {
  const fuelcalc::Unit unit = unit_of(quantity, text);
  if (unit.operation == fuelcalc::UnitOperation::bsfc)
    throw py::value_error("g/kWh converts at each point's power, not by a factor");
  const Doubles in = as_doubles(values, "values");
  py::array_t<double> out(std::vector<py::ssize_t>(in.shape(), in.shape() + in.ndim()));
  const auto n = static_cast<std::size_t>(in.size());
  const double* src = in.data();
  double* dst = out.mutable_data();
  for (std::size_t i = 0; i < n; ++i) dst[i] = fuelcalc::to_base(unit, src[i]);
  return out;
}

}  // namespace

void bind_units(py::module_& module) {
  module.def("parse_unit", &parse_unit, "quantity"_a, "text"_a,
             R"(The unit a text names for a quantity ('speed', 'torque', 'fuel',
'map_fuel', 'time', 'vehicle_speed'), as (name, operation, operand): the
name as the docs list it first, and how a value becomes one in the base unit
(rpm, Nm, g/h, s, km/h): 'identity', 'multiply' or 'divide' by operand, or
'bsfc' (g/kWh, at each point's power). ValueError listing the accepted
spellings for a text that names none.)");
  module.def("to_base", &to_base, "quantity"_a, "unit"_a, "values"_a,
             "The values in the quantity's base unit: float64 of their shape.");
  module.def("power_w", py::vectorize(&fuelcalc::power_w), "torque"_a, "speed"_a,
             R"(Mechanical power in W at a torque in Nm and a speed in rpm, as every
total of the library computes it: (torque * speed) * (2 pi / 60).)");
}

}  // namespace fuelcalc_python
