#pragma once
// The fuel value at one operating point computed from the measured points
// themselves, without the grid: the grid's two passes evaluated at the point.
//
// Pass 1: for each run (the points of one first coordinate, ascending), the
// value at Y of the monotone cubic through the run's own points, with the
// slopes the grid construction estimates for that run. Pass 2: the monotone
// cubic through the runs' first coordinates and those values, at X. Points
// outside are extrapolated by each curve's end pieces, as the grid is.
//
// At a measured coordinate a curve gives its measured value itself: the
// cubic of the last interval reproduces its right end only up to rounding,
// so without this a measured point at the top of a run, or on the last run,
// could miss its fuel value (a motoring point measured at 0 by a few units
// in the last place, of either sign). Everywhere else the values are those
// of DPCHFE.
//
// Routines here write no messages and never end the run: failures come back
// as the interpolation call that failed, its status and, for the calls along a
// run, the run (place), with the grid construction's call codes, so that a map
// fails the same way for both.
#include <vector>

#include "fuelmap/grid.h"
#include "fuelmap/map.h"

namespace fuelmap {

// Call codes of a failure; 0 is success.
inline constexpr int kRunSlopes = 1;     // DPCHIM along a run (a run of one point, repeated
                                         // second coordinates, an empty map)
inline constexpr int kRunValue = 2;      // DPCHFE along a run (a not-a-number Y)
inline constexpr int kAcrossSlopes = 3;  // DPCHIM across runs (fewer than two runs)
inline constexpr int kAcrossValue = 4;   // DPCHFE across runs (a not-a-number X)

// Whether the map can be evaluated: every run's slopes, then the run
// coordinates' order, checked as the grid construction checks them.
HermiteFailure direct_check(const MAP& map);

// Fuel value FC at (X, Y) by the literal procedure: every run's slopes and
// value at Y afresh, then the slopes across the runs and the value at X.
HermiteFailure literal_direct_fuel(const double& X, const double& Y, double& FC, const MAP& map);

}  // namespace fuelmap
