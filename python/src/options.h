#pragma once
// The method, outside-policy, file-format and layout names Python callers
// write, and their enums.
#include <pybind11/pybind11.h>

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "fuelcalc/cycle_files.hpp"
#include "fuelcalc/fuel_map.hpp"
#include "fuelcalc/map_table.hpp"

namespace fuelcalc_python {

namespace py = pybind11;

// The enum named name; ValueError listing the names otherwise.
template <class Enum>
Enum parse_option(const std::string& name, std::optional<Enum> value,
                  std::span<const std::string_view> names, const char* option) {
  if (value) return *value;
  std::string known;
  for (auto n : names) known += (known.empty() ? "'" : ", '") + std::string(n) + "'";
  throw py::value_error(std::string(option) + " must be one of " + known + ", not '" + name + "'");
}

inline fuelcalc::Method parse_method(const std::string& name) {
  return parse_option(name, fuelcalc::parse_method(name), fuelcalc::method_names(), "method");
}
inline fuelcalc::Outside parse_outside(const std::string& name) {
  return parse_option(name, fuelcalc::parse_outside(name), fuelcalc::outside_names(), "outside");
}

inline fuelcalc::MapLayout parse_layout(const std::string& name) {
  return parse_option(name, fuelcalc::parse_map_layout(name), fuelcalc::map_layout_names(),
                      "layout");
}
// automatic: "auto" is one of the names.
inline fuelcalc::FileFormat parse_format(const std::string& name, bool automatic) {
  const auto names = fuelcalc::file_format_names().subspan(automatic ? 0 : 1);
  const bool named = std::ranges::find(names, name) != names.end();
  return parse_option(name, named ? fuelcalc::parse_file_format(name) : std::nullopt, names,
                      "format");
}

inline std::string method_name(const fuelcalc::FuelMap& map) {
  return std::string(fuelcalc::to_string(map.method()));
}
inline std::string outside_name(const fuelcalc::FuelMap& map) {
  return std::string(fuelcalc::to_string(map.outside()));
}

}  // namespace fuelcalc_python
