#pragma once
// The map writer behind write_map, with the header records given as bytes.
#include <filesystem>
#include <span>
#include <string_view>

namespace fuelcalc {

// The two header lines write_map writes.
inline constexpr std::string_view kMapHeader = "TORQUE MAP\nSPEED TORQUE FUEL\n";

// `header` as it is (its line ends included), then one line per point.
void write_map(const std::filesystem::path& file, std::string_view header,
               std::span<const double> speed, std::span<const double> torque,
               std::span<const double> fuel);

}  // namespace fuelcalc
