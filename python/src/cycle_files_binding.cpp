// The files of a run over a cycle for Python, by the rules fuelcalc-cycle
// reads them with: the map (the program's format or a table) and the cycle,
// a block of records at a time in s, rpm, Nm and km/h.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "arrays.h"
#include "bindings.h"
#include "errors.h"
#include "fields.h"
#include "fuelcalc/cycle_files.hpp"
#include "instances.h"
#include "options.h"

namespace fuelcalc_python {

namespace {

using namespace pybind11::literals;

// {"map": FuelMap or None, "units": {...}, "assumed": [...], "findings": [...]}.
py::dict load_map_file(py::handle file, const std::string& format, const std::string& layout,
                       const std::string& speed, const std::string& torque, const std::string& fuel,
                       const std::string& speed_unit, const std::string& torque_unit,
                       const std::string& fuel_unit, const std::string& method,
                       const std::string& outside) {
  fuelcalc::MapFileChoice choice;
  choice.file = to_path(file).string();
  choice.format = parse_format(format, true);
  choice.layout = parse_layout(layout);
  choice.speed = speed;
  choice.torque = torque;
  choice.fuel = fuel;
  choice.speed_unit = speed_unit;
  choice.torque_unit = torque_unit;
  choice.fuel_unit = fuel_unit;
  choice.method = parse_method(method);
  choice.outside = parse_outside(outside);
  fuelcalc::FileFacts facts;
  std::optional<fuelcalc::FuelMap> map = naming_file(file, [&] {
    py::gil_scoped_release release;
    return fuelcalc::load_map_file(choice, facts);
  });
  return py::dict("map"_a = map ? py::cast(std::move(*map)) : py::object(py::none()),
                  "units"_a = dict_of(facts.map_units), "assumed"_a = facts.assumed,
                  "findings"_a = python_value(facts.findings));
}

struct CycleFile {
  std::optional<fuelcalc::CycleFile> file;
  fuelcalc::FileFacts facts;
  bool time = false;  // the records carry a time (no step)
  bool phases = false;
  bool vehicle_speed = false;
  fuelcalc::CycleRecords records;
};

std::unique_ptr<CycleFile> open_cycle(py::handle file, const std::string& format,
                                      const std::string& time, const std::string& speed,
                                      const std::string& torque, const std::string& vehicle_speed,
                                      const std::string& phase, const std::string& time_unit,
                                      const std::string& speed_unit, const std::string& torque_unit,
                                      const std::string& vehicle_speed_unit, bool step) {
  fuelcalc::CycleFileChoice choice;
  choice.file = to_path(file).string();
  choice.format = parse_format(format, false);
  choice.time = time;
  choice.speed = speed;
  choice.torque = torque;
  choice.vehicle_speed = vehicle_speed;
  choice.phase = phase;
  choice.time_unit = time_unit;
  choice.speed_unit = speed_unit;
  choice.torque_unit = torque_unit;
  choice.vehicle_speed_unit = vehicle_speed_unit;
  choice.step = step;
  auto out = std::make_unique<CycleFile>();
  out->time = !step;
  out->phases = !phase.empty();
  out->vehicle_speed = !vehicle_speed.empty();
  naming_file(file, [&] {
    py::gil_scoped_release release;
    out->file.emplace(choice, out->facts);
  });
  return out;
}

py::array_t<double> array_of(std::vector<double>& values) {
  py::array_t<double> out(static_cast<py::ssize_t>(values.size()));
  std::copy(values.begin(), values.end(), out.mutable_data());
  return out;
}

// Up to count records: {"time", "speed", "torque", "vehicle_speed", "phase",
// "line"}, None for a column the cycle does not have; empty arrays at the end.
py::dict read_block(CycleFile& cycle, std::size_t count) {
  if (count == 0) throw py::value_error("count must be above 0");
  fuelcalc::CycleRecords& r = cycle.records;
  {
    py::gil_scoped_release release;
    cycle.file->read(r, count);
  }
  const auto optional_array = [](std::vector<double>& values, bool present) {
    return present ? py::object(array_of(values)) : py::object(py::none());
  };
  py::object phase = py::none();
  if (cycle.phases) {
    py::list labels(r.count);
    for (std::size_t i = 0; i < r.count; ++i) labels[i] = py::str(r.phase[i]);
    phase = py::module_::import("numpy").attr("array")(labels, "dtype"_a = "object");
  }
  return py::dict("time"_a = optional_array(r.time, cycle.time), "speed"_a = array_of(r.speed),
                  "torque"_a = array_of(r.torque),
                  "vehicle_speed"_a = optional_array(r.vehicle_speed, cycle.vehicle_speed),
                  "phase"_a = phase,
                  "line"_a = r.line.empty() ? py::object(py::none()) : py::cast(r.line));
}

py::dict cycle_units(const CycleFile& cycle) { return dict_of(cycle.facts.cycle_units); }

// The results' checks of a cycle read a block at a time: each block's
// points, the fuel values and classes (int8, as FuelMap.where) the totals
// gave them, and their lines.
using Codes = py::array_t<std::int8_t, py::array::c_style | py::array::forcecast>;

void add_results(fuelcalc::CycleResultChecks& checks, py::handle speed, py::handle torque,
                 py::handle fuel, const Codes& where, const std::vector<std::size_t>& line) {
  const Doubles s = as_doubles(speed, "speed"), t = as_doubles(torque, "torque"),
                f = as_doubles(fuel, "fuel");
  std::vector<fuelcalc::Where> classes(static_cast<std::size_t>(where.size()));
  for (std::size_t i = 0; i < classes.size(); ++i) {
    const std::int8_t code = where.data()[i];
    if (code < 0 || static_cast<std::size_t>(code) >= fuelcalc::kWhereClasses)
      throw py::value_error("where holds a class code " + std::to_string(code));
    classes[i] = static_cast<fuelcalc::Where>(code);
  }
  py::gil_scoped_release release;
  checks.add({{}, elements(s), elements(t), elements(f), classes, {}, {}, line});
}

}  // namespace

void bind_cycle_files(py::module_& module) {
  module.def("_load_map_file", &load_map_file, "file"_a, py::kw_only(), "format"_a = "auto",
             "layout"_a = "points", "speed"_a = "", "torque"_a = "", "fuel"_a = "",
             "speed_unit"_a = "", "torque_unit"_a = "", "fuel_unit"_a = "", "method"_a = "direct",
             "outside"_a = "bounded",
             "The map of a run over a cycle, as fuelcalc-cycle loads it (its --map-* "
             "options; empty strings: not given).");
  module.def(
      "_map_reads_as_table",
      [](py::handle file, const std::string& format, const std::string& layout) {
        fuelcalc::MapFileChoice choice;
        choice.file = to_path(file).string();
        choice.format = parse_format(format, true);
        choice.layout = parse_layout(layout);
        return fuelcalc::map_reads_as_table(choice);
      },
      "file"_a, "format"_a = "auto", "layout"_a = "points",
      "Whether fuelcalc-cycle reads the map as a table.");
  module.def(
      "_cycle_looks_like_table",
      [](py::handle file) { return fuelcalc::cycle_looks_like_table(to_path(file).string()); },
      "file"_a, "Whether a cycle file reads as a table rather than in the program's input format.");
  py::class_<CycleFile>(module, "_CycleFile",
                        "The cycle of a run, read as fuelcalc-cycle reads it (its column, unit "
                        "and format options; empty strings: not given).")
      .def(py::init(&open_cycle), "file"_a, py::kw_only(), "format"_a = "table", "time"_a = "",
           "speed"_a = "", "torque"_a = "", "vehicle_speed"_a = "", "phase"_a = "",
           "time_unit"_a = "", "speed_unit"_a = "", "torque_unit"_a = "",
           "vehicle_speed_unit"_a = "", "step"_a = false)
      .def(
          "read",
          [](py::handle self, std::size_t count) {
            return read_block(built<CycleFile>(self), count);
          },
          "count"_a)
      .def_property_readonly("units", method(&cycle_units))
      .def_property_readonly("assumed",
                             [](py::handle self) { return built<CycleFile>(self).facts.assumed; })
      .def("__reduce__", &not_picklable);
  py::class_<fuelcalc::CycleResultChecks>(
      module, "_CycleResultChecks",
      "fuelcalc-cycle's checks on the results of a run over a cycle, fed its blocks.")
      .def(py::init([](const fuelcalc::FuelMap& map, py::handle file) {
             return fuelcalc::CycleResultChecks(map, to_path(file).string());
           }),
           "map"_a, "file"_a)
      .def(
          "add",
          [](py::handle self, py::handle speed, py::handle torque, py::handle fuel,
             const Codes& where, const std::vector<std::size_t>& line) {
            add_results(built<fuelcalc::CycleResultChecks>(self), speed, torque, fuel, where, line);
          },
          "speed"_a, "torque"_a, "fuel"_a, "where"_a, "line"_a)
      .def("findings",
           [](py::handle self) {
             return python_value(built<fuelcalc::CycleResultChecks>(self).findings());
           })
      .def("__reduce__", &not_picklable);
}

}  // namespace fuelcalc_python
