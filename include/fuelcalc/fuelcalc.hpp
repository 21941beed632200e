#pragma once
// The fuelcalc library: fuel maps, their evaluation, the program's files, and
// totals over a cycle, the checks of a map and an input.
#include "fuelcalc/check.hpp"
#include "fuelcalc/cycle.hpp"
#include "fuelcalc/cycle_files.hpp"
#include "fuelcalc/error.hpp"
#include "fuelcalc/exact_sum.hpp"
#include "fuelcalc/fuel_map.hpp"
#include "fuelcalc/map_table.hpp"
#include "fuelcalc/number_text.hpp"
#include "fuelcalc/points.hpp"
#include "fuelcalc/record_fields.hpp"
#include "fuelcalc/table.hpp"
#include "fuelcalc/units.hpp"
#include "fuelcalc/version.hpp"
