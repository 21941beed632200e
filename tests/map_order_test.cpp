// Ordering of the map's points: the exact Shell-sort procedure on its worked
// examples, and the O(N log N) ordering that replaces it when no coordinate is
// a not-a-number.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "driver/reporting.h"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "fuelmap/runs.h"
#include "test_support.h"

namespace {

using fuelmap::MAP;
using Point = std::tuple<double, double, double>;

MAP make_map(const std::vector<Point>& points) {
  MAP map;
  for (const auto& [x, y, f] : points) {
    map.XMAP.push_back(x);
    map.YMAP.push_back(y);
    map.FCMAP.push_back(f);
  }
  map.NMAP = static_cast<int>(points.size());
  return map;
}

// The points as bit patterns, so that signed zeros and not-a-numbers compare exactly.
std::vector<std::uint64_t> bits(const MAP& map) {
  std::vector<std::uint64_t> out;
  for (int i = 0; i < map.NMAP; ++i)
    for (const double v : {map.XMAP[i], map.YMAP[i], map.FCMAP[i]})
      out.push_back(std::bit_cast<std::uint64_t>(v));
  return out;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(MapOrder, ShellSortsOnWorkedExamples) {
  const struct {
    std::vector<Point> file, ordered;
  } cases[] = {
      // Ties in both coordinates end in the reverse of their file order.
      {{{1, 3, 1}, {1, 3, 2}, {1, 1, 3}}, {{1, 1, 3}, {1, 3, 2}, {1, 3, 1}}},
      {{{2, 5, 10}, {1, 7, 20}, {2, 3, 30}, {1, 7, 40}, {1, 2, 50}, {2, 5, 60}},
       {{1, 2, 50}, {1, 7, 20}, {1, 7, 40}, {2, 3, 30}, {2, 5, 10}, {2, 5, 60}}},
      {{{3, 1, 1}, {1, 1, 2}, {2, 1, 3}, {1, 1, 4}}, {{1, 1, 2}, {1, 1, 4}, {2, 1, 3}, {3, 1, 1}}},
      // +0.0 and -0.0 share a run and keep their own signs.
      {{{0.0, 2, 1}, {-0.0, 1, 2}, {1, 1, 3}}, {{-0.0, 1, 2}, {0.0, 2, 1}, {1, 1, 3}}},
      // A not-a-number first coordinate is always out of order in the first
      // pass, then takes every later point into its run, where it never moves.
      {{{2, 1, 1}, {kNaN, 5, 2}, {1, 3, 3}}, {{2, 1, 1}, {1, 3, 3}, {kNaN, 5, 2}}},
      {{{kNaN, 1, 1}, {1, 2, 2}, {0, 3, 3}}, {{kNaN, 1, 1}, {1, 2, 2}, {0, 3, 3}}},
      {{}, {}},
      {{{4, 4, 4}}, {{4, 4, 4}}},
  };
  for (const auto& c : cases) {
    MAP map = make_map(c.file);
    fuelmap::order_map_by_shell_sorts(map);
    EXPECT_EQ(bits(map), bits(make_map(c.ordered)));
    MAP same = make_map(c.file);
    fuelmap::order_map(same);
    const bool has_nan = std::any_of(c.file.begin(), c.file.end(),
                                     [](const Point& p) { return std::isnan(std::get<0>(p)); });
    if (has_nan) {
      EXPECT_EQ(bits(same), bits(map)) << "maps with a not-a-number keep the Shell sorts";
    }
  }
}

// Random file orders of maps with ties in the first coordinate, signed zeros
// and infinities, and no two points equal in both coordinates.
MAP random_map(std::mt19937_64& rng, int size) {
  const double firsts[] = {-0.0, 0.0,  1.0,   2.0,
                           2.5,  -3.0, 1e300, std::numeric_limits<double>::infinity()};
  std::vector<Point> points;
  std::uniform_int_distribution<int> pick(0, 7);
  for (int i = 0; i < size; ++i)
    points.emplace_back(firsts[pick(rng)], static_cast<double>(i) * (i % 2 ? -1.0 : 1.0) * 0.5,
                        static_cast<double>(rng() % 1000));
  return make_map(points);
}

TEST(MapOrder, FastOrderingGivesTheShellSortsMap) {
  std::mt19937_64 rng(11);
  for (int round = 0; round < 300; ++round) {
    const MAP file = random_map(rng, 1 + static_cast<int>(rng() % 200));
    MAP shell = file, fast = file;
    fuelmap::order_map_by_shell_sorts(shell);
    fuelmap::order_map(fast);
    ASSERT_EQ(bits(fast), bits(shell)) << "round " << round;
  }
}

// Maps with not-a-numbers among both coordinates, and ties in both: the
// chains of each Shell pass rearranged without exchanges give the exchanges'
// map.
TEST(MapOrder, OrderingWithNotANumbersGivesTheShellSortsMap) {
  std::mt19937_64 rng(13);
  const double seconds[] = {
      kNaN, -0.0, 0.0, 1.0, 2.0, -1.0, std::numeric_limits<double>::infinity()};
  const int rounds = testing_support::kSanitized ? 200 : 2000;
  for (int round = 0; round < rounds; ++round) {
    MAP file = random_map(rng, 1 + static_cast<int>(rng() % (2 * round < rounds ? 12 : 300)));
    const std::uint64_t share = 1 + rng() % 4;  // about one in share points changed
    for (int i = 0; i < file.NMAP; ++i) {
      if (rng() % share == 0) file.XMAP[i] = kNaN;
      if (rng() % (2 * share) == 0) file.YMAP[i] = seconds[rng() % 7];
    }
    // At least one: without any, points equal in both coordinates may stand
    // in either order.
    (rng() % 4 ? file.XMAP : file.YMAP)[rng() % static_cast<std::uint64_t>(file.NMAP)] = kNaN;
    MAP shell = file, fast = file;
    fuelmap::order_map_by_shell_sorts(shell);
    fuelmap::order_map(fast);
    ASSERT_EQ(bits(fast), bits(shell)) << "round " << round;
  }
}

TEST(MapOrder, PointsEqualInBothCoordinatesFailTheGridWhateverTheirOrder) {
  std::mt19937_64 rng(12);
  for (int round = 0; round < 40; ++round) {
    MAP file = random_map(rng, 4 + static_cast<int>(rng() % 60));
    const int a = static_cast<int>(rng() % static_cast<std::uint64_t>(file.NMAP));
    const int b =
        (a + 1 + static_cast<int>(rng() % static_cast<std::uint64_t>(file.NMAP - 1))) % file.NMAP;
    file.XMAP[b] = file.XMAP[a];
    file.YMAP[b] = file.YMAP[a];
    MAP shell = file, fast = file;
    fuelmap::order_map_by_shell_sorts(shell);
    fuelmap::order_map(fast);
    fuelmap::GRID from_shell, from_fast;
    const auto shell_end =
        testing_support::capture_ending([&] { driver::FCGRID(from_shell, shell); });
    const auto fast_end = testing_support::capture_ending([&] { driver::FCGRID(from_fast, fast); });
    EXPECT_EQ(fast_end.status, shell_end.status);
    EXPECT_EQ(fast_end.err, shell_end.err);
    EXPECT_EQ(shell_end.status, 1) << "round " << round;
  }
}

// The one grouping rule: a run opens where a speed compares unequal to the
// run's first; a not-a-number and a signed zero join the current run.
TEST(MapRuns, StartWhereTheSpeedComparesUnequalToTheRunsFirst) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    std::vector<double> speeds;
    std::vector<int> starts;
  } cases[] = {
      {{}, {0, 0}},
      {{800}, {0, 1}},
      {{800, 800, 1000, 1000, 1000, 1200}, {0, 2, 5, 6}},
      {{0.0, -0.0, 1.0}, {0, 2, 3}},
      {{800, nan, 800, 1000}, {0, 3, 4}},
      {{nan, 800, 800}, {0, 3}},
      {{800, 1000, 800}, {0, 1, 2, 3}},
  };
  for (const auto& c : cases) {
    fuelmap::MAP map;
    map.NMAP = static_cast<int>(c.speeds.size());
    map.XMAP = c.speeds;
    map.YMAP = map.FCMAP = std::vector<double>(c.speeds.size(), 1.0);
    EXPECT_EQ(fuelmap::run_starts(map), c.starts) << ::testing::PrintToString(c.speeds);
  }
}

}  // namespace
