#pragma once
// The measured points of a fuel map held in a table (table.hpp), as points
// (one row per point: speed, torque, fuel) or as a matrix (speeds across the
// first row, torques down the first column, fuel values between; or
// transposed), converted to rpm, Nm and g/h (units.hpp).
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuelcalc/error.hpp"
#include "fuelcalc/export.hpp"
#include "fuelcalc/table.hpp"
#include "fuelcalc/units.hpp"

namespace fuelcalc {

enum class MapLayout { points, matrix };

// "points", "matrix", as fuel_map.hpp's names of the methods.
FUELCALC_API std::string_view to_string(MapLayout layout);
FUELCALC_API std::span<const std::string_view> map_layout_names();
FUELCALC_API std::optional<MapLayout> parse_map_layout(std::string_view name);

struct MapTableOptions {
  MapLayout layout = MapLayout::points;
  // Matrix: the first row holds the torques and the first column the speeds.
  bool transposed = false;
  Delimiter delimiter = Delimiter::detect;
  // Points: the columns. An empty choice is made by the header's words
  // (speed: a name containing "speed" or equal to "n" or "rpm"; torque:
  // containing "torque" or equal to "Me", "T", "tq"; fuel: containing
  // "fuel" or "bsfc", or equal to "FC"; ignoring case), else by position
  // (1, 2, 3). Not used by the matrix layout.
  ColumnChoice speed, torque, fuel;
  // Units that override the file's (Quantity::speed, torque, map_fuel
  // spellings); empty: the unit the file gives, else the base unit (rpm,
  // Nm, g/h), which MapTable::assumed then lists. A points column named
  // with "bsfc" and no unit is taken as g/kWh (listed as assumed too).
  // The matrix layout takes its units from these options only.
  std::string speed_unit, torque_unit, fuel_unit;
};

// The measured points, in file order, in rpm, Nm and g/h.
struct MapTable {
  std::vector<double> speed, torque, fuel;
  // The 1-based file line of each point (its row; in a matrix, the line of
  // its torque, or of its speed when transposed).
  std::vector<std::size_t> lines;
  // The units the values were given in.
  Unit speed_unit, torque_unit, fuel_unit;
  // The quantities (speed, torque, map_fuel) whose unit neither the file
  // nor the options gave.
  std::vector<Quantity> assumed;
  // Points layout: the speed, torque and fuel columns picked.
  std::vector<TableColumn> columns;
};

// Reads a map table. Throws Error as TableReader does, and read (with
// line()) for a point of brake specific consumption at zero or negative
// power, a speed or torque cell left empty beside a fuel value, a matrix
// speed or torque that is not a number; invalid_argument for an unknown
// unit in the options, two roles on one column; a table without a point
// (a points row whose fuel cell is empty, like an empty matrix cell, is no
// measured point).
FUELCALC_API MapTable read_map_table(const std::filesystem::path& file,
                                     const MapTableOptions& options = {});
// The same for a table held in memory.
FUELCALC_API MapTable parse_map_table(std::string_view text, const MapTableOptions& options = {});

}  // namespace fuelcalc
