#pragma once
// Support for the tests that generate maps in memory.
#include <cstdint>
#include <random>
#include <utility>

#include "fuelmap/map.h"

namespace testing_support {

// Counts the generated points, scrambles their order as a file may hold them,
// then orders them as the loader does, so the loader's ordering is exercised.
inline void finish_generated_map(fuelmap::MAP& map, std::mt19937_64& rng) {
  map.NMAP = static_cast<int>(map.XMAP.size());
  for (int i = map.NMAP - 1; i > 0; --i) {
    const auto j = static_cast<int>(rng() % static_cast<std::uint64_t>(i + 1));
    std::swap(map.XMAP[i], map.XMAP[j]);
    std::swap(map.YMAP[i], map.YMAP[j]);
    std::swap(map.FCMAP[i], map.FCMAP[j]);
  }
  fuelmap::order_map(map);
}

}  // namespace testing_support
