#pragma once
// The TORQUE MAP: measured operating points (first coordinate, second
// coordinate, fuel value), ordered by first and then second coordinate.
#include <vector>

namespace fuelmap {

struct MAP {
  int NMAP = 0;               // number of map points
  std::vector<double> XMAP;   // first coordinate of each point
  std::vector<double> YMAP;   // second coordinate of each point
  std::vector<double> FCMAP;  // fuel value of each point
};

// Orders the points ascending by first coordinate and, within equal first
// coordinates, by second coordinate (std::bad_alloc when its work array
// cannot be had). Maps holding a not-a-number get the arrangement of the
// exact Shell-sort procedure, which for them is deterministic but not sorted,
// in O(N log^2 N) rather than its up to O(N^2).
void order_map(MAP& map);

// The exact Shell-sort procedure, for any map.
void order_map_by_shell_sorts(MAP& map);

}  // namespace fuelmap
