// fuelcalc.check_map and fuelcalc.check_input: the checks fuelcalc-check
// runs, their findings and summary as the dicts of its JSON document.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "errors.h"
#include "fields.h"
#include "fuelcalc/check.hpp"
#include "instances.h"
#include "options.h"

namespace fuelcalc_python {

namespace {

using namespace pybind11::literals;

struct CheckResult {
  py::list findings;
  py::object summary = py::none();
  bool has_errors = false;
  py::object map = py::none();
  py::object grid_deviation = py::none();
};

// The thresholds of the results' findings.
struct ResultOptions {
  double outside_share;
  std::array<double, 2> result_range;
};

fuelcalc::CheckOptions parse_options(std::optional<double> speed_tolerance, double grid_tolerance,
                                     const std::string& method, const std::string& outside,
                                     const ResultOptions& results) {
  if (speed_tolerance && !(*speed_tolerance >= 0.0))
    throw py::value_error("speed_tolerance must be a number >= 0");
  if (!(grid_tolerance >= 0.0))
    throw py::value_error("grid_tolerance must be a number >= 0 (a fraction: 0.01 is 1 %)");
  fuelcalc::CheckOptions options;
  options.speed_tolerance = speed_tolerance;
  options.grid_tolerance = grid_tolerance;
  options.method = parse_method(method);
  options.outside = parse_outside(outside);
  if (!(results.outside_share >= 0.0 && results.outside_share <= 1.0))
    throw py::value_error("outside_share must be a number from 0 to 1");
  const auto [low, high] = results.result_range;
  if (!(std::isfinite(low) && std::isfinite(high) && low < high))
    throw py::value_error(
        "result_range must be two finite fractions, the first below the second (-0.1, 1.5: "
        "-10 % to 150 %)");
  options.outside_share = results.outside_share;
  options.result_range = results.result_range;
  return options;
}

CheckResult result(fuelcalc::MapCheck& map, const fuelcalc::InputCheck* input) {
  CheckResult r;
  const auto add = [&r](const std::vector<fuelcalc::Finding>& findings) {
    for (const fuelcalc::Finding& f : findings) r.findings.append(dict_of(f));
    r.has_errors = r.has_errors || fuelcalc::has_errors(findings);
  };
  add(map.findings);
  if (input) add(input->findings);
  if (input && input->summary) r.summary = dict_of(*input->summary);
  if (map.map) r.map = py::cast(std::move(*map.map));
  if (map.grid_deviation) r.grid_deviation = dict_of(*map.grid_deviation);
  return r;
}

CheckResult check_map(py::handle file, std::optional<double> speed_tolerance, double grid_tolerance,
                      const std::string& method, const std::string& outside, double outside_share,
                      std::array<double, 2> result_range) {
  const auto options = parse_options(speed_tolerance, grid_tolerance, method, outside,
                                     {outside_share, result_range});
  const auto path = to_path(file);
  fuelcalc::MapCheck map = [&] {
    py::gil_scoped_release release;
    return fuelcalc::check_map(path, options);
  }();
  return result(map, nullptr);
}

CheckResult check_input(py::handle map_file, py::handle input_file,
                        std::optional<double> speed_tolerance, double grid_tolerance,
                        const std::string& method, const std::string& outside, double outside_share,
                        std::array<double, 2> result_range) {
  const auto options = parse_options(speed_tolerance, grid_tolerance, method, outside,
                                     {outside_share, result_range});
  const auto map_path = to_path(map_file);
  const auto input_path = to_path(input_file);
  fuelcalc::MapCheck map;
  fuelcalc::InputCheck input;
  {
    py::gil_scoped_release release;
    map = fuelcalc::check_map(map_path, options);
    input = fuelcalc::check_input(input_path, map);
  }
  return result(map, &input);
}

std::string repr(const CheckResult& r) {
  std::size_t errors = 0;
  for (const auto& f : r.findings) errors += f["severity"].cast<std::string>() == "error";
  const auto count = [](std::size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  std::string text =
      "CheckResult(" + count(errors, "error") + ", " + count(r.findings.size() - errors, "warning");
  if (!r.summary.is_none())
    text += ", " + count(r.summary["records"].cast<std::size_t>(), "record");
  if (r.map.is_none()) text += ", no map";
  return text + ")";
}

constexpr const char* kOptionsDoc = R"(
speed_tolerance: speeds closer than this (in the map's speed unit) are taken
for one speed measured with noise (finding speed-near-equal); None: 1 % of
the measured speed range. grid_tolerance: the fraction of a measured fuel
value (0.01: 1 %; fuelcalc-check's --grid-tolerance is in percent) the grid
may miss it by before the finding grid-deviation. method ('grid' or
'direct') and outside ('extrapolate', 'clamp', 'nan', 'error' or 'bounded') choose how
the map computes the summary's fuel values, as in FuelMap.load; the findings
about the map are the program's (the grid, extrapolating) whatever they are.
outside_share: mostly-outside warns when more than this share of the
input's points lie outside the measured map. result_range: (low, high),
results-out-of-range warns at results below low or above high times the
largest measured fuel value (fractions; fuelcalc-check's --result-range is in
percent).

Files that cannot be opened or read are findings, not exceptions.)";

}  // namespace

void bind_check(py::module_& module) {
  py::class_<CheckResult>(module, "CheckResult",
                          "What a check found: its findings, the run's summary, and the map.")
      .def_property_readonly("findings", field(&CheckResult::findings),
                             R"(The findings, the map's then the input's, each a dict with the keys
severity ('error' or 'warning'), code, file, line, column (1-based, or
None) and message, as in fuelcalc-check --json.)")
      .def_property_readonly("summary", field(&CheckResult::summary),
                             R"(What a run of the input over the map gives, a dict shaped as the
"summary" of fuelcalc-check --json (records, inside, below, above,
beyond_speed, nan, negative, nonfinite, far_outside, near_zero_speed,
out_of_range, fuel {min, mean, max, sum}, first_lines);
None without an input, a map the program would build, or a readable header.)")
      .def_property_readonly("has_errors", field(&CheckResult::has_errors),
                             "Whether a finding is an error (the program would refuse the files).")
      .def_property_readonly("map", field(&CheckResult::map),
                             "The FuelMap the program would build from the map file, or None.")
      .def_property_readonly("grid_deviation", field(&CheckResult::grid_deviation),
                             R"(How far the grid misses the measured points, as the "grid_deviation"
of fuelcalc-check --json: {"max": ..., "p95": ..., "max_at": [speed, torque]},
max and 95th percentile of |grid - measured| / |measured| over the points
with nonzero fuel, as fractions; None without such a point or a map.)")
      .def("__repr__", method(&repr))
      .def("__reduce__", &not_picklable);

  // Kept for the life of the module, as its functions' docstrings.
  static const std::string map_doc =
      std::string(
          "Checks a map file (str or os.PathLike) as fuelcalc-check MAP does; returns a "
          "CheckResult without a summary.\n") +
      kOptionsDoc;
  static const std::string input_doc =
      std::string(
          "Checks a map file and an input file (str or os.PathLike) as fuelcalc-check "
          "MAP INPUT does, the input in one pass in bounded memory; returns a "
          "CheckResult.\n") +
      kOptionsDoc;
  py::list codes;
  for (const fuelcalc::FindingCode& entry : fuelcalc::finding_codes())
    codes.append(py::make_tuple(std::string(entry.code),
                                std::string(fuelcalc::to_string(entry.severity)),
                                std::string(entry.meaning)));
  // The registry of finding codes, in the order of docs/checks.md.
  module.attr("FINDING_CODES") = py::tuple(codes);
  // The summary of no records, for a run whose input the check could not read.
  module.attr("_NO_RECORDS") = dict_of(fuelcalc::Summary{});

  const fuelcalc::CheckOptions defaults;
  module.def("check_map", &check_map, "map"_a, py::kw_only(), "speed_tolerance"_a = py::none(),
             "grid_tolerance"_a = defaults.grid_tolerance, "method"_a = "grid",
             "outside"_a = "extrapolate", "outside_share"_a = defaults.outside_share,
             "result_range"_a = defaults.result_range, map_doc.c_str());
  module.def("check_input", &check_input, "map"_a, "input"_a, py::kw_only(),
             "speed_tolerance"_a = py::none(), "grid_tolerance"_a = defaults.grid_tolerance,
             "method"_a = "grid", "outside"_a = "extrapolate",
             "outside_share"_a = defaults.outside_share, "result_range"_a = defaults.result_range,
             input_doc.c_str());
}

}  // namespace fuelcalc_python
