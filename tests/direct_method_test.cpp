// The direct evaluation (no grid): exact at every measured point, the
// precomputed path bit for bit against the literal procedure, and the
// failures of the grid construction.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "driver/reporting.h"
#include "fuelmap/direct.h"
#include "fuelmap/direct_evaluator.h"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "generated_maps.h"
#include "runtime/units.h"
#include "test_support.h"

namespace {

using fuelmap::MAP;

constexpr int kProbesPerMap = testing_support::kSanitized ? 20'000 : 200'000;
using testing_support::kInf;

struct MapShape {
  const char* name;
  int runs;
  int min_points, max_points;  // per run, motoring points included
  bool rough;                  // fuel at random rather than engine-like
  std::uint64_t seed;
};

// An engine-like map in shuffled file order: per speed a motoring corner
// (torques below 0 whose depth grows with speed, fuel 0), 0 Nm, part loads
// and a full-load torque that rises, levels off and falls with speed.
MAP engine_map(const MapShape& shape) {
  std::mt19937_64 rng(shape.seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  MAP map;
  const auto add = [&](double x, double y, double fuel) {
    map.XMAP.push_back(x);
    map.YMAP.push_back(y);
    map.FCMAP.push_back(fuel);
  };
  double speed = 550.0 + 100.0 * unit(rng);
  for (int k = 0; k < shape.runs; ++k) {
    speed += 50.0 + 250.0 * unit(rng);
    const double full = std::min(1200.0, 300.0 + 0.9 * (speed - 500.0)) -
                        0.25 * std::max(0.0, speed - 1600.0) + 20.0 * unit(rng);
    const double motoring = -(45.0 + 0.035 * speed + 15.0 * unit(rng));
    const int points =
        shape.min_points + static_cast<int>(rng() % (shape.max_points - shape.min_points + 1));
    std::vector<double> torques = {motoring, full};
    if (points > 2) torques.push_back(unit(rng) < 0.7 ? 0.0 : motoring / 2.0);
    while (static_cast<int>(torques.size()) < points)
      torques.push_back(full * (0.02 + 0.96 * unit(rng)));
    for (const double t : torques) {
      const double fuel =
          shape.rough ? 3000.0 * (unit(rng) - 0.2)
          : t < 0.0   ? 0.0
                      : speed * (t + 0.04 * speed + 30.0) * 0.0211 * (1.0 + 0.05 * unit(rng));
      add(speed, t, fuel);
    }
  }
  testing_support::finish_generated_map(map, rng);
  return map;
}

MAP example_map() {
  MAP map;
  driver::LOADMAP(17, FUELCALC_SOURCE_DIR "/examples/torque_map.dat", map);
  return map;
}

const MapShape kShapes[] = {
    {"Engine", 12, 5, 14, false, 1},      {"EngineMany", 30, 3, 25, false, 2},
    {"TwoRuns", 2, 2, 6, false, 3},       {"ThreeRuns", 3, 2, 3, false, 4},
    {"FourRuns", 4, 2, 9, true, 5},       {"Rough", 15, 2, 12, true, 6},
    {"RoughTwoPoints", 9, 2, 2, true, 7},
};

std::string shape_name(const ::testing::TestParamInfo<MapShape>& info) { return info.param.name; }
void PrintTo(const MapShape& shape, std::ostream* os) { *os << shape.name; }

class DirectOnMap : public ::testing::TestWithParam<MapShape> {};

// What a point gives: the value's bits, or the failing call and its status.
struct Outcome {
  int icall = 0, ierr = 0;
  std::uint64_t bits = 0;
  bool operator==(const Outcome&) const = default;
};

Outcome outcome(const fuelmap::HermiteFailure& failure, double fc) {
  return {failure.code, failure.ierr, std::bit_cast<std::uint64_t>(fc)};
}

Outcome literal(const MAP& map, double x, double y) {
  double fc = 0.0;
  const fuelmap::HermiteFailure failure = fuelmap::literal_direct_fuel(x, y, fc, map);
  return outcome(failure, fc);
}

Outcome single(const fuelmap::DirectEvaluator& evaluator, const MAP& map, double x, double y) {
  double fc = 0.0;
  const fuelmap::HermiteFailure failure = fuelmap::evaluate_direct_point(evaluator, map, x, y, fc);
  return outcome(failure, fc);
}

void expect_exact_at_measured_points(const MAP& map) {
  ASSERT_FALSE(fuelmap::direct_check(map));
  const fuelmap::DirectEvaluator evaluator = fuelmap::prepare_direct(map);
  ASSERT_FALSE(evaluator.literal_only);
  std::vector<double> fast(map.XMAP.size());
  for (std::size_t i = 0; i < fast.size(); i += fuelmap::kDirectBlockPoints) {
    const auto count = std::min<std::size_t>(fuelmap::kDirectBlockPoints, fast.size() - i);
    fuelmap::evaluate_direct_points(evaluator, static_cast<int>(count), &map.XMAP[i], &map.YMAP[i],
                                    &fast[i]);
  }
  for (int i = 0; i < map.NMAP; ++i) {
    const Outcome measured{0, 0, std::bit_cast<std::uint64_t>(map.FCMAP[i])};
    EXPECT_EQ(literal(map, map.XMAP[i], map.YMAP[i]), measured) << i;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(fast[i]), measured.bits) << i;
  }
}

TEST_P(DirectOnMap, ExactAtEveryMeasuredPoint) {
  expect_exact_at_measured_points(engine_map(GetParam()));
}

TEST(DirectMethod, ExactAtEveryPointOfTheExampleMap) {
  expect_exact_at_measured_points(example_map());
}

// A coordinate for one probe: inside, near, far beyond, on a measured value
// or its neighbour, a signed zero, an infinity or a not-a-number.
double probe(std::mt19937_64& rng, const std::vector<double>& measured) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto [lo, hi] = std::minmax_element(measured.begin(), measured.end());
  const double span = *hi - *lo;
  const double on = measured[rng() % measured.size()];
  switch (rng() % 12) {
    case 0:
    case 1:
    case 2:
    case 3: return *lo + span * unit(rng);
    case 4: return *lo + span * (1.6 * unit(rng) - 0.3);
    case 5: return (unit(rng) < 0.5 ? -1.0 : 1.0) * span * std::pow(10.0, 1.0 + 8.0 * unit(rng));
    case 6: return on;
    case 7: return std::nextafter(on, unit(rng) < 0.5 ? -kInf : kInf);
    case 8: return unit(rng) < 0.5 ? 0.0 : -0.0;
    case 9: return (unit(rng) < 0.5 ? -1.0 : 1.0) * std::pow(10.0, 100.0 + 208.0 * unit(rng));
    case 10: return unit(rng) < 0.5 ? kInf : -kInf;
    default: return unit(rng) < 0.9 ? *lo + span * unit(rng) : std::nan("");
  }
}

TEST_P(DirectOnMap, PrecomputedPathGivesTheLiteralBits) {
  const MAP map = engine_map(GetParam());
  const fuelmap::DirectEvaluator evaluator = fuelmap::prepare_direct(map);
  ASSERT_FALSE(evaluator.literal_only);
  std::mt19937_64 rng(GetParam().seed + 100);
  double x[fuelmap::kDirectBlockPoints], y[fuelmap::kDirectBlockPoints];
  double fast[fuelmap::kDirectBlockPoints];
  int compared = 0, mismatches = 0;
  while (compared < kProbesPerMap && mismatches < 5) {
    const int count = 1 + static_cast<int>(rng() % fuelmap::kDirectBlockPoints);
    for (int i = 0; i < count; ++i) {
      x[i] = probe(rng, map.XMAP);
      y[i] = probe(rng, map.YMAP);
    }
    fuelmap::evaluate_direct_points(evaluator, count, x, y, fast);
    for (int i = 0; i < count; ++i, ++compared) {
      const Outcome reference = literal(map, x[i], y[i]);
      const bool taken = fuelmap::takes_direct_point(evaluator, x[i], y[i]);
      EXPECT_EQ(taken, std::isfinite(x[i]) && std::isfinite(y[i]));
      if ((taken && Outcome{0, 0, std::bit_cast<std::uint64_t>(fast[i])} != reference) ||
          single(evaluator, map, x[i], y[i]) != reference) {
        ++mismatches;
        ADD_FAILURE() << "at (" << x[i] << ", " << y[i] << "): literal "
                      << std::bit_cast<double>(reference.bits) << " (" << reference.icall << ", "
                      << reference.ierr << "), block " << fast[i];
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Maps, DirectOnMap, ::testing::ValuesIn(kShapes), shape_name);

// The failures of the grid construction, with its call codes, from the
// check, from the literal procedure, and a literal-only evaluator.
TEST(DirectMethod, FailsAsTheGridConstructionDoes) {
  const struct {
    const char* name;
    std::vector<double> x, y;
    int icall, ierr;
  } cases[] = {
      {"empty map", {}, {}, fuelmap::kRunSlopes, -1},
      {"a speed with one point", {1000, 1000, 1500, 2000, 2000}, {0, 50, 20, 0, 60}, 1, -1},
      {"a repeated point", {1000, 1000, 1000, 2000, 2000}, {0, 50, 50, 0, 60}, 1, -3},
      {"signed zeros are one torque", {1000, 1000, 2000, 2000}, {-0.0, 0.0, 0, 60}, 1, -3},
      {"one speed", {1000, 1000, 1000}, {0, 50, 90}, fuelmap::kAcrossSlopes, -1},
  };
  for (const auto& c : cases) {
    MAP map;
    map.XMAP = c.x;
    map.YMAP = c.y;
    map.FCMAP.assign(c.x.size(), 1.0);
    map.NMAP = static_cast<int>(c.x.size());
    const fuelmap::HermiteFailure failure = fuelmap::direct_check(map);
    EXPECT_EQ(failure.code, c.icall) << c.name;
    EXPECT_EQ(failure.ierr, c.ierr) << c.name;
    EXPECT_EQ(literal(map, 1500.0, 30.0), (Outcome{c.icall, c.ierr, 0})) << c.name;
    EXPECT_TRUE(fuelmap::prepare_direct(map).literal_only) << c.name;
  }
}

TEST(DirectMethod, NotANumberPointsFailWhereTheEvaluationDoes) {
  const MAP map = engine_map(kShapes[0]);
  const double nan = std::nan("");
  EXPECT_EQ(literal(map, 1500.0, nan).icall, fuelmap::kRunValue);
  EXPECT_EQ(literal(map, nan, 300.0).icall, fuelmap::kAcrossValue);
  EXPECT_EQ(literal(map, nan, 300.0).ierr, -5);
}

}  // namespace
