#pragma once
// The method and outside-policy names Python callers write, and their enums.
#include <pybind11/pybind11.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "fuelcalc/fuel_map.hpp"

namespace fuelcalc_python {

namespace py = pybind11;

// In the order of the enums' values.
inline constexpr std::array<std::string_view, 2> kMethods{"grid", "direct"};
inline constexpr std::array<std::string_view, 5> kOutside{"extrapolate", "clamp", "nan", "error",
                                                          "bounded"};

// The enum named name; ValueError listing the names otherwise.
template <class Enum, std::size_t N>
Enum parse_option(const std::string& name, const std::array<std::string_view, N>& names,
                  const char* option) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == name) return static_cast<Enum>(i);
  }
  std::string known;
  for (auto n : names) known += (known.empty() ? "'" : ", '") + std::string(n) + "'";
  throw py::value_error(std::string(option) + " must be one of " + known + ", not '" + name + "'");
}

inline fuelcalc::Method parse_method(const std::string& name) {
  return parse_option<fuelcalc::Method>(name, kMethods, "method");
}
inline fuelcalc::Outside parse_outside(const std::string& name) {
  return parse_option<fuelcalc::Outside>(name, kOutside, "outside");
}

inline std::string method_name(const fuelcalc::FuelMap& map) {
  return std::string(kMethods[static_cast<std::size_t>(map.method())]);
}
inline std::string outside_name(const fuelcalc::FuelMap& map) {
  return std::string(kOutside[static_cast<std::size_t>(map.outside())]);
}

}  // namespace fuelcalc_python
