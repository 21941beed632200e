#include "fuelcalc/cycle_files.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <span>

#include "checks/check_map_build.h"
#include "fuelcalc/check.hpp"
#include "fuelcalc/number_text.hpp"
#include "fuelcalc/points.hpp"
#include "fuelcalc/table.hpp"
#include "fuelcalc/units.hpp"

namespace fuelcalc {
namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool is_number(std::string_view cell) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  return !cell.empty() && error == std::errc() && end == cell.data() + cell.size();
}

// The unit of a quantity: the option's, else the file's, else the base unit,
// then listed in assumed under label.
Unit unit_of(Quantity quantity, const std::string& option, const std::string& file_unit,
             const std::string& file, const std::string& label, FileFacts& facts) {
  if (!option.empty()) return parse_unit(quantity, option);
  if (!file_unit.empty()) {
    try {
      return parse_unit(quantity, file_unit);
    } catch (const Error& error) {
      throw Error(ErrorKind::read, file + ": " + error.what());
    }
  }
  facts.assumed.push_back(label);
  return base_unit(quantity);
}

std::string unit_name(const Unit& unit) { return std::string(unit.name); }

// Roles of a cycle table, in the order of their columns in a block.
enum Role { kTime, kSpeed, kTorque, kVehicleSpeed, kPhase, kRoles };

bool names_role(int role, std::string_view name) {
  const std::string n = lowered(name);
  switch (role) {
    case kTime: return n.find("time") != std::string::npos || n == "t";
    case kSpeed:
      return (n.find("speed") != std::string::npos && n.find("vehicle") == std::string::npos) ||
             n == "n" || n == "rpm";
    case kTorque: return n.find("torque") != std::string::npos || n == "me" || n == "tq";
    default: return false;  // a vehicle speed or a phase only when named in the options
  }
}

// The checks with the run's method and outside policy.
CheckOptions check_options(const MapFileChoice& choice) {
  CheckOptions options;
  options.method = choice.method;
  options.outside = choice.outside;
  return options;
}

// The program's map format, checked as the program reads it; the map built
// by the checks, rebuilt from converted points when units are given.

std::optional<FuelMap> load_program_map(const MapFileChoice& choice, FileFacts& facts) {
  MapCheck check = check_map(choice.file, check_options(choice));
  facts.findings.insert(facts.findings.end(), check.findings.begin(), check.findings.end());
  const Unit speed =
      unit_of(Quantity::speed, choice.speed_unit, "", choice.file, "map speed", facts);
  const Unit torque =
      unit_of(Quantity::torque, choice.torque_unit, "", choice.file, "map torque", facts);
  const Unit fuel =
      unit_of(Quantity::map_fuel, choice.fuel_unit, "", choice.file, "map fuel", facts);
  facts.map_units = {unit_name(speed), unit_name(torque), unit_name(fuel)};
  if (!check.map) return std::nullopt;
  const bool base = speed.operation == UnitOperation::identity &&
                    torque.operation == UnitOperation::identity &&
                    fuel.operation == UnitOperation::identity;
  if (base) return std::move(check.map);
  std::vector<double> s, t, f;
  for (const MapPoint& p : check.points) {
    s.push_back(to_base(speed, p.speed));
    t.push_back(to_base(torque, p.torque));
    if (fuel.operation != UnitOperation::bsfc) {
      f.push_back(to_base(fuel, p.fuel));
      continue;
    }
    if (!(power_w(t.back(), s.back()) > 0.0))
      throw std::move(Error(ErrorKind::read, choice.file + ", line " + std::to_string(p.line) +
                                                 ": a consumption in g/kWh at zero or negative "
                                                 "power gives no fuel flow")
                          .with_line(p.line));
    f.push_back(bsfc_to_fuel(p.fuel, t.back(), s.back()));
  }
  return FuelMap::from_points(s, t, f, choice.method, choice.outside);
}

std::optional<FuelMap> load_table_map(const MapFileChoice& choice, FileFacts& facts) {
  MapTableOptions options;
  options.layout = choice.layout;
  if (!choice.speed.empty()) options.speed = column_choice(choice.speed);
  if (!choice.torque.empty()) options.torque = column_choice(choice.torque);
  if (!choice.fuel.empty()) options.fuel = column_choice(choice.fuel);
  options.speed_unit = choice.speed_unit;
  options.torque_unit = choice.torque_unit;
  options.fuel_unit = choice.fuel_unit;
  const MapTable table = read_map_table(choice.file, options);
  facts.map_units = {unit_name(table.speed_unit), unit_name(table.torque_unit),
                     unit_name(table.fuel_unit)};
  for (const Quantity q : table.assumed)
    facts.assumed.push_back(q == Quantity::speed    ? "map speed"
                            : q == Quantity::torque ? "map torque"
                                                    : "map fuel");
  // The table reader's errors stand for the checks of the program's record
  // format; the checks on the points run on the values read, each at the
  // line of its row.
  std::vector<MapPoint> points(table.speed.size());
  for (std::size_t i = 0; i < points.size(); ++i)
    points[i] = {table.speed[i], table.torque[i], table.fuel[i], table.lines[i]};
  MapCheck check =
      checks::check_table_points(std::move(points), choice.file, check_options(choice));
  facts.findings.insert(facts.findings.end(), check.findings.begin(), check.findings.end());
  return std::move(check.map);
}

// The file's head read as a table whose header holds no number.
std::optional<TableReader> table_head(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string head(64 * 1024, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  const std::size_t end = head.rfind('\n');
  head.resize(end == std::string::npos ? head.size() : end + 1);
  try {
    TableReader reader = TableReader::from_text(head);
    for (const TableColumn& column : reader.file_columns())
      if (is_number(column.header)) return std::nullopt;
    return reader;
  } catch (const Error&) {
    return std::nullopt;
  }
}

}  // namespace

ColumnChoice column_choice(const std::string& option) {
  const bool digits = !option.empty() && std::all_of(option.begin(), option.end(),
                                                     [](char c) { return c >= '0' && c <= '9'; });
  if (!digits) return ColumnChoice::named(option);
  std::size_t position = 0;
  std::from_chars(option.data(), option.data() + option.size(), position);
  return ColumnChoice::at(position);
}

bool looks_like_table(const std::string& file) {
  std::optional<TableReader> head = table_head(file);
  if (!head) return false;
  // The next row holds only numbers.
  try {
    TableBlock block;
    if (head->read(block, 1) != 1) return false;
    return std::all_of(block.empty.begin(), block.empty.end(),
                       [](std::size_t n) { return n == 0; });
  } catch (const Error&) {
    return false;
  }
}

bool cycle_looks_like_table(const std::string& file) {
  const std::optional<TableReader> head = table_head(file);
  if (!head) return false;
  if (head->unit_line()) return true;
  const std::vector<TableColumn>& columns = head->file_columns();
  return std::any_of(columns.begin(), columns.end(),
                     [](const TableColumn& c) { return names_role(kTime, c.name); });
}

bool map_reads_as_table(const MapFileChoice& choice) {
  // A matrix is a table whatever its first row looks like.
  return choice.format == FileFormat::table ||
         (choice.format == FileFormat::automatic &&
          (choice.layout == MapLayout::matrix || looks_like_table(choice.file)));
}

std::optional<FuelMap> load_map_file(const MapFileChoice& choice, FileFacts& facts) {
  return map_reads_as_table(choice) ? load_table_map(choice, facts)
                                    : load_program_map(choice, facts);
}

struct CycleFile::State {
  CycleFileChoice choice;
  std::optional<TableReader> table;
  std::optional<PointReader> points;
  std::array<int, kRoles> column{};  // the role's column in a block, -1 without
  std::array<Unit, kRoles> unit{};
  std::vector<std::string> header;
  TableBlock block;
};

CycleFile::CycleFile(const CycleFileChoice& choice, FileFacts& facts)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.choice = choice;
  s.column.fill(-1);
  if (choice.format == FileFormat::program) {
    s.points.emplace(choice.file);
    s.header = {"speed [rpm]", "torque [Nm]"};
    facts.cycle_units = {"s", "rpm", "Nm", std::nullopt};
    facts.assumed.push_back("cycle speed");
    facts.assumed.push_back("cycle torque");
    return;
  }
  TableOptions options;
  options.keep_cells = choice.keep_cells;
  s.table.emplace(choice.file, options);
  const std::vector<TableColumn>& all = s.table->file_columns();
  for (const TableColumn& c : all) s.header.push_back(c.header);

  // Each role's 0-based header column: the option's, else the first column
  // not yet taken whose name says it, else its place among time, speed, torque.
  const std::array<const std::string*, kRoles> given = {&choice.time, &choice.speed, &choice.torque,
                                                        &choice.vehicle_speed, &choice.phase};
  std::array<std::optional<std::size_t>, kRoles> at{};
  for (int role = 0; role < kRoles; ++role) {
    if (given[role]->empty()) continue;
    s.table->choose_columns({column_choice(*given[role])});
    at[role] = s.table->columns()[0].position - 1;
  }
  const auto taken = [&](std::size_t i) {
    return std::any_of(at.begin(), at.end(), [&](const auto& a) { return a && *a == i; });
  };
  for (int role = kTime; role <= kTorque; ++role) {
    if (at[role] || (role == kTime && choice.step)) continue;
    for (std::size_t i = 0; i < all.size() && !at[role]; ++i)
      if (!taken(i) && names_role(role, all[i].name)) at[role] = i;
  }
  const std::size_t first = choice.step ? 1 : 0;
  for (int role = kTime; role <= kTorque; ++role)
    if (!at[role] && !(role == kTime && choice.step))
      at[role] = static_cast<std::size_t>(role) - first;
  static constexpr std::array<const char*, kRoles> kNames = {"time", "speed", "torque",
                                                             "vehicle speed", "phase"};
  std::vector<ColumnChoice> columns, texts;
  for (int role = 0; role < kRoles; ++role) {
    if (!at[role]) continue;
    for (int other = 0; other < role; ++other)
      if (at[other] == at[role])
        throw Error(ErrorKind::invalid_argument,
                    choice.file + ": the " + kNames[other] + " and the " + kNames[role] +
                        " would both be column " + std::to_string(*at[role] + 1) +
                        "; name the columns");
    s.column[role] = static_cast<int>(columns.size());
    columns.push_back(ColumnChoice::at(*at[role] + 1));
    if (role == kPhase) texts.push_back(columns.back());
  }
  s.table->choose_columns(columns, texts);

  static constexpr std::array<Quantity, 4> kQuantities = {
      Quantity::time, Quantity::speed, Quantity::torque, Quantity::vehicle_speed};
  const std::array<const std::string*, 4> unit_options = {
      &choice.time_unit, &choice.speed_unit, &choice.torque_unit, &choice.vehicle_speed_unit};
  for (int role = 0; role < kPhase; ++role) {
    const bool step_time = role == kTime && choice.step;
    if (s.column[role] < 0 && !step_time) continue;
    const std::string file_unit =
        s.column[role] < 0 ? "" : s.table->columns()[static_cast<std::size_t>(s.column[role])].unit;
    // The step is in seconds unless a time unit is given.
    s.unit[role] = step_time && choice.time_unit.empty()
                       ? base_unit(Quantity::time)
                       : unit_of(kQuantities[role], *unit_options[role], file_unit, choice.file,
                                 std::string("cycle ") + kNames[role], facts);
  }
  facts.cycle_units.time = unit_name(s.unit[kTime]);
  facts.cycle_units.speed = unit_name(s.unit[kSpeed]);
  facts.cycle_units.torque = unit_name(s.unit[kTorque]);
  if (s.column[kVehicleSpeed] >= 0)
    facts.cycle_units.vehicle_speed = unit_name(s.unit[kVehicleSpeed]);
}

CycleFile::~CycleFile() = default;

const std::vector<std::string>& CycleFile::header_cells() const { return state_->header; }

std::size_t CycleFile::width() const { return state_->header.size(); }

// The step's time unit, for the caller's step.
std::size_t CycleFile::read(CycleRecords& r, std::size_t max) {
  State& s = *state_;
  if (s.points) {
    r.speed.resize(max);
    r.torque.resize(max);
    r.count = s.points->read(r.speed, r.torque);
    r.speed.resize(r.count);
    r.torque.resize(r.count);
    if (s.choice.keep_cells) {
      r.cells.clear();
      for (std::size_t i = 0; i < r.count; ++i) {
        r.cells.push_back(number_text(r.speed[i]));
        r.cells.push_back(number_text(r.torque[i]));
      }
    }
    return r.count;
  }
  r.count = s.table->read(s.block, max);
  const auto take = [&](int role, std::vector<double>& out) {
    if (s.column[role] < 0) return out.clear();
    out.swap(s.block.numbers[static_cast<std::size_t>(s.column[role])]);
    to_base(s.unit[role], out);
  };
  take(kTime, r.time);
  take(kSpeed, r.speed);
  take(kTorque, r.torque);
  take(kVehicleSpeed, r.vehicle_speed);
  if (s.column[kPhase] >= 0)
    r.phase.swap(s.block.texts[static_cast<std::size_t>(s.column[kPhase])]);
  r.line.swap(s.block.lines);
  r.cells.swap(s.block.cells);
  return r.count;
}

}  // namespace fuelcalc
