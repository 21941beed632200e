#pragma once
// Findings about what the header records' words say of the columns: the
// program reads a map's values as speed, torque, fuel and an input's as
// speed, torque, whatever the header names.
#include <cstddef>
#include <string_view>

#include "checks/check_findings.h"

namespace fuelcalc::checks {

// A map header record at `line` naming the columns in another order than
// speed, torque, fuel (map-header-order).
void map_header_order(FindingLog& log, std::size_t line, std::string_view record);

// An input header record at `line` naming more than two columns
// (input-header-columns).
void input_header_columns(FindingLog& log, std::size_t line, std::string_view record);

}  // namespace fuelcalc::checks
