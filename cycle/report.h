#pragma once
// What one fuelcalc-cycle run computed and found, and its two ways out: an
// aligned table of the totals with their units, or one JSON document.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fuelcalc/cycle.hpp"
#include "fuelcalc/cycle_files.hpp"

namespace cycle {

// The files' units, those assumed and the findings come with reading them.
struct Report : fuelcalc::FileFacts {
  std::string map, cycle;  // the paths as given
  std::string method, outside;
  fuelcalc::FuelProperties fuel;
  // The totals of the records read, also when an error stopped the run.
  std::optional<fuelcalc::CycleResult> result;
};

// The totals with units, one per line, the classes and phases as tables;
// then the findings, one line each.
void write_text(std::ostream& out, const Report& report);

// One JSON document, ended by a line feed.
void write_json(std::ostream& out, const Report& report);

}  // namespace cycle
