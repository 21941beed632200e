// The program's files through the library: operating points read by the
// program's rules (whole or in blocks), and writers whose numbers read back
// to the same doubles.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "fuelcalc/fuelcalc.hpp"
#include "test_support.h"

namespace {

using namespace testing_support;

std::vector<std::uint64_t> bits(const std::vector<double>& values) {
  std::vector<std::uint64_t> out;
  for (const double v : values) out.push_back(std::bit_cast<std::uint64_t>(v));
  return out;
}

// Doubles that are hard to write back: shortest forms, extremes, signed zero.
const std::vector<double> kAwkward = {
    0.1,       -0.0, 0.0,  1e300, -1e-300, 5e-324, 1.7976931348623157e308, 123456789.123456789,
    1.0 / 3.0, -2.5, kInf, -kInf, 1500.0};

TEST(LibraryFiles, WrittenPointsAndMapsReadBackToTheSameDoubles) {
  TempDir dir;
  std::vector<double> speed = kAwkward, torque(kAwkward.rbegin(), kAwkward.rend());
  fuelcalc::write_points(dir.file("in.dat"), speed, torque);
  const fuelcalc::OperatingPoints read = fuelcalc::read_points(dir.file("in.dat"));
  EXPECT_EQ(bits(read.speed), bits(speed));
  EXPECT_EQ(bits(read.torque), bits(torque));

  std::vector<double> s, t, f;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) {
      s.push_back(1000.0 / 3.0 * (i + 1));
      t.push_back(0.1 * j - 0.05);
      f.push_back(std::nextafter(s.back() * t.back(), kInf));
    }
  fuelcalc::write_map(dir.file("map.dat"), s, t, f);
  const fuelcalc::FuelMap loaded = fuelcalc::FuelMap::load(dir.file("map.dat"));
  const fuelcalc::FuelMap direct = fuelcalc::FuelMap::from_points(s, t, f);
  EXPECT_EQ(std::memcmp(&loaded.grid(), &direct.grid(), sizeof(fuelcalc::Grid)), 0);
  EXPECT_TRUE(std::equal(loaded.point_fuels().begin(), loaded.point_fuels().end(),
                         direct.point_fuels().begin()));

  try {
    fuelcalc::write_points(dir.file("missing/in.dat"), speed, torque);
    ADD_FAILURE();
  } catch (const fuelcalc::Error& e) {
    EXPECT_EQ(e.kind(), fuelcalc::ErrorKind::open);
    EXPECT_EQ(e.os_error(), ENOENT);
  }
  try {
    fuelcalc::write_points("/dev/full", speed, torque);
    ADD_FAILURE();
  } catch (const fuelcalc::Error& e) {
    EXPECT_EQ(e.kind(), fuelcalc::ErrorKind::write);
    EXPECT_EQ(e.os_error(), ENOSPC);
  }
}

TEST(LibraryFiles, PointsByTheProgramsRules) {
  TempDir dir;
  const struct {
    const char* name;
    const char* text;
    std::vector<double> speed, torque;
    std::size_t failed_read, failed_line;  // 0: no failure
  } cases[] = {
      {"HeaderOnly", "x y\n", {}, {}, 0, 0},
      {"FreeForm", "h\n1 2\n\n3,4\r\n5\n6 7 8\n2*9\n", {1, 3, 5, 9}, {2, 4, 6, 9}, 0, 0},
      {"NullsKeepTheValueBefore", "h\n1 2\n3 /\n5,,\n", {1, 3, 5}, {2, 2, 2}, 0, 0},
      {"BadRecordInTheMiddle", "h\n1 2\n3 4\nabc\n5 6\n", {1, 3}, {2, 4}, 3, 4},
      {"BadLastRecordEndsTheData", "h\n1 2\n3 4\nabc\n", {1, 3}, {2, 4}, 0, 0},
      {"IncompleteLastPair", "h\n1 2\n3\n", {1}, {2}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir.file("in.dat"), c.text);
    // Blocks of one and three pairs, and the whole file at once.
    for (const std::size_t block : {1u, 3u}) {
      fuelcalc::PointReader reader(dir.file("in.dat"));
      std::vector<double> s, t, bs(block), bt(block);
      try {
        while (const std::size_t n = reader.read(bs, bt)) {
          s.insert(s.end(), bs.begin(), bs.begin() + static_cast<long>(n));
          t.insert(t.end(), bt.begin(), bt.begin() + static_cast<long>(n));
        }
        EXPECT_EQ(c.failed_read, 0u);
      } catch (const fuelcalc::Error& e) {
        EXPECT_EQ(e.kind(), fuelcalc::ErrorKind::read);
        EXPECT_EQ(e.index(), c.failed_read);
        EXPECT_EQ(e.line(), c.failed_line);
      }
      EXPECT_EQ(s, c.speed);
      EXPECT_EQ(t, c.torque);
      EXPECT_EQ(reader.count(), c.speed.size());
    }
    if (c.failed_read == 0) {
      EXPECT_EQ(fuelcalc::read_points(dir.file("in.dat")).speed, c.speed);
    } else {
      EXPECT_THROW(fuelcalc::read_points(dir.file("in.dat")), fuelcalc::Error);
    }
  }
  write_file(dir.file("empty.dat"), "");
  EXPECT_THROW(fuelcalc::read_points(dir.file("empty.dat")), fuelcalc::Error);
}

}  // namespace
