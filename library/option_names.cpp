// The names of the methods, outside policies, file formats and map layouts.
#include <array>
#include <cstddef>

#include "fuelcalc/cycle_files.hpp"
#include "fuelcalc/fuel_map.hpp"
#include "fuelcalc/map_table.hpp"

namespace fuelcalc {
namespace {

// In the order of the enums' values.
constexpr std::array<std::string_view, 2> kMethods{"grid", "direct"};
constexpr std::array<std::string_view, 5> kOutside{"extrapolate", "clamp", "nan", "error",
                                                   "bounded"};
constexpr std::array<std::string_view, 3> kFormats{"auto", "program", "table"};
constexpr std::array<std::string_view, 2> kLayouts{"points", "matrix"};

template <class Enum, std::size_t N>
std::optional<Enum> parse(std::string_view name, const std::array<std::string_view, N>& names) {
  for (std::size_t i = 0; i < N; ++i)
    if (names[i] == name) return static_cast<Enum>(i);
  return std::nullopt;
}

}  // namespace

std::string_view to_string(Method method) { return kMethods[static_cast<std::size_t>(method)]; }
std::string_view to_string(Outside outside) { return kOutside[static_cast<std::size_t>(outside)]; }
std::span<const std::string_view> method_names() { return kMethods; }
std::span<const std::string_view> outside_names() { return kOutside; }
std::optional<Method> parse_method(std::string_view name) { return parse<Method>(name, kMethods); }
std::optional<Outside> parse_outside(std::string_view name) {
  return parse<Outside>(name, kOutside);
}
std::string_view to_string(FileFormat format) { return kFormats[static_cast<std::size_t>(format)]; }
std::string_view to_string(MapLayout layout) { return kLayouts[static_cast<std::size_t>(layout)]; }
std::span<const std::string_view> file_format_names() { return kFormats; }
std::span<const std::string_view> map_layout_names() { return kLayouts; }
std::optional<FileFormat> parse_file_format(std::string_view name) {
  return parse<FileFormat>(name, kFormats);
}
std::optional<MapLayout> parse_map_layout(std::string_view name) {
  return parse<MapLayout>(name, kLayouts);
}

}  // namespace fuelcalc
