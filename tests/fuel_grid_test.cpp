// The fuel grid and the fuel value at one point on maps whose answers are
// known: bilinear data, extrapolation, constant lines, axis spacing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "driver/reporting.h"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"

namespace {

using fuelmap::GRID;
using fuelmap::MAP;

MAP make_map(const std::vector<std::vector<double>>& points) {
  MAP map;
  for (const auto& p : points) {
    map.XMAP.push_back(p[0]);
    map.YMAP.push_back(p[1]);
    map.FCMAP.push_back(p[2]);
  }
  map.NMAP = static_cast<int>(points.size());
  return map;
}

GRID grid_of(const MAP& map) {
  GRID grid;
  driver::FCGRID(grid, map);
  return grid;
}

double bilinear(double x, double y) {
  const double u = (x - 1000.0) / 1000.0, v = (y - 10.0) / 10.0;
  return 1.0 * (1 - u) * (1 - v) + 3.0 * u * (1 - v) + 2.0 * (1 - u) * v + 5.0 * u * v;
}

const MAP kBilinear = make_map({{1000, 10, 1}, {1000, 20, 2}, {2000, 10, 3}, {2000, 20, 5}});

TEST(FuelGrid, AxesAndBilinearValues) {
  const GRID grid = grid_of(kBilinear);
  ASSERT_EQ(grid.NGX, 20);
  ASSERT_EQ(grid.NGY, 20);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(grid.GX[i], i * (1000.0 / 19.0) + 1000.0);
    EXPECT_EQ(grid.GY[i], i * (10.0 / 19.0) + 10.0);
  }
  EXPECT_EQ(grid.GFC[0], 1.0);
  EXPECT_EQ(grid.GFC[19 * 20], 2.0);
  EXPECT_NEAR(grid.GFC[19], 3.0, 1e-12);
  EXPECT_NEAR(grid.GFC[19 + 19 * 20], 5.0, 1e-12);
  for (int j = 0; j < 20; ++j)
    for (int i = 0; i < 20; ++i)
      EXPECT_NEAR(grid.GFC[i + 20 * j], bilinear(grid.GX[i], grid.GY[j]), 1e-12);
}

TEST(FuelGrid, ValueAtPointsInsideAndOutside) {
  const GRID grid = grid_of(kBilinear);
  const struct {
    double x, y, fc;
  } cases[] = {{1500, 15, 2.75}, {2500, 25, 7.75},  {500, 15, 0.25}, {1500, 0, 0.5},
               {1000, 10, 1.0},  {-1e4, 15, -26.0}, {1500, 60, 9.5}};
  for (const auto& c : cases) {
    double fc = 0.0;
    driver::CALCFC(c.x, c.y, fc, grid);
    EXPECT_NEAR(fc, bilinear(c.x, c.y), 1e-9 * (1 + std::fabs(fc))) << c.x << ", " << c.y;
    EXPECT_NEAR(fc, c.fc, 1e-9 * (1 + std::fabs(fc))) << c.x << ", " << c.y;
  }
}

TEST(FuelGrid, GridPointsAndConstantLines) {
  // 3 first coordinates of 4 points each, fuel depending on the second
  // coordinate only: every grid line of constant second coordinate is flat.
  std::vector<std::vector<double>> points;
  for (const double x : {1000.0, 1500.0, 3000.0})
    for (const double y : {10.0, 20.0, 30.0, 40.0}) points.push_back({x, y, y * y / 10.0});
  const GRID grid = grid_of(make_map(points));
  EXPECT_EQ(grid.GX[19], 19 * (2000.0 / 19.0) + 1000.0);
  EXPECT_EQ(grid.GY[1], 30.0 / 19.0 + 10.0);
  for (int i = 0; i < 20; ++i) {
    for (int j = 0; j < 20; ++j) {
      double fc = 0.0;
      driver::CALCFC(grid.GX[i], grid.GY[j], fc, grid);
      if (i < 19 && j < 19) {
        EXPECT_EQ(fc, grid.GFC[i + 20 * j]);
      } else {
        EXPECT_NEAR(fc, grid.GFC[i + 20 * j], 1e-9);
      }
      EXPECT_EQ(grid.GFC[i + 20 * j], grid.GFC[20 * j]) << "line " << j << " is flat";
    }
  }
  for (const double x : {-1e6, 999.0, 1234.5, 5e5}) {
    for (int j = 0; j < 19; ++j) {
      double fc = 0.0;
      driver::CALCFC(x, grid.GY[j], fc, grid);
      EXPECT_EQ(fc, grid.GFC[20 * j]) << x;
    }
  }
}

}  // namespace
