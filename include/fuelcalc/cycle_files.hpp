#pragma once
// The two files of a run over a cycle: the map, in the program's format or
// as a table, and the cycle, a table or the program's input format, read a
// block of records at a time in the library's base units. fuelcalc-cycle
// and the Python report read their files by these rules.
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuelcalc/check.hpp"
#include "fuelcalc/cycle.hpp"
#include "fuelcalc/export.hpp"
#include "fuelcalc/fuel_map.hpp"
#include "fuelcalc/map_table.hpp"

namespace fuelcalc {

enum class FileFormat { automatic, program, table };

// "auto", "program", "table", as fuel_map.hpp's names of the methods.
FUELCALC_API std::string_view to_string(FileFormat format);
FUELCALC_API std::span<const std::string_view> file_format_names();
FUELCALC_API std::optional<FileFormat> parse_file_format(std::string_view name);

struct MapFileChoice {
  std::string file;
  FileFormat format = FileFormat::automatic;
  MapLayout layout = MapLayout::points;
  std::string speed, torque, fuel;  // column names or 1-based positions; empty: by header words
  std::string speed_unit, torque_unit, fuel_unit;
  Method method = Method::direct;
  Outside outside = Outside::bounded;
};

// A column option: digits only is a 1-based position, anything else a name.
FUELCALC_API ColumnChoice column_choice(const std::string& option);

// Whether a map file reads as a table: its first line that is not a comment
// holds no number, and the next row only numbers. A matrix layout is always
// read as a table.
FUELCALC_API bool looks_like_table(const std::string& file);

// Whether a cycle file reads better as a table than in the program's input
// format (one header record, then speed and torque by position): its first
// line that is not a comment holds no number, and a line of units follows
// it or a column's name says time (it holds "time" or is "t").
FUELCALC_API bool cycle_looks_like_table(const std::string& file);

// The units of the files as read, by the names the units take.
struct MapUnitNames {
  std::string speed = "rpm", torque = "Nm", fuel = "g/h";
};

struct CycleUnitNames {
  std::string time = "s", speed = "rpm", torque = "Nm";
  std::optional<std::string> vehicle_speed;  // without a vehicle speed column
};

// What reading the two files found out about them.
struct FileFacts {
  MapUnitNames map_units;
  CycleUnitNames cycle_units;
  std::vector<std::string> assumed;  // "map speed", "cycle time", ... in that order
  std::vector<Finding> findings;     // the map's, then the cycle's
};

// Whether the map is read as a table: by its format, else (automatic) when
// it looks like one or its layout is a matrix.
FUELCALC_API bool map_reads_as_table(const MapFileChoice& choice);

// The map the run evaluates, with its units (and those assumed) and the
// checks' findings in facts: fuelcalc-check's map checks, on a table on the
// values read (its reader's errors standing for the checks of the program's
// record format). Empty when the checks find that the map does not build
// (the findings say why, at the lines of the points involved); throws Error
// for a table the reader refuses.
FUELCALC_API std::optional<FuelMap> load_map_file(const MapFileChoice& choice, FileFacts& facts);

struct CycleFileChoice {
  std::string file;
  FileFormat format = FileFormat::table;
  std::string time, speed, torque, vehicle_speed, phase;  // as MapFileChoice's columns
  std::string time_unit, speed_unit, torque_unit, vehicle_speed_unit;
  bool step = false;        // the time is the records' count times a step: no time column
  bool keep_cells = false;  // keep each row's cells as text (for -o)
};

// A block of records in s, rpm, Nm and km/h.
struct CycleRecords {
  std::size_t count = 0;
  std::vector<double> time, speed, torque, vehicle_speed;
  std::vector<std::string> phase;
  std::vector<std::size_t> line;   // empty for the program's format
  std::vector<std::string> cells;  // with keep_cells: row by row, width() a row
};

// The checks on the results of a run over a cycle, with fuelcalc-check's
// codes (negative-results, results-out-of-range, mostly-outside,
// far-outside, near-zero-speed, units-hint) and thresholds, over the
// records as the run evaluates them.
class FUELCALC_API CycleResultChecks {
 public:
  // Over the map the run evaluates (its method and outside policy); the
  // findings name file.
  CycleResultChecks(const FuelMap& map, const std::string& file);
  ~CycleResultChecks();
  CycleResultChecks(CycleResultChecks&&) noexcept;
  CycleResultChecks& operator=(CycleResultChecks&&) noexcept;

  // A block of records in order: speed, torque, their fuel values and
  // classes (evaluate_records) and lines; the other spans are not read.
  // Throws Error invalid_argument for spans of other lengths than speed's.
  void add(const CycleBlock& block);
  // The findings on the records added so far, in line order.
  std::vector<Finding> findings();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

class FUELCALC_API CycleFile {
 public:
  // Opens the cycle and reads its header; fills facts' cycle units and
  // those assumed. Throws Error.
  CycleFile(const CycleFileChoice& choice, FileFacts& facts);
  ~CycleFile();

  // Up to max records into records (replaced); 0 at the end. Throws
  // Error at a line in error, after the records before it.
  std::size_t read(CycleRecords& records, std::size_t max);
  // The header's cells, for -o.
  const std::vector<std::string>& header_cells() const;
  // With keep_cells, the cells of a row.
  std::size_t width() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace fuelcalc
