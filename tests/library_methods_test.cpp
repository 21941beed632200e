// The map's method and outside policy through the library's face: the
// direct method gives every measured point its fuel value, the grid's
// deviation there is the grid's value minus it, and each policy treats
// points inside, on each side of the envelope and beyond the speeds as it says.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "fuelcalc/fuelcalc.hpp"
#include "test_support.h"

namespace {

using namespace testing_support;

using fuelcalc::ErrorKind;
using fuelcalc::FuelMap;
using fuelcalc::Method;
using fuelcalc::Outside;
using fuelcalc::Where;

std::vector<double> fuel_at(const FuelMap& map, std::span<const double> speed,
                            std::span<const double> torque) {
  std::vector<double> out(speed.size());
  map.fuel(speed, torque, out);
  return out;
}

// A generated engine map, in shuffled order: per speed a motoring point
// (fuel 0) whose torque deepens with speed, 0 Nm, part loads and a full load
// that rises, levels off and falls with speed.
FuelMap generated(Method method, Outside outside = Outside::extrapolate) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> s, t, f;
  for (int k = 0; k < 15; ++k) {
    const double speed = 600.0 + 120.0 * k + 30.0 * unit(rng);
    const double full = std::min(1150.0, 350.0 + speed - 600.0) - 0.3 * std::max(0.0, speed - 1700);
    const int points = 4 + static_cast<int>(rng() % 10);
    for (int p = 0; p < points; ++p) {
      const double torque = p == 0            ? -(50.0 + 0.03 * speed)
                            : p == 1          ? 0.0
                            : p == points - 1 ? full
                                              : full * (p - 1 + 0.8 * unit(rng)) / (points - 2);
      s.push_back(speed);
      t.push_back(torque);
      f.push_back(p == 0 ? 0.0 : speed * (torque + 35.0) * 0.0213 * (1.0 + 0.03 * unit(rng)));
    }
  }
  for (std::size_t i = s.size() - 1; i > 0; --i) {
    const std::size_t j = rng() % (i + 1);
    std::swap(s[i], s[j]);
    std::swap(t[i], t[j]);
    std::swap(f[i], f[j]);
  }
  return FuelMap::from_points(s, t, f, method, outside);
}

FuelMap from_file(const std::string& file, Method method, Outside outside) {
  return FuelMap::load(file, method, outside);
}

TEST(LibraryMethods, DirectIsExactAtEveryMeasuredPointUnderEveryPolicy) {
  for (const Outside outside :
       {Outside::extrapolate, Outside::clamp, Outside::nan, Outside::error}) {
    for (const FuelMap& map :
         {from_file(kExampleMap, Method::direct, outside),
          from_file(kMotoringMap, Method::direct, outside),
          from_file(kHeavyDutyMap, Method::direct, outside), generated(Method::direct, outside)}) {
      ASSERT_EQ(map.method(), Method::direct);
      ASSERT_EQ(map.outside(), outside);
      const std::vector<double> fuel = fuel_at(map, map.point_speeds(), map.point_torques());
      for (std::size_t i = 0; i < map.size(); ++i)
        ASSERT_EQ(bits(fuel[i]), bits(map.point_fuels()[i]))
            << "point " << i << " of " << map.size() << ", policy " << static_cast<int>(outside);
    }
  }
}

TEST(LibraryMethods, GridDeviationIsTheGridsValueMinusTheMeasuredOne) {
  for (const std::string& file : {kExampleMap, kMotoringMap, kHeavyDutyMap}) {
    const FuelMap grid = FuelMap::load(file);
    const std::vector<double> value = fuel_at(grid, grid.point_speeds(), grid.point_torques());
    const std::vector<double> deviation = grid.grid_deviation();
    ASSERT_EQ(deviation.size(), grid.size());
    for (std::size_t i = 0; i < grid.size(); ++i)
      EXPECT_EQ(bits(deviation[i]), bits(value[i] - grid.point_fuels()[i])) << i;
    // The same whatever the method and policy the map has.
    EXPECT_EQ(FuelMap::load(file, Method::direct, Outside::nan).grid_deviation(), deviation);
    EXPECT_GT(std::count_if(deviation.begin(), deviation.end(), [](double d) { return d != 0; }),
              static_cast<long>(grid.size() / 2));
  }
}

// The point moved onto the envelope as the policy says, computed here from
// the envelope rows.
struct Clamped {
  double speed, torque;
};

Clamped onto_envelope(const FuelMap& map, double speed, double torque) {
  const auto rows = map.envelope();
  speed = std::clamp(speed, rows.front().speed, rows.back().speed);
  auto above = std::lower_bound(rows.begin(), rows.end(), speed,
                                [](const auto& row, double s) { return row.speed < s; });
  double lowest = above->lowest_torque, highest = above->highest_torque;
  if (above->speed != speed) {
    const auto& below = *(above - 1);
    const double f = (speed - below.speed) / (above->speed - below.speed);
    lowest = below.lowest_torque + (above->lowest_torque - below.lowest_torque) * f;
    highest = below.highest_torque + (above->highest_torque - below.highest_torque) * f;
  }
  return {speed, std::clamp(torque, lowest, highest)};
}

class OutsidePolicy : public ::testing::TestWithParam<Method> {};

TEST_P(OutsidePolicy, InsideAlikeOutsideAsItSays) {
  const Method method = GetParam();
  const FuelMap plain = from_file(kMotoringMap, method, Outside::extrapolate);
  const FuelMap clamp = from_file(kMotoringMap, method, Outside::clamp);
  const FuelMap nan = from_file(kMotoringMap, method, Outside::nan);
  const FuelMap error = from_file(kMotoringMap, method, Outside::error);
  const struct {
    double speed, torque;
    Where where;
  } points[] = {
      {1500, 600, Where::inside},        {1234.5, -70, Where::inside},
      {600, -68.8, Where::inside},       {2200, 940, Where::inside},
      {1000, -200, Where::below},        {1333.3, -110, Where::below},
      {1000, 1100, Where::above},        {1950, 1500, Where::above},
      {450, 100, Where::beyond_speed},   {2400, -300, Where::beyond_speed},
      {3000, 2000, Where::beyond_speed}, {-kInf, kInf, Where::beyond_speed},
      {1e300, 50, Where::beyond_speed},
  };
  std::vector<double> speeds, torques;
  for (const auto& p : points) {
    SCOPED_TRACE(std::to_string(p.speed) + ", " + std::to_string(p.torque));
    ASSERT_EQ(plain.where(p.speed, p.torque), p.where);
    const double value = plain.fuel(p.speed, p.torque);
    const Clamped c = onto_envelope(plain, p.speed, p.torque);
    EXPECT_EQ(bits(clamp.fuel(p.speed, p.torque)), bits(plain.fuel(c.speed, c.torque)));
    if (p.where == Where::inside) {
      EXPECT_EQ(bits(clamp.fuel(p.speed, p.torque)), bits(value));
      EXPECT_EQ(bits(nan.fuel(p.speed, p.torque)), bits(value));
      EXPECT_EQ(bits(error.fuel(p.speed, p.torque)), bits(value));
    } else {
      EXPECT_TRUE(std::isnan(nan.fuel(p.speed, p.torque)));
      EXPECT_THROW(error.fuel(p.speed, p.torque), fuelcalc::Error);
    }
    speeds.push_back(p.speed);
    torques.push_back(p.torque);
  }
  // Arrays give what single points give.
  const std::vector<double> clamped = fuel_at(clamp, speeds, torques);
  const std::vector<double> nans = fuel_at(nan, speeds, torques);
  for (std::size_t i = 0; i < speeds.size(); ++i) {
    EXPECT_EQ(bits(clamped[i]), bits(clamp.fuel(speeds[i], torques[i]))) << i;
    EXPECT_EQ(bits(nans[i]), bits(nan.fuel(speeds[i], torques[i]))) << i;
  }
  // Under error, the first point outside raises; the ones before it have their values.
  std::vector<double> out(speeds.size(), -1.0);
  try {
    error.fuel(speeds, torques, out);
    ADD_FAILURE() << "no error";
  } catch (const fuelcalc::Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::outside);
    EXPECT_EQ(e.index(), 4u);
    EXPECT_EQ(std::string(e.what()),
              "point 4: the point at speed 1000, torque -200 lies outside the measured map: "
              "below the lowest measured torque at its speed");
    for (std::size_t i = 0; i < 4; ++i)
      EXPECT_EQ(bits(out[i]), bits(plain.fuel(speeds[i], torques[i])));
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, OutsidePolicy, ::testing::Values(Method::grid, Method::direct),
                         [](const auto& info) {
                           return info.param == Method::grid ? "Grid" : "Direct";
                         });

// A coordinate that is not a number: an interpolation Error where the method
// fails on it (also under clamp, which cannot move it), NaN under nan, an
// outside Error under error. The direct method takes torque first.
TEST(LibraryMethods, NotANumberCoordinates) {
  const struct {
    Method method;
    Outside outside;
    double speed, torque;
    ErrorKind kind;  // invalid_argument here: no Error, the value is NaN
    int code;
    const char* message;
  } cases[] = {
      {Method::direct, Outside::extrapolate, kNaN, 300, ErrorKind::interpolation, 4,
       "the speed is not a number"},
      {Method::direct, Outside::extrapolate, 1500, kNaN, ErrorKind::interpolation, 2,
       "the torque is not a number"},
      {Method::direct, Outside::clamp, kNaN, kNaN, ErrorKind::interpolation, 2,
       "the torque is not a number"},
      {Method::grid, Outside::clamp, kNaN, 300, ErrorKind::interpolation, 6,
       "the speed is not a number"},
      {Method::direct, Outside::error, 1500, kNaN, ErrorKind::outside, 0,
       "the point at speed 1500, torque nan lies outside the measured map: beyond the measured "
       "speeds"},
      {Method::grid, Outside::nan, kNaN, 300, ErrorKind::invalid_argument, 0, ""},
      {Method::direct, Outside::nan, 1500, kNaN, ErrorKind::invalid_argument, 0, ""},
  };
  for (const auto& c : cases) {
    const FuelMap map = from_file(kMotoringMap, c.method, c.outside);
    SCOPED_TRACE(c.message);
    try {
      const double value = map.fuel(c.speed, c.torque);
      EXPECT_EQ(c.kind, ErrorKind::invalid_argument);
      EXPECT_TRUE(std::isnan(value));
    } catch (const fuelcalc::Error& e) {
      EXPECT_EQ(e.kind(), c.kind);
      EXPECT_EQ(e.code(), c.code);
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
  // In an array, the failing point is named by its place in the caller's array.
  const FuelMap clamp = from_file(kMotoringMap, Method::direct, Outside::clamp);
  std::vector<double> speeds(300, 1500.0), torques(300, 2000.0), out(300);
  speeds[290] = kNaN;
  try {
    clamp.fuel(speeds, torques, out);
    ADD_FAILURE() << "no error";
  } catch (const fuelcalc::Error& e) {
    EXPECT_EQ(e.index(), 290u);
    EXPECT_EQ(std::string(e.what()), "point 290: the speed is not a number");
  }
}

}  // namespace
