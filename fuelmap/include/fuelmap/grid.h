#pragma once
// The fuel grid: the map resampled onto a regular 20 x 20 table, and the
// fuel value at one operating point interpolated from it.
#include <vector>

#include "fuelmap/map.h"

namespace fuelmap {

inline constexpr int kGridPoints = 20;

struct GRID {
  int NGX = 0;              // grid values along the first coordinate (20)
  int NGY = 0;              // grid values along the second coordinate (20)
  std::vector<double> GX;   // first-coordinate axis, ascending
  std::vector<double> GY;   // second-coordinate axis, ascending
  std::vector<double> GFC;  // GFC[i + NGX * j]: fuel value at (GX[i], GY[j]), column by column
};

// A failed interpolation call: its call-site code (1 to 8; 0 when nothing
// failed), its IERR, and where it failed (0-based): the run for codes 1 and 2,
// the grid column (second-coordinate value) for 3 and 4, the grid line for 5
// and 6, none for 7 and 8.
struct HermiteFailure {
  int code = 0;
  int ierr = 0;
  int place = 0;
  explicit operator bool() const { return code != 0; }
};

// Builds the grid from the ordered map and returns the first failed call;
// writes nothing and ends nothing. Its work arrays are plain vectors: storage
// that cannot be had throws std::bad_alloc or std::length_error.
HermiteFailure build_grid(GRID& grid, const MAP& map);

// Fuel value FC at (X, Y), by the literal two-pass procedure: slopes along the
// first coordinate on every grid line, then along the second coordinate.
// Returns the first failed call, as build_grid does.
HermiteFailure literal_fuel(const double& X, const double& Y, double& FC, const GRID& grid);

}  // namespace fuelmap
