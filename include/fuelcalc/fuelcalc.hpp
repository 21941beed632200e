#pragma once
// The fuelcalc library: fuel maps, their evaluation, and the program's files.
#include "fuelcalc/error.hpp"
#include "fuelcalc/fuel_map.hpp"
#include "fuelcalc/map_table.hpp"
#include "fuelcalc/points.hpp"
#include "fuelcalc/table.hpp"
#include "fuelcalc/units.hpp"
#include "fuelcalc/version.hpp"
