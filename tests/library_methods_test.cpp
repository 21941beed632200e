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

constexpr Outside kPolicies[] = {Outside::extrapolate, Outside::clamp, Outside::nan, Outside::error,
                                 Outside::bounded};

// Bounded gives 0 for a value below 0 and keeps the bits of any other.
double at_least_zero(double value) { return value >= 0.0 ? value : 0.0; }

TEST(LibraryMethods, DirectIsExactAtEveryMeasuredPointUnderEveryPolicy) {
  for (const Outside outside : kPolicies) {
    for (const FuelMap& map :
         {from_file(kExampleMap, Method::direct, outside),
          from_file(kMotoringMap, Method::direct, outside),
          from_file(kHeavyDutyMap, Method::direct, outside), generated(Method::direct, outside)}) {
      ASSERT_EQ(map.method(), Method::direct);
      ASSERT_EQ(map.outside(), outside);
      const std::vector<double> fuel = fuel_at(map, map.point_speeds(), map.point_torques());
      for (std::size_t i = 0; i < map.size(); ++i)
        ASSERT_EQ(bits(fuel[i]),
                  bits(outside == Outside::bounded ? at_least_zero(map.point_fuels()[i])
                                                   : map.point_fuels()[i]))
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
// the envelope rows and the measured points: with the highest measured
// torque there and the slope of the chord of the two highest measured points
// at that speed (interpolated linearly between measured speeds, 0 when
// negative).
struct Clamped {
  double speed, torque, highest, slope;
};

Clamped onto_envelope(const FuelMap& map, double speed, double torque) {
  const auto rows = map.envelope();
  std::vector<double> slopes;
  const auto s = map.point_speeds(), t = map.point_torques(), f = map.point_fuels();
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (i + 1 < s.size() && s[i + 1] == s[i]) continue;  // i: the top point of its speed
    const double slope = (f[i] - f[i - 1]) / (t[i] - t[i - 1]);
    slopes.push_back(slope > 0 ? slope : 0.0);
  }
  speed = std::clamp(speed, rows.front().speed, rows.back().speed);
  auto above = std::lower_bound(rows.begin(), rows.end(), speed,
                                [](const auto& row, double s) { return row.speed < s; });
  const std::size_t r = above - rows.begin();
  double lowest = above->lowest_torque, highest = above->highest_torque, slope = slopes[r];
  if (above->speed != speed) {
    const auto& below = *(above - 1);
    const double f = (speed - below.speed) / (above->speed - below.speed);
    lowest = below.lowest_torque + (above->lowest_torque - below.lowest_torque) * f;
    highest = below.highest_torque + (above->highest_torque - below.highest_torque) * f;
    slope = slopes[r - 1] + (slopes[r] - slopes[r - 1]) * f;
  }
  return {speed, std::clamp(torque, lowest, highest), highest, slope > 0 ? slope : 0.0};
}

// The bounded value by its rules: the value at the point moved onto the
// envelope at least 0, plus above the envelope the slope times the excess.
double bounded_by_rules(const FuelMap& plain, double speed, double torque) {
  if (std::isnan(speed) || std::isnan(torque)) return kNaN;
  const Clamped c = onto_envelope(plain, speed, torque);
  const double value = at_least_zero(plain.fuel(c.speed, c.torque));
  return torque > c.highest && c.slope > 0 ? value + c.slope * (torque - c.highest) : value;
}

class OutsidePolicy : public ::testing::TestWithParam<Method> {};

TEST_P(OutsidePolicy, InsideAlikeOutsideAsItSays) {
  const Method method = GetParam();
  const FuelMap plain = from_file(kMotoringMap, method, Outside::extrapolate);
  const FuelMap clamp = from_file(kMotoringMap, method, Outside::clamp);
  const FuelMap nan = from_file(kMotoringMap, method, Outside::nan);
  const FuelMap error = from_file(kMotoringMap, method, Outside::error);
  const FuelMap bounded = from_file(kMotoringMap, method, Outside::bounded);
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
    EXPECT_EQ(bits(bounded.fuel(p.speed, p.torque)),
              bits(bounded_by_rules(plain, p.speed, p.torque)));
    if (p.where == Where::inside) {
      EXPECT_EQ(bits(bounded.fuel(p.speed, p.torque)), bits(at_least_zero(value)));
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
  const std::vector<double> bounds = fuel_at(bounded, speeds, torques);
  for (std::size_t i = 0; i < speeds.size(); ++i) {
    EXPECT_EQ(bits(clamped[i]), bits(clamp.fuel(speeds[i], torques[i]))) << i;
    EXPECT_EQ(bits(bounds[i]), bits(bounded.fuel(speeds[i], torques[i]))) << i;
    EXPECT_EQ(bits(nans[i]), bits(nan.fuel(speeds[i], torques[i]))) << i;
  }
  // The classes of arrays (the bands first) are those of single points
  // (where_in alone), also right at the envelope's edges and around them.
  std::vector<double> s = speeds, t = torques;
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> speed_in(500.0, 2500.0), torque_in(-400.0, 1600.0);
  for (int i = 0; i < 4000; ++i) {
    const double speed =
        i % 4 == 0 ? std::round(speed_in(random) / 100.0) * 100.0 : speed_in(random);
    const double edge = onto_envelope(plain, speed, i % 2 ? 1e9 : -1e9).torque;
    for (const double torque : {torque_in(random), edge, std::nextafter(edge, kInf),
                                std::nextafter(edge, -kInf), edge + 1e-9, edge - 1e-9}) {
      s.push_back(speed);
      t.push_back(torque);
    }
  }
  for (const FuelMap* map : {&plain, &bounded}) {
    std::vector<Where> classes(s.size());
    map->where(s, t, classes);
    std::size_t outside = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      ASSERT_EQ(classes[i], map->where(s[i], t[i])) << s[i] << ", " << t[i];
      outside += classes[i] != Where::inside;
    }
    EXPECT_EQ(map->count_outside(s, t), outside);
  }
  // Bounded arrays of those points give the single points' bits (the literal
  // procedure) on each side of the edges.
  const std::vector<double> at_edges = fuel_at(bounded, s, t);
  for (std::size_t i = 0; i < s.size(); ++i)
    ASSERT_EQ(bits(at_edges[i]), bits(bounded.fuel(s[i], t[i]))) << s[i] << ", " << t[i];
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

// Bounded on each side of the envelope, at measured speeds and between them:
// below, the value at the lowest measured torque; beyond the speeds, the value
// at the nearest measured speed; above, continuous at the envelope and never
// decreasing; never below 0.
TEST_P(OutsidePolicy, BoundedOnEachSideOfTheEnvelope) {
  for (const FuelMap& plain :
       {from_file(kMotoringMap, GetParam(), Outside::extrapolate), generated(GetParam())}) {
    const FuelMap bounded = FuelMap::from_points(plain.point_speeds(), plain.point_torques(),
                                                 plain.point_fuels(), GetParam(), Outside::bounded);
    const auto rows = plain.envelope();
    const double first = rows.front().speed, last = rows.back().speed;
    for (const double speed : {first, rows[1].speed, (rows[2].speed + rows[3].speed) / 2, last}) {
      SCOPED_TRACE(speed);
      const Clamped top = onto_envelope(plain, speed, kInf);
      const Clamped bottom = onto_envelope(plain, speed, -kInf);
      const double low = bottom.torque, high = top.torque, range = high - low;
      const double at_low = bounded.fuel(speed, low), at_high = bounded.fuel(speed, high);
      EXPECT_EQ(bits(at_low), bits(at_least_zero(plain.fuel(speed, low))));
      EXPECT_EQ(bits(at_high), bits(at_least_zero(plain.fuel(speed, high))));
      for (const double below : {low - 1e-9 * range, low - 1.0, low - range, -1e300, -kInf})
        EXPECT_EQ(bits(bounded.fuel(speed, below)), bits(at_low)) << below;
      double before = at_high;
      for (const double above : {high + 1e-9 * range, high + 1.0, high + range, 1e300, kInf}) {
        const double value = bounded.fuel(speed, above);
        EXPECT_EQ(bits(value), bits(bounded_by_rules(plain, speed, above))) << above;
        EXPECT_GE(value, before) << above;
        before = value;
      }
      // Continuous at the envelope: the rise over a billionth of the range is that small.
      EXPECT_LE(bounded.fuel(speed, high + 1e-9 * range) - at_high,
                1e-9 * range * top.slope * (1 + 1e-9) + 1e-12 * std::fabs(at_high));
      EXPECT_EQ(bits(bounded.fuel(speed, kInf)), bits(top.slope > 0 ? kInf : at_high));
      for (const double torque : {low - range, low, (low + high) / 2, high, high + range}) {
        EXPECT_GE(bounded.fuel(speed, torque), 0.0);
        if (speed == first) {
          for (const double beyond : {first - 1.0, first - 1e6, -kInf})
            EXPECT_EQ(bits(bounded.fuel(beyond, torque)), bits(bounded.fuel(first, torque)));
        }
        if (speed == last) {
          for (const double beyond : {last + 1.0, last + 1e6, kInf})
            EXPECT_EQ(bits(bounded.fuel(beyond, torque)), bits(bounded.fuel(last, torque)));
        }
      }
    }
  }
}

// An array takes the method directly, a single point the point by point
// procedure: the same bits either way at the points inside, the method's own
// (at least 0), whatever points outside an array holds.
TEST_P(OutsidePolicy, BoundedInsideGivesTheMethodsBits) {
  // Shifted down so that part of the map lies below 0.
  const FuelMap shifted = generated(GetParam());
  std::vector<double> fuel(shifted.point_fuels().begin(), shifted.point_fuels().end());
  for (double& f : fuel) f -= 5000.0;
  for (std::size_t i = 0; i < fuel.size(); i += 3) fuel[i] = -0.0;  // kept as it is, sign and all
  const FuelMap plain =
      FuelMap::from_points(shifted.point_speeds(), shifted.point_torques(), fuel, GetParam());
  const FuelMap bounded = FuelMap::from_points(shifted.point_speeds(), shifted.point_torques(),
                                               fuel, GetParam(), Outside::bounded);
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> speed(500.0, 2500.0), torque(-150.0, 1300.0);
  std::vector<double> s, t, mixed_s, mixed_t;
  while (s.size() < 3000) {
    const double a = speed(rng), b = torque(rng);
    if (!plain.inside(a, b)) continue;
    s.push_back(a);
    t.push_back(b);
    mixed_s.push_back(a);
    mixed_t.push_back(b);
    if (s.size() % 100 == 0) {  // a point outside in every chunk, every other one infinite
      mixed_s.push_back(s.size() % 200 == 0 ? kInf : 5000.0);
      mixed_t.push_back(-1e4);
    }
  }
  // The measured points too, on the envelope's edges among them (the direct
  // method gives them their measured values, -0.0 included).
  for (std::size_t i = 0; i < plain.size(); ++i) {
    for (auto* v : {&s, &mixed_s}) v->push_back(plain.point_speeds()[i]);
    for (auto* v : {&t, &mixed_t}) v->push_back(plain.point_torques()[i]);
  }
  const std::vector<double> extrapolated = fuel_at(plain, s, t);
  const std::vector<double> fast = fuel_at(bounded, s, t);
  const std::vector<double> mixed = fuel_at(bounded, mixed_s, mixed_t);
  for (std::size_t i = 0, m = 0; i < s.size(); ++i, ++m) {
    if (mixed_t[m] == -1e4) ++m;
    ASSERT_EQ(bits(fast[i]), bits(at_least_zero(extrapolated[i]))) << i;
    ASSERT_EQ(bits(mixed[m]), bits(fast[i])) << i;
    ASSERT_EQ(bits(bounded.fuel(s[i], t[i])), bits(fast[i])) << i;
  }
  EXPECT_GT(std::count_if(extrapolated.begin(), extrapolated.end(), [](double v) { return v < 0; }),
            300);
  if (GetParam() == Method::direct) {
    EXPECT_GT(
        std::count_if(fast.begin(), fast.end(), [](double v) { return bits(v) == bits(-0.0); }),
        10);
  }
}

// A point with a coordinate that is not a number has no value under every
// policy but error; infinite coordinates follow the policy as any point
// outside. Arrays give what single points give.
TEST_P(OutsidePolicy, NotANumberAndInfinities) {
  enum Expect { kNone, kOutside, kOwn, kClamped, kBounded };
  const struct {
    double speed, torque;
    Where where;
    Expect extrapolate, clamp;
  } cases[] = {
      {kNaN, 300, Where::nan, kNone, kNone},
      {1500, kNaN, Where::nan, kNone, kNone},
      {kNaN, kNaN, Where::nan, kNone, kNone},
      {kInf, 300, Where::beyond_speed, kOwn, kClamped},
      {-kInf, 300, Where::beyond_speed, kOwn, kClamped},
      {1500, kInf, Where::above, kOwn, kClamped},
      {1500, -kInf, Where::below, kOwn, kClamped},
      {-kInf, kInf, Where::beyond_speed, kOwn, kClamped},
  };
  const FuelMap plain = from_file(kMotoringMap, GetParam(), Outside::extrapolate);
  for (const Outside outside : kPolicies) {
    const FuelMap map = from_file(kMotoringMap, GetParam(), outside);
    std::vector<double> s, t, each;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(static_cast<int>(outside)) + ": " + std::to_string(c.speed) +
                   ", " + std::to_string(c.torque));
      ASSERT_EQ(map.where(c.speed, c.torque), c.where);
      EXPECT_FALSE(map.inside(c.speed, c.torque));
      Expect expect = outside == Outside::extrapolate ? c.extrapolate
                      : outside == Outside::clamp     ? c.clamp
                      : outside == Outside::nan       ? kNone
                      : outside == Outside::error     ? kOutside
                                                      : (c.where == Where::nan ? kNone : kBounded);
      if (expect == kOutside) {
        try {
          map.fuel(c.speed, c.torque);
          ADD_FAILURE() << "no error";
        } catch (const fuelcalc::Error& e) {
          EXPECT_EQ(e.kind(), ErrorKind::outside);
          EXPECT_EQ(e.index(), 0u);
        }
        continue;
      }
      const double value = map.fuel(c.speed, c.torque);
      switch (expect) {
        case kNone: EXPECT_TRUE(std::isnan(value)); break;
        case kOwn: EXPECT_EQ(bits(value), bits(plain.fuel(c.speed, c.torque))); break;
        case kClamped: {  // never for a NaN coordinate, which has no place on the envelope
          const Clamped onto = onto_envelope(plain, c.speed, c.torque);
          EXPECT_EQ(bits(value), bits(plain.fuel(onto.speed, onto.torque)));
          break;
        }
        default: EXPECT_EQ(bits(value), bits(bounded_by_rules(plain, c.speed, c.torque)));
      }
      s.push_back(c.speed);
      t.push_back(c.torque);
      each.push_back(value);
    }
    const std::vector<double> all = fuel_at(map, s, t);
    for (std::size_t i = 0; i < s.size(); ++i) EXPECT_EQ(bits(all[i]), bits(each[i])) << i;
  }
  // Under error, an array names its first such point.
  const FuelMap error = from_file(kMotoringMap, GetParam(), Outside::error);
  std::vector<double> speeds(300, 1500.0), torques(300, 300.0), out(300);
  speeds[290] = kNaN;
  try {
    error.fuel(speeds, torques, out);
    ADD_FAILURE() << "no error";
  } catch (const fuelcalc::Error& e) {
    EXPECT_EQ(e.index(), 290u);
    EXPECT_EQ(std::string(e.what()),
              "point 290: the point at speed nan, torque 300 lies outside the measured map: a "
              "coordinate is not a number");
  }
}

}  // namespace
