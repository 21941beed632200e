// The library against the program: the example files give the program's
// output lines, the grid and the points are the program's to the bit; bad
// input gives its Error and nothing else; the envelope places points.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "fuelcalc/fuelcalc.hpp"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "run_expectations.h"
#include "test_support.h"
#include "textio/fixed_edit.h"
#include "textio/units.h"

namespace {

using namespace testing_support;
using fuelcalc::ErrorKind;
using fuelcalc::FuelMap;
using fuelcalc::Where;

std::string edited(double v, int decimals) {
  char field[textio::fixed_field_capacity(3) + 8];
  return {field, textio::edit_fixed(v, decimals, field)};
}

TEST(Library, ExampleRunGivesTheProgramsOutputLines) {
  // The example drive cycle, then points outside the map, far away and infinite.
  RunFolder run;
  const std::string extra = "300 50\n2500 1500\n1500 -400\n1e6 -1e6\ninf 15\n1500 -inf\n";
  write_file(run.input, read_file(kExampleCycle) + extra);
  const RunResult result = run_fuelcalc({kExampleMap, run.input, run.output});
  ASSERT_EQ(result.status, 0) << result.err;

  const FuelMap map = FuelMap::load(kExampleMap);
  const fuelcalc::OperatingPoints points = fuelcalc::read_points(run.input);
  ASSERT_EQ(points.speed.size(), 3006u);
  std::vector<double> fuel(points.speed.size());
  map.fuel(points.speed, points.torque, fuel);
  std::string lines = kHeader;
  for (std::size_t i = 0; i < fuel.size(); ++i) {
    lines += edited(points.speed[i], 2) + "\t" + edited(points.torque[i], 3) + "\t" +
             edited(fuel[i], 3) + "\r\n";
    EXPECT_EQ(bits(map.fuel(points.speed[i], points.torque[i])), bits(fuel[i])) << i;
  }
  EXPECT_EQ(run.out_file(), lines);
}

TEST(Library, GridAndPointsAreTheProgramsBits) {
  fuelmap::MAP program_map;
  fuelmap::GRID program_grid;
  const auto ending = capture_ending([&] {
    fuelmap::LOADMAP(17, kExampleMap, program_map);
    fuelmap::FCGRID(program_grid, program_map);
  });
  ASSERT_EQ(ending.status, -1) << ending.err;
  textio::close_all_units();

  const FuelMap map = FuelMap::load(kExampleMap);
  const fuelcalc::Grid& grid = map.grid();
  for (std::size_t i = 0; i < 20; ++i) {
    EXPECT_EQ(bits(grid.speed[i]), bits(program_grid.GX[i]));
    EXPECT_EQ(bits(grid.torque[i]), bits(program_grid.GY[i]));
    for (std::size_t j = 0; j < 20; ++j)
      EXPECT_EQ(bits(grid.fuel[i][j]), bits(program_grid.GFC[i + 20 * j])) << i << ", " << j;
  }
  ASSERT_EQ(map.size(), static_cast<std::size_t>(program_map.NMAP));
  EXPECT_TRUE(
      std::equal(map.point_speeds().begin(), map.point_speeds().end(), program_map.XMAP.begin()));
  EXPECT_TRUE(
      std::equal(map.point_torques().begin(), map.point_torques().end(), program_map.YMAP.begin()));
  EXPECT_TRUE(
      std::equal(map.point_fuels().begin(), map.point_fuels().end(), program_map.FCMAP.begin()));

  // The same points in reverse order, and the text, give the same map.
  std::vector<double> s(program_map.XMAP.rbegin(), program_map.XMAP.rend());
  std::vector<double> t(program_map.YMAP.rbegin(), program_map.YMAP.rend());
  std::vector<double> f(program_map.FCMAP.rbegin(), program_map.FCMAP.rend());
  for (const FuelMap& other :
       {FuelMap::from_points(s, t, f), FuelMap::parse(read_file(kExampleMap))}) {
    EXPECT_EQ(std::memcmp(&other.grid(), &grid, sizeof grid), 0);
    for (const double x : {333.0, 1234.5, 2200.0, -kInf})
      for (const double y : {-20.0, 0.0, 640.25, 5000.0, kInf}) {
        double literal = 0.0;
        ASSERT_FALSE(fuelmap::literal_fuel(x, y, literal, program_grid));
        EXPECT_EQ(bits(other.fuel(x, y)), bits(literal)) << x << ", " << y;
      }
  }
  EXPECT_EQ(fuelcalc::version(), "1.0.0");
}

// How a bad map or bad call fails.
struct BadInput {
  const char* name;
  std::function<void()> call;
  ErrorKind kind;
  int code, ierr;
  std::string message;  // the whole what()
};

FuelMap from(const std::vector<double>& s, const std::vector<double>& t,
             const std::vector<double>& f) {
  return FuelMap::from_points(s, t, f);
}

TEST(Library, BadInputGivesItsError) {
  TempDir dir;
  const std::string missing = dir.file("none.dat");
  const FuelMap bilinear = FuelMap::parse(kBilinearMap);
  std::vector<double> three(3), two(2);
  const BadInput cases[] = {
      {"NotAMap", [] { FuelMap::parse("just one line"); }, ErrorKind::read, 0, 0,
       "the map text ends before its two header lines"},
      {"LetterInAMap", [] { FuelMap::parse("h\nh\n1 2 3\n1 2 x\n"); }, ErrorKind::read, 0, 0,
       "the map text cannot be read at line 4: a value that is not a number"},
      {"QuotedTextInAMap", [] { FuelMap::parse("h\nh\n1 2 '3'\n"); }, ErrorKind::read, 0, 0,
       "the map text cannot be read at line 3: a value that cannot be taken as a number"},
      {"PointLackingAValue", [] { FuelMap::parse("h\nh\n1 2 3\n1,,3\n"); }, ErrorKind::read, 0, 0,
       "the map text cannot be read at line 4: a point without all three values"},
      {"MissingFile", [&] { FuelMap::load(missing); }, ErrorKind::open, 0, 0,
       "cannot open '" + missing + "' for reading: No such file or directory"},
      {"Folder", [&] { FuelMap::load(dir.path); }, ErrorKind::open, 0, 0,
       "cannot open '" + dir.path + "' for reading: Is a directory"},
      {"DifferentLengths", [&] { FuelMap::from_points(three, three, two); },
       ErrorKind::invalid_argument, 0, 0,
       "speed, torque and fuel arrays of different lengths: 3, 3, 2"},
      {"NoPoints", [] { from({}, {}, {}); }, ErrorKind::invalid_argument, 0, 0,
       "no points to build a map from"},
      {"HeadersOnly", [] { FuelMap::parse("h\nh\n"); }, ErrorKind::interpolation, 1, -1,
       "the map holds no points"},
      {"SingletonSpeed",
       [] {
         from({800, 1500, 1500}, {10, 10, 20}, {1, 2, 3});
       },
       ErrorKind::interpolation, 1, -1, "a first coordinate with a single point: 800 rpm"},
      {"DuplicatePoint",
       [] {
         from({1000, 1000, 1500, 1500}, {1, 2, 120, 120}, {1, 2, 3, 3});
       },
       ErrorKind::interpolation, 1, -3, "repeated torque 120 at speed 1500"},
      {"OneSpeed",
       [] {
         from({900, 900, 900}, {1, 2, 3}, {1, 2, 3});
       },
       ErrorKind::interpolation, 3, -1,
       "a single first coordinate: every point is at 900 rpm; a map needs two speeds or more"},
      {"OutOfAnotherLength", [&] { bilinear.fuel(three, three, two); }, ErrorKind::invalid_argument,
       0, 0, "speed, torque and out arrays of different lengths: 3, 3, 2"},
      {"CountOutsideOfAnotherLength", [&] { bilinear.count_outside(three, two); },
       ErrorKind::invalid_argument, 0, 0, "speed and torque arrays of different lengths: 3, 2"},
      {"WrittenOfAnotherLength", [&] { fuelcalc::write_points(dir.file("p.dat"), two, three); },
       ErrorKind::invalid_argument, 0, 0, "speed and torque arrays of different lengths: 2, 3"},
      {"HeaderTooLong", [] { FuelMap::parse(std::string(2050, 'X') + "\nh\n1 2 3\n"); },
       ErrorKind::read, 0, 0,
       "the map text cannot be read at line 1: a text value longer than 2049 characters (or a "
       "repeat count that is zero or stands before a slash)"},
      {"HeaderRepeatCountTooLarge", [] { FuelMap::parse("h\n3000000000*h\n1 2 3\n"); },
       ErrorKind::read, 0, 0,
       "the map text cannot be read at line 2: a repeat count beyond 2147483647"},
  };
  for (const BadInput& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.call();
      ADD_FAILURE() << "no error";
    } catch (const fuelcalc::Error& e) {
      EXPECT_EQ(e.kind(), c.kind);
      EXPECT_EQ(e.code(), c.code);
      EXPECT_EQ(e.ierr(), c.ierr);
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

TEST(Library, ErrorDetails) {
  try {
    FuelMap::parse("h\nh\n1 2 3\n\n1 2\n3\n4 5 x\n");
    ADD_FAILURE();
  } catch (const fuelcalc::Error& e) {
    EXPECT_EQ(e.line(), 7u);
    EXPECT_EQ(e.index(), 3u);  // the third read of a point
  }
  try {
    FuelMap::load("/nonexistent/map.dat");
    ADD_FAILURE();
  } catch (const fuelcalc::Error& e) {
    EXPECT_EQ(e.os_error(), ENOENT);
  }
  const FuelMap bilinear = FuelMap::parse(kBilinearMap);
  const FuelMap refusing =
      FuelMap::parse(kBilinearMap, fuelcalc::Method::grid, fuelcalc::Outside::error);
  std::vector<double> s = {1500, 2500, kNaN, 1500}, t = {15, 25, 15, kNaN}, out(4, -1.0);
  bilinear.fuel(s, t, out);  // a coordinate that is not a number gives no value
  EXPECT_TRUE(std::isnan(out[2]) && std::isnan(out[3]));
  EXPECT_TRUE(std::isnan(bilinear.fuel(kNaN, 30)));
  std::fill(out.begin(), out.end(), -1.0);
  try {
    refusing.fuel(s, t, out);
    ADD_FAILURE();
  } catch (const fuelcalc::Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::outside);
    EXPECT_EQ(e.index(), 1u);         // 2500 lies beyond the measured speeds
    EXPECT_NEAR(out[0], 2.75, 1e-9);  // the points before it have their values
  }
  // Empty arrays to evaluate give an empty result.
  bilinear.fuel(std::span<const double>{}, std::span<const double>{}, std::span<double>{});
  EXPECT_EQ(bilinear.count_outside({}, {}), 0u);
}

// A map from a file that gives no grid names the first line of the points
// involved, wherever the ordering put them; from arrays no line.
TEST(Library, MapErrorsNameTheirLines) {
  const struct {
    const char* name;
    const char* text;
    std::size_t line;
  } cases[] = {
      {"SpeedWithOnePoint", "h\nh\n1500 10 1\n1500 20 2\n800 10 3\n", 5},
      {"RepeatedTorque", "h\nh\n1500 20 2\n1000 1 1\n1500 20 3\n1000 2 1\n", 3},
      {"RepeatedTorqueOverLines", "h\nh\n1000 1 1\n1000 2 1\n1500 5 3\n1500\n\n5 2\n", 5},
      {"PointAfterABlankLine", "h\nh\n1000 1 1\n1000 2 1\n\n1500\n5 2\n1500 5 3\n", 6},
      {"OneSpeed", "h\nh\n\n900 2 1\n900 1 1\n", 4},
      {"TorqueNotANumber", "h\nh\n1000 1 1\n1000 2 1\n1500 1 1\n1500 nan 2\n1500 3 3\n", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      FuelMap::parse(c.text);
      ADD_FAILURE() << "no error";
    } catch (const fuelcalc::Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::interpolation);
      EXPECT_EQ(e.line(), c.line);
    }
  }
  TempDir dir;
  write_file(dir.file("m.dat"), cases[1].text);
  try {
    FuelMap::load(dir.file("m.dat"));
    ADD_FAILURE() << "no error";
  } catch (const fuelcalc::Error& e) {
    EXPECT_EQ(e.line(), 3u);
    EXPECT_EQ(std::string(e.what()), "repeated torque 20 at speed 1500");
  }
  try {
    FuelMap::from_points(std::vector<double>{1, 2, 2}, std::vector<double>{1, 1, 2},
                         std::vector<double>{1, 1, 1});
    ADD_FAILURE() << "no error";
  } catch (const fuelcalc::Error& e) {
    EXPECT_FALSE(e.line());
  }
}

TEST(Library, WhereAgainstTheEnvelope) {
  // Speed 1000 measured from 10 to 30, speed 2000 from 20 to 60.
  const FuelMap map = FuelMap::from_points(std::vector<double>{2000, 1000, 1000, 2000, 2000, 1000},
                                           std::vector<double>{60, 10, 30, 20, 40, 20},
                                           std::vector<double>{6, 1, 3, 2, 4, 2});
  ASSERT_EQ(map.envelope().size(), 2u);
  EXPECT_EQ(map.envelope()[0].speed, 1000);
  EXPECT_EQ(map.envelope()[0].lowest_torque, 10);
  EXPECT_EQ(map.envelope()[0].highest_torque, 30);
  EXPECT_EQ(map.envelope()[1].highest_torque, 60);
  const struct {
    double speed, torque;
    Where where;
  } cases[] = {
      {1000, 10, Where::inside},        {1000, 30, Where::inside},
      {1000, 9.99, Where::below},       {1000, 31, Where::above},
      {1500, 15, Where::inside},        {1500, 14.9, Where::below},
      {1500, 45, Where::inside},        {1500, 45.1, Where::above},
      {2000, 60, Where::inside},        {999, 20, Where::beyond_speed},
      {2001, 30, Where::beyond_speed},  {kNaN, 20, Where::nan},
      {1500, kNaN, Where::nan},         {1500, kInf, Where::above},
      {-kInf, 20, Where::beyond_speed},
  };
  std::vector<double> s, t;
  std::size_t outside = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(map.where(c.speed, c.torque), c.where) << c.speed << ", " << c.torque;
    EXPECT_EQ(map.inside(c.speed, c.torque), c.where == Where::inside);
    s.push_back(c.speed);
    t.push_back(c.torque);
    outside += c.where != Where::inside;
  }
  std::vector<Where> each(s.size());
  map.where(s, t, each);
  for (std::size_t i = 0; i < each.size(); ++i) EXPECT_EQ(each[i], cases[i].where);
  EXPECT_EQ(map.count_outside(s, t), outside);
}

TEST(Library, MillionPointMapLoads) {
  const int side = kSanitized ? 200 : 1000;
  std::vector<double> s, t, f;
  std::string text = "large map\nSPEED TORQUE FUEL\n";
  for (int i = side - 1; i >= 0; --i)
    for (int j = 0; j < side; ++j) {
      s.push_back(600.0 + 1.8 * i);
      t.push_back(1.2 * ((j * 7919) % side));
      f.push_back(s.back() * 0.0205 * (t.back() + 40.0) + 600.0);
      text += std::to_string(s.back()) + " " + std::to_string(t.back()) + " " +
              std::to_string(f.back()) + "\n";
    }
  const FuelMap from_arrays = FuelMap::from_points(s, t, f);
  EXPECT_EQ(from_arrays.size(), s.size());
  const FuelMap from_text = FuelMap::parse(text);
  EXPECT_EQ(from_text.size(), s.size());
  EXPECT_NEAR(from_text.fuel(1500, 600), from_arrays.fuel(1500, 600), 1e-3);
}

}  // namespace
