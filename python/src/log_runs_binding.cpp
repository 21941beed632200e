// One partition of a fleet's logs in one call (fuelcalc.dask): the table
// reader's rows a block at a time, in the base units, evaluated over the
// map and added to each vehicle's partial totals, with the GIL released.
// Only the partial totals come back, never the records.
//
// The outcome is that of reading the whole partition first, then
// converting its units, then totalling each vehicle in the order of its
// first record, as fuelcalc.dask does for any frame: a bad line anywhere
// wins over a bad unit, which wins over the first vehicle's fault (a time
// that does not rise, a point the map refuses).
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bindings.h"
#include "cycle_options.h"
#include "errors.h"
#include "file_blocks.h"
#include "fuelcalc/cycle.hpp"
#include "fuelcalc/error.hpp"
#include "fuelcalc/units.hpp"
#include "table_options.h"

namespace fuelcalc_python {

namespace {

using namespace pybind11::literals;
using fuelcalc::Quantity;

// Rows read, evaluated and totalled at a time: a block's columns, values and
// classes (under 200 kB) stay in the processor's cache from the reading to
// the totals, and are reused from the heap rather than mapped afresh.
constexpr std::size_t kBlockRows = 4096;

// The roles in the order of the columns read; vehicle_speed is optional.
constexpr Quantity kRoles[] = {Quantity::time, Quantity::speed, Quantity::torque,
                               Quantity::vehicle_speed};
constexpr const char* kRoleNames[] = {"time", "speed", "torque", "vehicle_speed"};

struct VehicleRun {
  VehicleRun(std::string vehicle, const fuelcalc::CycleOptions& options)
      : name(std::move(vehicle)), totals(options) {}
  std::string name;
  fuelcalc::CycleAccumulator totals;
  double first_time = 0.0, last_time = 0.0;
  std::size_t first_line = 0, last_line = 0;
  std::exception_ptr fault;  // the first Error of its records; none added after it
};

class Runs {
 public:
  explicit Runs(const fuelcalc::CycleOptions& options) : options_(options) {}

  // The vehicle's run, a new one after the others for a name not seen yet.
  VehicleRun& of(std::string_view name) {
    if (last_ < runs_.size() && runs_[last_].name == name) return runs_[last_];
    auto [at, added] = index_.try_emplace(std::string(name), runs_.size());
    if (added) runs_.emplace_back(std::string(name), options_);
    return runs_[last_ = at->second];
  }
  std::vector<VehicleRun>& all() { return runs_; }

 private:
  fuelcalc::CycleOptions options_;
  std::vector<VehicleRun> runs_;  // in the order of their first record
  std::unordered_map<std::string, std::size_t> index_;
  std::size_t last_ = 0;  // the run of the record before, if any
};

// Records [a, b) of the block, all of one vehicle, added to its run.
void add_records(const fuelcalc::FuelMap& map, VehicleRun& run, const fuelcalc::TableBlock& rows,
                 std::size_t a, std::size_t b, bool vehicle_speed, std::vector<double>& fuel,
                 std::vector<fuelcalc::Where>& where) {
  if (run.fault) return;
  const std::size_t n = b - a;
  const auto column = [&](std::size_t k) {
    return std::span<const double>(rows.numbers[k]).subspan(a, n);
  };
  const std::span<double> values = std::span(fuel).subspan(a, n);
  const std::span<fuelcalc::Where> classes = std::span(where).subspan(a, n);
  try {
    try {
      fuelcalc::evaluate_records(map, column(1), column(2), values, classes);
    } catch (fuelcalc::Error& error) {
      // Its index among the vehicle's records of the partition.
      if (error.index()) error.with_index(run.totals.records() + *error.index());
      throw;
    }
    const std::span<const double> none;
    run.totals.add({column(0),
                    column(1),
                    column(2),
                    values,
                    classes,
                    vehicle_speed ? column(3) : none,
                    {},
                    std::span<const std::size_t>(rows.lines).subspan(a, n)});
  } catch (const fuelcalc::Error&) {
    run.fault = std::current_exception();
    return;
  }
  if (run.totals.records() == n) {
    run.first_time = rows.numbers[0][a];
    run.first_line = rows.lines[a];
  }
  run.last_time = rows.numbers[0][b - 1];
  run.last_line = rows.lines[b - 1];
}

// The partition's runs: per vehicle, in the order of its first record, its
// name, first and last time and line, and partial totals as words; or the
// fault of the first vehicle that has one, as (line, message) for a time
// that does not rise. Raises what reading the partition raises, ValueError
// "FILE: ROLE column: ..." for a unit the reader does not know, and the
// map's error for a point its policy refuses.
py::dict log_runs(const fuelcalc::FuelMap& map, py::handle file, const std::vector<Choice>& columns,
                  const std::optional<Choice>& vehicle,
                  const std::vector<std::optional<std::string>>& units, const std::string& name,
                  const std::optional<std::string>& delimiter, bool allow_empty,
                  const std::optional<std::tuple<std::uint64_t, std::uint64_t, std::size_t>>& block,
                  bool vehicle_speed, double max_gap, const std::string& fuel,
                  std::optional<double> density, std::optional<double> co2_factor) {
  const std::size_t roles = columns.size();
  if (roles < 3 || roles > 4 || units.size() != roles)
    throw py::value_error("give the time, speed, torque and optionally vehicle_speed columns");
  if (vehicle_speed && roles < 4) throw py::value_error("no vehicle_speed column to total");
  fuelcalc::TableOptions table;
  table.columns = choices_of(columns);
  if (vehicle) {
    table.columns.push_back(choice_of(*vehicle));
    table.text_columns.push_back(choice_of(*vehicle));
  }
  table.delimiter = delimiter_of(delimiter);
  table.allow_no_rows = allow_empty;
  fuelcalc::CycleOptions options =
      options_of(std::nullopt, max_gap, fuel, density, co2_factor, vehicle_speed, false);
  options.open_start = true;
  const auto path = to_path(file);
  std::optional<BlockRange> range;
  if (block) range = BlockRange{std::get<0>(*block), std::get<1>(*block), std::get<2>(*block)};

  Runs runs(options);
  std::optional<std::string> unit_fault;
  naming_file(file, [&] {
    py::gil_scoped_release release;
    fuelcalc::TableReader reader = block_reader(path, table, range);
    std::vector<fuelcalc::Unit> unit(roles);
    std::vector<bool> convert(roles, false);
    for (std::size_t k = 0; k < roles && !unit_fault; ++k) {
      const std::string text =
          units[k] && !units[k]->empty() ? *units[k] : reader.columns()[k].unit;
      if (text.empty()) continue;
      try {
        unit[k] = fuelcalc::parse_unit(kRoles[k], text);
        convert[k] = true;
      } catch (const fuelcalc::Error& error) {
        unit_fault = std::string(kRoleNames[k]) + " column: " + error.what();
      }
    }
    fuelcalc::TableBlock rows;
    std::vector<double> values;
    std::vector<fuelcalc::Where> where;
    while (const std::size_t n = reader.read(rows, kBlockRows)) {
      if (unit_fault) continue;  // read on: a bad line further on is the fault
      for (std::size_t k = 0; k < roles; ++k)
        if (convert[k]) fuelcalc::to_base(unit[k], rows.numbers[k]);
      values.resize(n);
      where.resize(n);
      for (std::size_t a = 0; a < n;) {
        std::size_t b = n;
        std::string_view id = name;
        if (vehicle) {
          const std::vector<std::string>& ids = rows.texts[roles];
          id = ids[a];
          for (b = a + 1; b < n && ids[b] == ids[a];) ++b;
        }
        add_records(map, runs.of(id), rows, a, b, vehicle_speed, values, where);
        a = b;
      }
    }
  });
  if (unit_fault) {
    const auto text = py::str(py::module_::import("os").attr("fspath")(file)).cast<std::string>();
    throw py::value_error(text + ": " + *unit_fault);
  }
  py::list found;
  for (VehicleRun& run : runs.all()) {
    if (run.fault) {
      try {
        std::rethrow_exception(run.fault);
      } catch (const fuelcalc::Error& error) {
        if (error.kind() != fuelcalc::ErrorKind::read || !error.line()) throw;
        return py::dict("runs"_a = py::list(),
                        "fault"_a = py::make_tuple(*error.line(), std::string(error.what())));
      }
    }
    const std::vector<std::int64_t> words = run.totals.words();
    found.append(py::make_tuple(run.name, run.first_time, run.last_time, run.first_line,
                                run.last_line,
                                py::bytes(reinterpret_cast<const char*>(words.data()),
                                          words.size() * sizeof(std::int64_t))));
  }
  return py::dict("runs"_a = found, "fault"_a = py::none());
}

}  // namespace

void bind_log_runs(py::module_& module) {
  module.def("_log_runs", &log_runs, "m"_a, "file"_a, py::kw_only(), "columns"_a,
             "vehicle"_a = py::none(), "units"_a, "name"_a = "", "delimiter"_a = py::none(),
             "allow_empty"_a = false, "block"_a = py::none(), "vehicle_speed"_a = false,
             "max_gap"_a = 60.0, "fuel"_a = "diesel", "density"_a = py::none(),
             "co2_factor"_a = py::none(),
             "A partition of a fleet's logs read, evaluated and totalled per vehicle in one "
             "call: the runs of _cycle_run, each with its name, first and last time and line "
             "(fuelcalc.dask).");
}

}  // namespace fuelcalc_python
