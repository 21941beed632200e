#pragma once
// What one fuelcalc-cycle run computed and found, and its two ways out: an
// aligned table of the totals with their units, or one JSON document.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fuelcalc/check.hpp"
#include "fuelcalc/cycle.hpp"

namespace cycle {

struct MapUnits {
  std::string speed = "rpm", torque = "Nm", fuel = "g/h";
};

struct CycleUnits {
  std::string time = "s", speed = "rpm", torque = "Nm";
  std::optional<std::string> vehicle_speed;  // without a vehicle speed column
};

struct Report {
  std::string map, cycle;  // the paths as given
  std::string method, outside;
  MapUnits map_units;
  CycleUnits cycle_units;
  std::vector<std::string> assumed;  // "map speed", "cycle time", ... in that order
  fuelcalc::FuelProperties fuel;
  // The totals of the records read, also when an error stopped the run.
  std::optional<fuelcalc::CycleResult> result;
  std::vector<fuelcalc::Finding> findings;  // the map's, then the cycle's
};

// The totals with units, one per line, the classes and phases as tables;
// then the findings, one line each.
void write_text(std::ostream& out, const Report& report);

// One JSON document, ended by a line feed.
void write_json(std::ostream& out, const Report& report);

}  // namespace cycle
