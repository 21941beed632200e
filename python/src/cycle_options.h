#pragma once
// The options of the cycle totals as Python callers give them.
#include <optional>
#include <string>

#include "fuelcalc/cycle.hpp"

namespace fuelcalc_python {

// The fuel by name, its density and CO2 factor replaced when given; the
// library checks the ranges when the accumulator is made.
fuelcalc::CycleOptions options_of(std::optional<double> step, double max_gap,
                                  const std::string& fuel, std::optional<double> density,
                                  std::optional<double> co2_factor, bool vehicle_speed,
                                  bool phases);

}  // namespace fuelcalc_python
