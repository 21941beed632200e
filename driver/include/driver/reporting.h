#pragma once
// The program's calls of the map loader, the grid construction and the
// literal procedure: each runs under its routine's frame (for the stack trace
// of a run-time error report), reports what the computation returns in the
// program's words and ends the run on a failure.
#include <string_view>

#include "fuelmap/grid.h"
#include "fuelmap/map.h"

namespace driver {

// Reads the map file on UNIT (a count pass, then a fill pass after a rewind)
// and orders its points. Returns only with a complete map; an unopenable or
// unreadable file ends the run with the loader's message.
void LOADMAP(const int& UNIT, std::string_view FILENAME, fuelmap::MAP& map);

// Builds the grid from the ordered map (fuelmap::build_grid). Interpolation
// failures end the run.
void FCGRID(fuelmap::GRID& grid, const fuelmap::MAP& map);

// The fuel value at (X, Y) by the literal procedure (fuelmap::literal_fuel);
// interpolation failures end the run.
void CALCFC(const double& X, const double& Y, double& FC, const fuelmap::GRID& grid);

// Reports the failed interpolation call ICALL (1 to 8) with its status IERR on
// the error output and stops the run with exit status 1.
[[noreturn]] void HERMERR(const int& ICALL, const int& IERR);

}  // namespace driver
