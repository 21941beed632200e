// fuelcalc.cycle_totals, fuelcalc.CycleTotals and fuelcalc.exact_sum: the
// library's totals over a cycle (whole, or fed a block at a time) and its
// exact sum, computed with the GIL released.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arrays.h"
#include "bindings.h"
#include "cycle_options.h"
#include "fields.h"
#include "fuelcalc/cycle.hpp"
#include "fuelcalc/exact_sum.hpp"
#include "fuelcalc/version.hpp"
#include "instances.h"
#include "options.h"

namespace fuelcalc_python {

fuelcalc::CycleOptions options_of(std::optional<double> step, double max_gap,
                                  const std::string& fuel, std::optional<double> density,
                                  std::optional<double> co2_factor, bool vehicle_speed,
                                  bool phases) {
  fuelcalc::CycleOptions options;
  options.step = step;
  options.max_gap = max_gap;
  options.fuel = fuelcalc::fuel_properties(fuel);
  if (density) options.fuel.density_kg_per_l = *density;
  if (co2_factor) options.fuel.co2_g_per_g = *co2_factor;
  options.vehicle_speed = vehicle_speed;
  options.phases = phases;
  return options;
}

namespace {

using namespace pybind11::literals;

std::size_t length_of(const Doubles& array, const char* name, std::size_t n) {
  const auto size = static_cast<std::size_t>(array.size());
  if (size != n)
    throw py::value_error(std::string(name) + " holds " + std::to_string(size) + " values, speed " +
                          std::to_string(n));
  return size;
}

// The phase labels, one per record of n.
std::vector<std::string> labels_of(py::handle phase, std::size_t n) {
  std::vector<std::string> labels;
  for (py::handle p : phase) labels.push_back(py::str(p).cast<std::string>());
  if (labels.size() != n)
    throw py::value_error("phase holds " + std::to_string(labels.size()) + " values, speed " +
                          std::to_string(n));
  return labels;
}

// fuelcalc-cycle --json's document without the files and findings.
py::dict result_dict(const fuelcalc::FuelMap& map, const fuelcalc::CycleOptions& options,
                     const fuelcalc::CycleResult& result) {
  py::dict d;
  d["version"] = std::string(fuelcalc::version());
  d["format"] = 1;
  d["map"] = py::none();
  d["cycle"] = py::none();
  d["method"] = method_name(map);
  d["outside"] = outside_name(map);
  fuelcalc::CycleUnitNames cycle_units;
  if (options.vehicle_speed) cycle_units.vehicle_speed = "km/h";
  d["units"] = py::dict("map"_a = dict_of(fuelcalc::MapUnitNames{}),
                        "cycle"_a = dict_of(cycle_units), "assumed"_a = py::list());
  for_each_field(result, DictFields{d});
  return d;
}

py::dict cycle_totals(const fuelcalc::FuelMap& map, py::handle time, py::handle speed,
                      py::handle torque, py::handle vehicle_speed, py::handle phase,
                      std::optional<double> step, double max_gap, const std::string& fuel,
                      std::optional<double> density, std::optional<double> co2_factor) {
  const fuelcalc::CycleOptions options = options_of(step, max_gap, fuel, density, co2_factor,
                                                    !vehicle_speed.is_none(), !phase.is_none());
  if (time.is_none() == !step)
    throw py::value_error("give either time or step, not both or neither");

  const Doubles s = as_doubles(speed, "speed");
  const std::size_t n = static_cast<std::size_t>(s.size());
  const Doubles t = as_doubles(torque, "torque");
  length_of(t, "torque", n);
  Doubles times, vehicle;
  if (!step) length_of(times = as_doubles(time, "time"), "time", n);
  if (options.vehicle_speed)
    length_of(vehicle = as_doubles(vehicle_speed, "vehicle_speed"), "vehicle_speed", n);
  const std::vector<std::string> phases =
      options.phases ? labels_of(phase, n) : std::vector<std::string>();

  fuelcalc::CycleResult result;
  {
    py::gil_scoped_release release;
    std::vector<double> values(n);
    std::vector<fuelcalc::Where> where(n);
    fuelcalc::evaluate_records(map, elements(s), elements(t), values, where);
    const std::vector<std::string_view> views(phases.begin(), phases.end());
    const std::span<const double> none;
    result = fuelcalc::cycle_totals({step ? none : elements(times),
                                     elements(s),
                                     elements(t),
                                     values,
                                     where,
                                     options.vehicle_speed ? elements(vehicle) : none,
                                     views,
                                     {}},
                                    options);
  }
  return result_dict(map, options, result);
}

// One run of a longer cycle: its partial totals as the accumulator's words
// (bytes), for _cycle_merge to append to the runs before it.
py::bytes cycle_run(const fuelcalc::FuelMap& map, py::handle time, py::handle speed,
                    py::handle torque, py::handle vehicle_speed, double max_gap,
                    const std::string& fuel, std::optional<double> density,
                    std::optional<double> co2_factor) {
  fuelcalc::CycleOptions options =
      options_of(std::nullopt, max_gap, fuel, density, co2_factor, !vehicle_speed.is_none(), false);
  options.open_start = true;
  const Doubles s = as_doubles(speed, "speed");
  const std::size_t n = static_cast<std::size_t>(s.size());
  const Doubles t = as_doubles(torque, "torque");
  length_of(t, "torque", n);
  const Doubles times = as_doubles(time, "time");
  length_of(times, "time", n);
  Doubles vehicle;
  if (options.vehicle_speed)
    length_of(vehicle = as_doubles(vehicle_speed, "vehicle_speed"), "vehicle_speed", n);
  std::vector<std::int64_t> words;
  {
    py::gil_scoped_release release;
    std::vector<double> values(n);
    std::vector<fuelcalc::Where> where(n);
    fuelcalc::evaluate_records(map, elements(s), elements(t), values, where);
    fuelcalc::CycleAccumulator accumulator(options);
    const std::span<const double> none;
    accumulator.add({elements(times),
                     elements(s),
                     elements(t),
                     values,
                     where,
                     options.vehicle_speed ? elements(vehicle) : none,
                     {},
                     {}});
    words = accumulator.words();
  }
  return py::bytes(reinterpret_cast<const char*>(words.data()),
                   words.size() * sizeof(std::int64_t));
}

// The totals of runs in time order, each appended to those before it.
py::dict cycle_merge(const fuelcalc::FuelMap& map, const std::vector<py::bytes>& runs,
                     bool vehicle_speed, double max_gap, const std::string& fuel,
                     std::optional<double> density, std::optional<double> co2_factor) {
  fuelcalc::CycleOptions options =
      options_of(std::nullopt, max_gap, fuel, density, co2_factor, vehicle_speed, false);
  fuelcalc::CycleAccumulator total(options);
  options.open_start = true;
  for (const py::bytes& run : runs) {
    const std::string_view bytes(run);
    if (bytes.size() % sizeof(std::int64_t) != 0)
      throw py::value_error("a run's state is a whole number of 8-byte words");
    std::vector<std::int64_t> words(bytes.size() / sizeof(std::int64_t));
    std::memcpy(words.data(), bytes.data(), bytes.size());
    total.append(fuelcalc::CycleAccumulator::from_words(options, words));
  }
  return result_dict(map, options, total.result());
}

// fuelcalc.CycleTotals: the totals of a cycle fed a block of records at a
// time, so that a cycle of any length takes the memory of one block.
struct CycleTotals {
  fuelcalc::FuelMap map;
  fuelcalc::CycleOptions options;
  fuelcalc::CycleAccumulator accumulator;
};

CycleTotals make_totals(const fuelcalc::FuelMap& map, std::optional<double> step, double max_gap,
                        const std::string& fuel, std::optional<double> density,
                        std::optional<double> co2_factor, bool vehicle_speed, bool phases) {
  fuelcalc::CycleOptions options =
      options_of(step, max_gap, fuel, density, co2_factor, vehicle_speed, phases);
  fuelcalc::CycleAccumulator accumulator(options);
  return {map, std::move(options), std::move(accumulator)};
}

// The block's fuel values (g/h, NaN for none) and classes (int8, as
// FuelMap.where), after adding it to the totals.
py::tuple add_block(CycleTotals& totals, py::handle speed, py::handle torque, py::handle time,
                    py::handle vehicle_speed, py::handle phase, py::handle line) {
  const fuelcalc::CycleOptions& options = totals.options;
  if (time.is_none() == !options.step)
    throw py::value_error(options.step ? "the totals count time by their step: give no time"
                                       : "the totals need each record's time");
  if (vehicle_speed.is_none() == options.vehicle_speed)
    throw py::value_error(options.vehicle_speed ? "the totals need each record's vehicle_speed"
                                                : "the totals were made without vehicle_speed");
  if (phase.is_none() == options.phases)
    throw py::value_error(options.phases ? "the totals need each record's phase"
                                         : "the totals were made without phases");
  const Doubles s = as_doubles(speed, "speed");
  const std::size_t n = static_cast<std::size_t>(s.size());
  const Doubles t = as_doubles(torque, "torque");
  length_of(t, "torque", n);
  Doubles times, vehicle;
  if (!options.step) length_of(times = as_doubles(time, "time"), "time", n);
  if (options.vehicle_speed)
    length_of(vehicle = as_doubles(vehicle_speed, "vehicle_speed"), "vehicle_speed", n);
  const std::vector<std::string> phases =
      options.phases ? labels_of(phase, n) : std::vector<std::string>();
  std::vector<std::size_t> lines;
  if (!line.is_none()) {
    lines = line.cast<std::vector<std::size_t>>();
    if (lines.size() != n)
      throw py::value_error("line holds " + std::to_string(lines.size()) + " values, speed " +
                            std::to_string(n));
  }
  py::array_t<double> fuel(static_cast<py::ssize_t>(n));
  py::array_t<std::int8_t> where(static_cast<py::ssize_t>(n));
  {
    py::gil_scoped_release release;
    std::vector<fuelcalc::Where> classes(n);
    const std::span<double> values(fuel.mutable_data(), n);
    try {
      fuelcalc::evaluate_records(totals.map, elements(s), elements(t), values, classes);
    } catch (fuelcalc::Error& error) {
      if (error.index() && !lines.empty()) error.with_line(lines[*error.index()]);
      throw;
    }
    const std::vector<std::string_view> views(phases.begin(), phases.end());
    const std::span<const double> none;
    totals.accumulator.add({options.step ? none : elements(times), elements(s), elements(t), values,
                            classes, options.vehicle_speed ? elements(vehicle) : none, views,
                            lines});
    std::int8_t* codes = where.mutable_data();
    for (std::size_t i = 0; i < n; ++i) codes[i] = static_cast<std::int8_t>(classes[i]);
  }
  return py::make_tuple(fuel, where);
}

py::dict totals_result(const CycleTotals& totals) {
  return result_dict(totals.map, totals.options, totals.accumulator.result());
}

double exact_sum(py::handle values) {
  const Doubles array = as_doubles(values, "values");
  py::gil_scoped_release release;
  fuelcalc::ExactSum sum;
  for (double v : elements(array)) sum.add(v);
  return sum.value();
}

}  // namespace

void bind_cycle(py::module_& module) {
  module.def("cycle_totals", &cycle_totals, "m"_a, py::kw_only(), "time"_a = py::none(), "speed"_a,
             "torque"_a, "vehicle_speed"_a = py::none(), "phase"_a = py::none(),
             "step"_a = py::none(), "max_gap"_a = 60.0, "fuel"_a = "diesel",
             "density"_a = py::none(), "co2_factor"_a = py::none(),
             R"(Totals of a cycle over the map m, as fuelcalc-cycle --json gives them
(the same keys, without findings): time in s (or step, seconds between
records), speed in rpm, torque in Nm, vehicle_speed in km/h, phase a
sequence of labels. Raises ReadError at a time that does not rise, with the
record's index.)");
  module.def("_cycle_run", &cycle_run, "m"_a, py::kw_only(), "time"_a, "speed"_a, "torque"_a,
             "vehicle_speed"_a = py::none(), "max_gap"_a = 60.0, "fuel"_a = "diesel",
             "density"_a = py::none(), "co2_factor"_a = py::none(),
             "One run of a longer cycle: its partial totals as bytes (fuelcalc.dask).");
  module.def("_cycle_merge", &cycle_merge, "m"_a, "runs"_a, py::kw_only(),
             "vehicle_speed"_a = false, "max_gap"_a = 60.0, "fuel"_a = "diesel",
             "density"_a = py::none(), "co2_factor"_a = py::none(),
             "The totals of runs of _cycle_run, in time order (fuelcalc.dask).");
  py::class_<CycleTotals>(module, "CycleTotals",
                          R"(The totals of a cycle over the map m fed a block of records at a time,
in order: the numbers of cycle_totals over all the records, in the memory
of one block. step: seconds between records (then add() takes no time);
vehicle_speed, phases: whether add() takes those columns.)")
      .def(py::init(&make_totals), "m"_a, py::kw_only(), "step"_a = py::none(), "max_gap"_a = 60.0,
           "fuel"_a = "diesel", "density"_a = py::none(), "co2_factor"_a = py::none(),
           "vehicle_speed"_a = false, "phases"_a = false)
      .def(
          "add",
          [](py::handle self, py::handle speed, py::handle torque, py::handle time,
             py::handle vehicle_speed, py::handle phase, py::handle line) {
            return add_block(built<CycleTotals>(self), speed, torque, time, vehicle_speed, phase,
                             line);
          },
          "speed"_a, "torque"_a, py::kw_only(), "time"_a = py::none(),
          "vehicle_speed"_a = py::none(), "phase"_a = py::none(), "line"_a = py::none(),
          R"(Adds the next records (time in s, speed in rpm, torque in Nm,
vehicle_speed in km/h, phase labels; line: each record's file line, for
errors) and returns their fuel values (g/h, NaN for none) and classes (as
FuelMap.where). Raises ReadError at a time that does not rise, after the
records before it; FuelMapError for a point the map's policy refuses.)")
      .def("result", method(&totals_result),
           "The totals of the records added so far, as cycle_totals returns them.")
      .def("__reduce__", &not_picklable);
  py::list where_names;
  for (std::size_t c = 0; c < fuelcalc::kWhereClasses; ++c)
    where_names.append(std::string(fuelcalc::where_name(static_cast<fuelcalc::Where>(c))));
  module.attr("WHERE_NAMES") = py::tuple(where_names);
  module.def("exact_sum", &exact_sum, "values"_a,
             R"(The exact sum of the values rounded once to the nearest float, as
math.fsum gives it: the same bits whatever their order.)");
}

}  // namespace fuelcalc_python
