#pragma once
// What one fuelcalc-check run found, and its two ways out: compiler-style
// lines with a text summary, or one JSON document.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fuelcalc/check.hpp"

namespace check {

struct Report {
  std::string map;
  std::optional<std::string> input;
  std::vector<fuelcalc::Finding> findings;  // the map's, then the input's
  std::optional<fuelcalc::Summary> summary;
  std::optional<fuelcalc::GridDeviation> grid_deviation;
};

// FILE:LINE:COL: severity: message [code], one line each, the grid's
// deviation, then the summary with the share of every class, then the count
// of errors and warnings.
void write_text(std::ostream& out, const Report& report);

// One JSON document, ended by a line feed.
void write_json(std::ostream& out, const Report& report);

}  // namespace check
