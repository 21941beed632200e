#pragma once
// The fuel grid: the map resampled onto a regular 20 x 20 table, and the
// fuel value at one operating point interpolated from it.
#include <vector>

#include "fuelmap/map.h"

namespace fuelmap {

inline constexpr int kGridPoints = 20;

struct GRID {
  int NGX = 0;               // grid values along the first coordinate (20)
  int NGY = 0;               // grid values along the second coordinate (20)
  std::vector<double> GX;    // first-coordinate axis, ascending
  std::vector<double> GY;    // second-coordinate axis, ascending
  std::vector<double> GFC;   // GFC[i + NGX * j]: fuel value at (GX[i], GY[j]), column by column
};

// Builds the grid from the ordered map. Interpolation failures end the run.
void FCGRID(GRID& grid, const MAP& map);

// Fuel value FC at (X, Y), by the literal two-pass procedure: slopes along the
// first coordinate on every grid line, then along the second coordinate.
void CALCFC(const double& X, const double& Y, double& FC, const GRID& grid);

}  // namespace fuelmap
