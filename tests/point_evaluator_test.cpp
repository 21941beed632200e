// The precomputed point evaluation against the literal two-pass procedure,
// bit for bit, on grids built from maps and on arbitrary grids, at points
// inside, outside and far outside the grid, on grid values and their
// neighbouring doubles, signed zeros and infinities.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "driver/reporting.h"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "fuelmap/point_evaluator.h"
#include "generated_maps.h"
#include "test_support.h"

namespace {

using fuelmap::GRID;
using fuelmap::MAP;

constexpr int kPointsPerGrid = testing_support::kSanitized ? 20'000 : 1'000'000;

// A valid scattered map: runs of distinct first coordinates, each with its own
// distinct second coordinates; fuel either smooth or rough.
MAP scattered_map(std::mt19937_64& rng, int runs, bool rough) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  MAP map;
  double x = 500.0 + 100.0 * unit(rng);
  for (int k = 0; k < runs; ++k) {
    x += 10.0 + 200.0 * unit(rng);
    const int points = 2 + static_cast<int>(rng() % 12);
    double y = -50.0 * unit(rng);
    for (int p = 0; p < points; ++p) {
      y += 1.0 + 150.0 * unit(rng);
      const double fuel = rough ? 1000.0 * (unit(rng) - 0.3) : 0.02 * x * (y + 60.0) + 500.0;
      map.XMAP.push_back(x);
      map.YMAP.push_back(y);
      map.FCMAP.push_back(fuel);
    }
  }
  testing_support::finish_generated_map(map, rng);
  return map;
}

GRID grid_from_map(MAP map) {
  GRID grid;
  driver::FCGRID(grid, map);
  return grid;
}

// A grid of arbitrary values on unevenly spaced axes: turns, flats and steps.
GRID arbitrary_grid(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  GRID grid;
  grid.NGX = grid.NGY = fuelmap::kGridPoints;
  double gx = -3.0, gy = 1e-3;
  for (int i = 0; i < fuelmap::kGridPoints; ++i) {
    grid.GX.push_back(gx += 0.01 + unit(rng));
    grid.GY.push_back(gy += 1e-4 + 1e-3 * unit(rng));
  }
  for (int n = 0; n < fuelmap::kGridPoints * fuelmap::kGridPoints; ++n) {
    const double v = unit(rng);
    grid.GFC.push_back(v < 0.2 ? 7.0 : v < 0.3 ? -v : 1e4 * v);
  }
  return grid;
}

// A coordinate for one probe, drawn from one of several families around axis.
double probe(std::mt19937_64& rng, const std::vector<double>& axis) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double lo = axis.front(), hi = axis.back(), span = hi - lo;
  const double on_axis = axis[rng() % axis.size()];
  switch (rng() % 10) {
    case 0:
    case 1:
    case 2: return lo + span * unit(rng);
    case 3: return lo + span * (3.0 * unit(rng) - 1.0);
    case 4: return (unit(rng) < 0.5 ? -1.0 : 1.0) * span * std::pow(10.0, 1.0 + 8.0 * unit(rng));
    case 5: return on_axis;
    case 6:
      return std::nextafter(on_axis, unit(rng) < 0.5 ? -std::numeric_limits<double>::infinity()
                                                     : std::numeric_limits<double>::infinity());
    case 7: return unit(rng) < 0.5 ? 0.0 : -0.0;
    case 8: return (unit(rng) < 0.5 ? -1.0 : 1.0) * std::pow(10.0, 100.0 + 208.0 * unit(rng));
    default:
      return unit(rng) < 0.5 ? std::numeric_limits<double>::infinity()
                             : -std::numeric_limits<double>::infinity();
  }
}

// Evaluates probes in blocks of random sizes, as the record loop does, and
// compares every point the precomputed path takes with the literal procedure.
void expect_same_as_literal(const GRID& grid, std::uint64_t seed) {
  const fuelmap::PointEvaluator evaluator = fuelmap::prepare_evaluator(grid);
  ASSERT_FALSE(evaluator.literal_only);
  std::mt19937_64 rng(seed);
  int mismatches = 0, compared = 0;
  double x[fuelmap::kBlockPoints], y[fuelmap::kBlockPoints], fast[fuelmap::kBlockPoints];
  while (compared < kPointsPerGrid && mismatches < 5) {
    const int count = 1 + static_cast<int>(rng() % fuelmap::kBlockPoints);
    for (int i = 0; i < count; ++i) {
      x[i] = probe(rng, grid.GX);
      y[i] = probe(rng, grid.GY);
    }
    const int left = fuelmap::evaluate_points(evaluator, count, x, y, fast, grid);
    int not_taken = 0;
    for (int i = 0; i < count; ++i) not_taken += !fuelmap::takes_point(evaluator, x[i], y[i]);
    EXPECT_EQ(left, not_taken);
    for (int i = 0; i < count; ++i, ++compared) {
      double literal = 0.0, single = 0.0;
      driver::CALCFC(x[i], y[i], literal, grid);
      fuelmap::evaluate_point(evaluator, x[i], y[i], single, grid);
      const auto bits = std::bit_cast<std::uint64_t>(literal);
      const bool taken = fuelmap::takes_point(evaluator, x[i], y[i]);
      EXPECT_EQ(taken, std::isfinite(x[i]) && std::isfinite(y[i]));
      if ((taken && std::bit_cast<std::uint64_t>(fast[i]) != bits) ||
          std::bit_cast<std::uint64_t>(single) != bits) {
        ++mismatches;
        ADD_FAILURE() << "at (" << x[i] << ", " << y[i] << "): literal " << literal << ", block "
                      << fast[i] << ", single " << single;
      }
    }
  }
}

struct GridCase {
  const char* name;
  int runs;    // 0: an arbitrary grid, not built from a map
  bool rough;  // fuel values at random rather than smooth
  std::uint64_t seed;
};

class SameBitsAsLiteral : public ::testing::TestWithParam<GridCase> {};

TEST_P(SameBitsAsLiteral, AtEveryKindOfPoint) {
  const GridCase& c = GetParam();
  std::mt19937_64 rng(c.seed);
  const GRID grid =
      c.runs == 0 ? arbitrary_grid(rng) : grid_from_map(scattered_map(rng, c.runs, c.rough));
  expect_same_as_literal(grid, c.seed + 1000);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, SameBitsAsLiteral,
    ::testing::Values(GridCase{"TwoRuns", 2, false, 1}, GridCase{"SevenRuns", 7, false, 2},
                      GridCase{"ManyRuns", 25, false, 3}, GridCase{"RoughFewRuns", 5, true, 4},
                      GridCase{"RoughManyRuns", 40, true, 5}, GridCase{"Arbitrary", 0, false, 6},
                      GridCase{"ArbitraryAgain", 0, false, 7}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PointEvaluator, GridsTheLiteralProcedureRejectsAreLeftToIt) {
  std::mt19937_64 rng(7);
  GRID repeated = arbitrary_grid(rng);
  repeated.GX[5] = repeated.GX[4];
  EXPECT_TRUE(fuelmap::prepare_evaluator(repeated).literal_only);
  GRID descending = arbitrary_grid(rng);
  std::reverse(descending.GY.begin(), descending.GY.end());
  EXPECT_TRUE(fuelmap::prepare_evaluator(descending).literal_only);
  GRID not_finite = arbitrary_grid(rng);
  not_finite.GFC[17] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(fuelmap::prepare_evaluator(not_finite).literal_only);
}

}  // namespace
