#pragma once
// The two files of a fuelcalc-cycle run: the map, in the program's format or
// as a table, and the cycle, a table or the program's input format, read a
// block of records at a time in the library's base units.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuelcalc/fuel_map.hpp"
#include "fuelcalc/map_table.hpp"
#include "report.h"

namespace cycle {

enum class FileFormat { automatic, program, table };

struct MapChoice {
  std::string file;
  FileFormat format = FileFormat::automatic;
  fuelcalc::MapLayout layout = fuelcalc::MapLayout::points;
  std::string speed, torque, fuel;  // column names or 1-based positions; empty: by header words
  std::string speed_unit, torque_unit, fuel_unit;
  fuelcalc::Method method = fuelcalc::Method::direct;
  fuelcalc::Outside outside = fuelcalc::Outside::bounded;
};

// A column option: digits only is a 1-based position, anything else a name.
fuelcalc::ColumnChoice column_choice(const std::string& option);

// Whether a map file reads as a table: its first line that is not a comment
// holds no number, and the next row only numbers. A matrix layout is always
// read as a table.
bool looks_like_table(const std::string& file);

// The map the run evaluates, with its units (and those assumed) and the
// checks' findings in report. Empty when the program's checks find that the
// program would not build it (the findings say why); throws fuelcalc::Error
// for a table the reader refuses.
std::optional<fuelcalc::FuelMap> load_map(const MapChoice& choice, Report& report);

struct CycleChoice {
  std::string file;
  FileFormat format = FileFormat::table;
  std::string time, speed, torque, vehicle_speed, phase;  // as MapChoice's columns
  std::string time_unit, speed_unit, torque_unit, vehicle_speed_unit;
  bool step = false;        // the time is the records' count times a step: no time column
  bool keep_cells = false;  // keep each row's cells as text (for -o)
};

// A block of records in s, rpm, Nm and km/h.
struct Records {
  std::size_t count = 0;
  std::vector<double> time, speed, torque, vehicle_speed;
  std::vector<std::string> phase;
  std::vector<std::size_t> line;  // empty for the program's format
  std::vector<std::string> cells;  // with keep_cells: row by row, width() a row
};

class CycleSource {
 public:
  // Opens the cycle and reads its header; fills report's cycle units and
  // those assumed. Throws fuelcalc::Error.
  CycleSource(const CycleChoice& choice, Report& report);
  ~CycleSource();

  // Up to max records into records (replaced); 0 at the end. Throws
  // fuelcalc::Error at a line in error, after the records before it.
  std::size_t read(Records& records, std::size_t max);
  // The header's cells, for -o.
  const std::vector<std::string>& header_cells() const;
  // With keep_cells, the cells of a row.
  std::size_t width() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace cycle
