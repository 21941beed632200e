// The measured points of a map table, as points or as a matrix, in rpm, Nm
// and g/h.
#include <array>
#include <cmath>
#include <string>
#include <utility>

#include "fuelcalc/fuel_map.hpp"
#include "fuelcalc/map_table.hpp"
#include "library/failure_messages.h"
#include "library/fuel_map_data.h"
#include "textio/table_cells.h"

namespace fuelcalc {
namespace {

constexpr std::size_t kBlockRows = 4096;

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

constexpr std::array<Quantity, 3> kQuantities = {Quantity::speed, Quantity::torque,
                                                 Quantity::map_fuel};

// The unit of a role: the option's, else the file's, else the base unit
// (or g/kWh for a fuel column named bsfc), then listed as assumed.
Unit role_unit(std::size_t role, const std::string& option, const std::string& file_unit,
               std::string_view column_name, MapTable& table, const std::string& name) {
  const Quantity quantity = kQuantities[role];
  if (!option.empty()) return parse_unit(quantity, option);
  if (!file_unit.empty()) {
    try {
      return parse_unit(quantity, file_unit);
    } catch (const Error& error) {
      throw Error(ErrorKind::read, name + ": " + error.what());
    }
  }
  table.assumed.push_back(quantity);
  if (role == 2 && lowered(column_name).find("bsfc") != std::string::npos)
    return parse_unit(quantity, "g/kWh");
  return base_unit(quantity);
}

// Speeds and torques to rpm and Nm, then fuel to g/h (a consumption in
// g/kWh at each point's power).
void convert(MapTable& table, const std::string& name) {
  to_base(table.speed_unit, table.speed);
  to_base(table.torque_unit, table.torque);
  if (table.fuel_unit.operation != UnitOperation::bsfc) {
    to_base(table.fuel_unit, table.fuel);
    return;
  }
  for (std::size_t i = 0; i < table.fuel.size(); ++i) {
    const double power = power_w(table.torque[i], table.speed[i]);
    if (!(power > 0))
      throw std::move(
          Error(ErrorKind::read, name + ", line " + std::to_string(table.lines[i]) +
                                     ": a consumption in g/kWh at zero or negative power (speed " +
                                     number_text(table.speed[i]) + " rpm, torque " +
                                     number_text(table.torque[i]) + " Nm) gives no fuel flow")
              .with_line(table.lines[i]));
    table.fuel[i] = bsfc_to_fuel(table.fuel[i], table.torque[i], table.speed[i]);
  }
}

void read_points(TableReader& reader, const MapTableOptions& options, MapTable& table,
                 const std::string& name) {
  const std::vector<TableColumn>& all = reader.file_columns();
  const std::array<const ColumnChoice*, 3> given = {&options.speed, &options.torque, &options.fuel};
  std::array<std::size_t, 3> index{};  // 0-based header index of each role
  std::array<bool, 3> picked{};
  for (std::size_t role = 0; role < 3; ++role) {
    if (given[role]->empty()) continue;
    reader.choose_columns({*given[role]});
    index[role] = reader.columns()[0].position - 1;
    picked[role] = true;
  }
  for (std::size_t role = 0; role < 3; ++role) {
    if (picked[role]) continue;
    for (std::size_t i = 0; i < all.size() && !picked[role]; ++i) {
      bool taken = false;
      for (std::size_t other = 0; other < 3; ++other) taken |= picked[other] && index[other] == i;
      if (!taken && textio::names_map_column(role, all[i].name)) {
        index[role] = i;
        picked[role] = true;
      }
    }
  }
  for (std::size_t role = 0; role < 3; ++role)
    if (!picked[role]) index[role] = role;
  for (std::size_t role = 0; role < 3; ++role)
    for (std::size_t other = 0; other < role; ++other)
      if (index[role] == index[other])
        throw Error(ErrorKind::invalid_argument,
                    name + ": the " + std::string(quantity_name(kQuantities[other])) + " and the " +
                        std::string(quantity_name(kQuantities[role])) + " would both be column " +
                        std::to_string(index[role] + 1) + "; name the columns");
  reader.choose_columns({ColumnChoice::at(index[0] + 1), ColumnChoice::at(index[1] + 1),
                         ColumnChoice::at(index[2] + 1)});
  table.columns = reader.columns();
  const std::array<std::string, 3> unit_options = {options.speed_unit, options.torque_unit,
                                                   options.fuel_unit};
  const std::array<Unit*, 3> units = {&table.speed_unit, &table.torque_unit, &table.fuel_unit};
  for (std::size_t role = 0; role < 3; ++role)
    *units[role] = role_unit(role, unit_options[role], table.columns[role].unit,
                             table.columns[role].name, table, name);

  const std::size_t width = all.size();
  TableBlock block;
  while (reader.read(block, kBlockRows) > 0) {
    for (std::size_t row = 0; row < block.rows; ++row) {
      // An empty fuel cell is no measured point; an empty speed or torque
      // beside a fuel value is an error.
      if (block.cells[row * width + index[2]].empty()) continue;
      for (std::size_t role = 0; role < 2; ++role)
        if (block.cells[row * width + index[role]].empty())
          throw std::move(Error(ErrorKind::read, name + ", line " +
                                                     std::to_string(block.lines[row]) + ": the " +
                                                     std::string(quantity_name(kQuantities[role])) +
                                                     " cell is empty beside a fuel value")
                              .with_line(block.lines[row]));
      table.speed.push_back(block.numbers[0][row]);
      table.torque.push_back(block.numbers[1][row]);
      table.fuel.push_back(block.numbers[2][row]);
      table.lines.push_back(block.lines[row]);
    }
  }
}

// Speeds across the first row (after the corner cell), torques down the
// first column; transposed, the other way round. An empty cell is no
// measured point.
void read_matrix(TableReader& reader, const MapTableOptions& options, MapTable& table,
                 const std::string& name) {
  const std::vector<TableColumn>& all = reader.file_columns();
  const std::size_t down = options.transposed ? 0 : 1;  // role of the first column
  const std::size_t across_role = 1 - down;
  std::vector<double> across;
  for (std::size_t i = 1; i < all.size(); ++i) {
    double value = 0;
    if (textio::read_number_cell(all[i].header, value) != textio::CellNumber::number)
      throw std::move(
          Error(ErrorKind::read, name + ", line " + std::to_string(reader.header_line()) +
                                     ", column " + std::to_string(i + 1) + ": the " +
                                     std::string(quantity_name(kQuantities[across_role])) + " '" +
                                     all[i].header + "' is not a number")
              .with_line(reader.header_line()));
    across.push_back(value);
  }
  table.speed_unit = role_unit(0, options.speed_unit, "", "", table, name);
  table.torque_unit = role_unit(1, options.torque_unit, "", "", table, name);
  table.fuel_unit = role_unit(2, options.fuel_unit, "", "", table, name);
  std::array<std::vector<double>*, 2> coordinate = {&table.speed, &table.torque};
  const std::size_t width = all.size();
  TableBlock block;
  while (reader.read(block, kBlockRows) > 0) {
    for (std::size_t row = 0; row < block.rows; ++row) {
      const double first = block.numbers[0][row];
      for (std::size_t j = 1; j < width; ++j) {
        if (block.cells[row * width + j].empty()) continue;
        if (block.cells[row * width].empty())
          throw std::move(Error(ErrorKind::read, name + ", line " +
                                                     std::to_string(block.lines[row]) + ": the " +
                                                     std::string(quantity_name(kQuantities[down])) +
                                                     " cell is empty beside fuel values")
                              .with_line(block.lines[row]));
        coordinate[down]->push_back(first);
        coordinate[across_role]->push_back(across[j - 1]);
        table.fuel.push_back(block.numbers[j][row]);
        table.lines.push_back(block.lines[row]);
      }
    }
  }
}

MapTable read_map(TableReader& reader, const MapTableOptions& options, const std::string& name) {
  MapTable table;
  if (options.layout == MapLayout::points)
    read_points(reader, options, table, name);
  else
    read_matrix(reader, options, table, name);
  if (table.speed.empty()) throw Error(ErrorKind::read, name + " holds no measured point");
  convert(table, name);
  return table;
}

TableOptions reader_options(const MapTableOptions& options) {
  TableOptions table;
  table.delimiter = options.delimiter;
  table.keep_cells = true;
  return table;
}

}  // namespace

MapTable read_map_table(const std::filesystem::path& file, const MapTableOptions& options) {
  TableReader reader(file, reader_options(options));
  return read_map(reader, options, "the table file '" + file.string() + "'");
}

MapTable parse_map_table(std::string_view text, const MapTableOptions& options) {
  TableReader reader = TableReader::from_text(text, reader_options(options), "the map text");
  return read_map(reader, options, "the map text");
}

FuelMap FuelMap::from_table(const std::filesystem::path& file, const MapTableOptions& options,
                            Method method, Outside outside) {
  return from_table(read_map_table(file, options), method, outside);
}

FuelMap FuelMap::from_table(const MapTable& table, Method method, Outside outside) {
  return FuelMap(
      build_from_points(table.speed, table.torque, table.fuel, method, outside, table.lines));
}

}  // namespace fuelcalc
