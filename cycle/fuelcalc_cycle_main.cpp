// fuelcalc-cycle MAP CYCLE: the totals of a cycle over a fuel map (fuel,
// volume, CO2, work, BSFC, distance), per envelope class and per phase.
// Exit status 0; 1 when an error stops the computation (the totals of the
// records before it are still written); 2 for wrong usage.
#include <CLI/CLI.hpp>

#include <array>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fuelcalc/cycle.hpp"
#include "fuelcalc/cycle_files.hpp"
#include "fuelcalc/error.hpp"
#include "fuelcalc/map_table.hpp"
#include "fuelcalc/version.hpp"
#include "read_ahead.h"
#include "record_csv.h"
#include "report.h"

namespace {

constexpr std::size_t kBlockRecords = 8192;

std::vector<std::string> choices(std::span<const std::string_view> names) {
  return {names.begin(), names.end()};
}

// The outside policies by the names --outside takes: the default first,
// then the others in the enum's order.
std::vector<std::string> outside_choices() {
  std::vector<std::string> names{std::string(fuelcalc::to_string(fuelcalc::Outside::bounded))};
  for (const std::string_view name : fuelcalc::outside_names())
    if (name != names.front()) names.emplace_back(name);
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Totals of a cycle over a fuel map: fuel, CO2, work, BSFC and distance.",
               "fuelcalc-cycle"};
  fuelcalc::MapFileChoice map;
  fuelcalc::CycleFileChoice cyc;
  std::string map_format = "auto", cycle_format = "table", layout = "points", method = "direct";
  std::string outside = "bounded", fuel = "diesel", output;
  double step = 0.0, max_gap = 60.0, density = 0.0, co2 = 0.0;
  bool json = false;
  app.add_option("MAP", map.file, "the fuel map")->required();
  app.add_option("CYCLE", cyc.file, "the cycle: a time series of speed and torque")->required();
  app.add_option("--map-format", map_format, "auto (default), program or table")
      ->check(CLI::IsMember(choices(fuelcalc::file_format_names())));
  app.add_option("--cycle-format", cycle_format, "table (default) or program")
      ->check(CLI::IsMember(choices(fuelcalc::file_format_names().subspan(1))));
  app.add_option("--map-layout", layout, "points (default) or matrix")
      ->check(CLI::IsMember(choices(fuelcalc::map_layout_names())));
  const auto column = [&](const char* name, std::string& into, const char* what) {
    app.add_option(name, into, std::string("the ") + what + " column: a name or a 1-based position")
        ->option_text("COLUMN");
  };
  column("--map-speed", map.speed, "map's speed");
  column("--map-torque", map.torque, "map's torque");
  column("--map-fuel", map.fuel, "map's fuel");
  column("--time", cyc.time, "cycle's time");
  column("--speed", cyc.speed, "cycle's engine speed");
  column("--torque", cyc.torque, "cycle's torque");
  column("--vehicle-speed", cyc.vehicle_speed, "cycle's vehicle speed");
  column("--phase", cyc.phase, "cycle's phase");
  const auto unit = [&](const char* name, std::string& into) {
    app.add_option(name, into, "overrides the file's unit")->option_text("UNIT");
  };
  unit("--map-speed-unit", map.speed_unit);
  unit("--map-torque-unit", map.torque_unit);
  unit("--map-fuel-unit", map.fuel_unit);
  unit("--time-unit", cyc.time_unit);
  unit("--speed-unit", cyc.speed_unit);
  unit("--torque-unit", cyc.torque_unit);
  unit("--vehicle-speed-unit", cyc.vehicle_speed_unit);
  app.add_option("--step", step, "seconds between records, for a cycle without a time column")
      ->option_text("S");
  app.add_option("--max-gap", max_gap, "intervals longer than S seconds are not integrated (60)")
      ->option_text("S");
  app.add_option("--method", method, "direct (default) or grid")
      ->check(CLI::IsMember(choices(fuelcalc::method_names())));
  app.add_option("--outside", outside, "what a point outside the map gives: bounded (default), extrapolate, clamp, nan or error")
      ->check(CLI::IsMember(outside_choices()));
  std::vector<std::string> fuel_names;
  for (const fuelcalc::FuelProperties& f : fuelcalc::known_fuels()) fuel_names.push_back(f.name);
  app.add_option("--fuel", fuel, "the fuel's density and CO2 factor (diesel)")
      ->check(CLI::IsMember(fuel_names));
  app.add_option("--density", density, "the fuel's density, kg/L")->option_text("KG_PER_L");
  app.add_option("--co2-factor", co2, "grams of CO2 per gram of fuel")->option_text("G_PER_G");
  app.add_option("-o", output, "write each record with its fuel value and class (CSV)")
      ->option_text("OUT.csv");
  app.add_flag("--json", json, "write one JSON document");
  app.set_version_flag("--version", "fuelcalc-cycle " + std::string(fuelcalc::version()));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : 2;
  }

  map.format = *fuelcalc::parse_file_format(map_format);
  map.layout = *fuelcalc::parse_map_layout(layout);
  map.method = *fuelcalc::parse_method(method);
  map.outside = *fuelcalc::parse_outside(outside);
  cyc.format = *fuelcalc::parse_file_format(cycle_format);
  cyc.step = app.count("--step") > 0;
  cyc.keep_cells = !output.empty();

  fuelcalc::CycleOptions options;
  options.max_gap = max_gap;
  options.fuel = fuelcalc::fuel_properties(fuel);
  if (app.count("--density") > 0) options.fuel.density_kg_per_l = density;
  if (app.count("--co2-factor") > 0) options.fuel.co2_g_per_g = co2;
  options.vehicle_speed = !cyc.vehicle_speed.empty();
  options.phases = !cyc.phase.empty();
  const auto usage = [](const std::string& message) {
    std::cerr << "fuelcalc-cycle: " << message << '\n';
    return 2;
  };
  if (cyc.format == fuelcalc::FileFormat::program && !cyc.step)
    return usage("a cycle in the program's input format has no time column: give --step");
  if (cyc.format == fuelcalc::FileFormat::program && (options.vehicle_speed || options.phases))
    return usage("a cycle in the program's input format has only speed and torque");
  if (cyc.step) {
    try {
      options.step = fuelcalc::to_base(fuelcalc::parse_unit(fuelcalc::Quantity::time,
                                                            cyc.time_unit.empty() ? "s"
                                                                                  : cyc.time_unit),
                                       step);
    } catch (const fuelcalc::Error& error) {
      return usage(error.what());
    }
  }
  std::optional<fuelcalc::CycleAccumulator> accumulator;
  try {
    accumulator.emplace(options);
  } catch (const fuelcalc::Error& error) {
    return usage(error.what());
  }

  cycle::Report report;
  report.map = map.file;
  report.cycle = cyc.file;
  report.method = method;
  report.outside = outside;
  report.fuel = options.fuel;
  int status = 0;
  const auto stop = [&](const fuelcalc::Error& error, const std::string& file) {
    report.findings.push_back(fuelcalc::error_finding(error, file));
    std::cerr << "fuelcalc-cycle: " << error.what() << '\n';
    status = 1;
  };
  std::optional<fuelcalc::FuelMap> fuel_map;
  try {
    fuel_map = fuelcalc::load_map_file(map, report);
    if (!fuel_map) status = 1;
  } catch (const fuelcalc::Error& error) {
    if (error.kind() == fuelcalc::ErrorKind::invalid_argument) return usage(error.what());
    stop(error, map.file);
  }
  if (fuel_map) {
    std::optional<fuelcalc::CycleFile> source;
    std::optional<cycle::RecordCsv> csv;
    fuelcalc::CycleRecords records;
    std::vector<double> values;
    std::vector<fuelcalc::Where> where;
    std::vector<std::string_view> phases;
    std::string stopped_at = cyc.file;
    // The results' checks need each record's line, which a table gives.
    std::optional<fuelcalc::CycleResultChecks> checks;
    if (cyc.format == fuelcalc::FileFormat::table) checks.emplace(*fuel_map, cyc.file);
    std::optional<fuelcalc::Error> failure;
    try {
      source.emplace(cyc, report);
      if (!output.empty()) {
        stopped_at = output;
        csv.emplace(output, source->header_cells());
        stopped_at = cyc.file;
      }
      cycle::ReadAhead blocks(*source, kBlockRecords);
      while (const std::size_t n = blocks.next(records)) {
        values.resize(n);
        where.resize(n);
        try {
          fuelcalc::evaluate_records(*fuel_map, records.speed, records.torque, values, where);
        } catch (fuelcalc::Error& error) {
          if (error.index() && !records.line.empty()) error.with_line(records.line[*error.index()]);
          throw;
        }
        phases.assign(records.phase.begin(), records.phase.end());
        const fuelcalc::CycleBlock block{records.time, records.speed, records.torque, values,
                                         where, records.vehicle_speed, phases, records.line};
        accumulator->add(block);
        if (checks) checks->add(block);
        if (csv) csv->write(records.cells, source->width(), values, where);
      }
      if (accumulator->records() == 0)
        throw fuelcalc::Error(fuelcalc::ErrorKind::read, cyc.file + ": the cycle has no records");
      if (csv) {
        stopped_at = output;
        csv->commit();
      }
    } catch (const fuelcalc::Error& error) {
      if (error.kind() == fuelcalc::ErrorKind::invalid_argument) return usage(error.what());
      failure = error;
    }
    // The checks' findings on the records read, then the error that stopped the run.
    if (checks)
      for (fuelcalc::Finding& f : checks->findings()) report.findings.push_back(std::move(f));
    if (failure) stop(*failure, stopped_at);
    report.result = accumulator->result();
  }

  if (json)
    cycle::write_json(std::cout, report);
  else
    cycle::write_text(std::cout, report);
  std::cout.flush();
  return std::cout ? status : 1;
}
