// Totals over a cycle through the library: the trapezoid worked by hand on a
// few records, gaps, phases, the classes, and the same bits whatever blocks
// the records come in.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string_view>
#include <vector>

#include "fuelcalc/cycle.hpp"
#include "fuelcalc/exact_sum.hpp"
#include "test_support.h"

namespace {

using fuelcalc::CycleAccumulator;
using fuelcalc::CycleBlock;
using fuelcalc::CycleOptions;
using fuelcalc::CycleResult;
using fuelcalc::Where;
using testing_support::bits;
using testing_support::kNaN;

// A cycle held in vectors, the block over all of it.
struct Records {
  std::vector<double> time, speed, torque, fuel, vehicle_speed;
  std::vector<Where> where;
  std::vector<std::string_view> phase;
  std::vector<std::size_t> line;

  CycleBlock block(std::size_t first, std::size_t count) const {
    const auto part = [&](const auto& v) {
      using T = typename std::decay_t<decltype(v)>::value_type;
      return v.empty() ? std::span<const T>() : std::span<const T>(v).subspan(first, count);
    };
    return {part(time),  part(speed),         part(torque), part(fuel),
            part(where), part(vehicle_speed), part(phase),  part(line)};
  }
  CycleBlock all() const { return block(0, speed.size()); }
};

// n records at 1000 rpm and 100 Nm, inside, 3600 g/h, one per second from 0.
Records steady(std::size_t n) {
  Records r;
  for (std::size_t i = 0; i < n; ++i) {
    r.time.push_back(static_cast<double>(i));
    r.speed.push_back(1000.0);
    r.torque.push_back(100.0);
    r.fuel.push_back(3600.0);
    r.where.push_back(Where::inside);
    r.line.push_back(i + 3);
  }
  return r;
}

// P w / 3.6e6 with P from first principles, for comparison within rounding.
double work_kwh(double speed_rpm, double torque_nm, double seconds) {
  return torque_nm * (speed_rpm * 2.0 * std::numbers::pi / 60.0) * seconds / 3.6e6;
}

TEST(CycleTotals, TrapezoidByHand) {
  Records r = steady(4);
  r.time = {0.0, 1.0, 3.0, 4.0};  // weights 0.5, 1.5, 1.5, 0.5
  r.fuel = {3600.0, 7200.0, 1800.0, kNaN};
  r.torque = {100.0, 100.0, -50.0, 100.0};
  r.where = {Where::inside, Where::above, Where::below, Where::nan};
  const CycleResult result = fuelcalc::cycle_totals(r.all(), {});
  const auto& t = result.totals;
  EXPECT_EQ(t.records, 4u);
  EXPECT_EQ(t.duration_s, 4.0);
  EXPECT_EQ(t.fuel_g, 0.5 + 3.0 + 0.75);
  EXPECT_EQ(t.time_without_value_s, 0.5);
  EXPECT_NEAR(t.work_positive_kwh, work_kwh(1000.0, 100.0, 2.5), 1e-15);
  EXPECT_NEAR(t.work_negative_kwh, work_kwh(1000.0, -50.0, 1.5), 1e-15);
  ASSERT_TRUE(t.bsfc_g_per_kwh && t.mean_fuel_g_per_h);
  EXPECT_EQ(*t.bsfc_g_per_kwh, t.fuel_g / t.work_positive_kwh);
  EXPECT_EQ(*t.mean_fuel_g_per_h, 4.25 / 4.0 * 3600.0);
  EXPECT_EQ(t.fuel_l, 4.25 / 832.0);
  EXPECT_EQ(t.co2_g, 4.25 * 3.16);
  EXPECT_FALSE(t.distance_km || t.fuel_g_per_km || t.fuel_l_per_100km || t.co2_g_per_km);
  const auto cls = [&](Where c) { return t.where[static_cast<std::size_t>(c)]; };
  EXPECT_EQ(cls(Where::inside).time_s, 0.5);
  EXPECT_EQ(cls(Where::inside).fuel_g, 0.5);
  EXPECT_EQ(cls(Where::above).fuel_g, 3.0);
  EXPECT_EQ(cls(Where::below).records, 1u);
  EXPECT_EQ(cls(Where::below).fuel_g, 0.75);
  EXPECT_EQ(cls(Where::nan).time_s, 0.5);
  EXPECT_EQ(cls(Where::nan).fuel_g, 0.0);
  EXPECT_EQ(cls(Where::beyond_speed).records, 0u);
  EXPECT_FALSE(result.phases);
}

TEST(CycleTotals, GapsSplitSegments) {
  struct Case {
    std::vector<double> time;
    double max_gap;
    std::size_t gaps;
    double gap_s, duration_s;
  };
  const std::vector<Case> cases = {
      {{0, 1, 100, 101}, 60.0, 1, 99.0, 2.0},  // each record half of its one second
      {{0, 1, 61, 62}, 60.0, 0, 0.0, 62.0},    // an interval of max_gap is integrated
      {{0, 100, 200}, 60.0, 2, 200.0, 0.0},    // every record alone
      {{0, 0.5, 1.5, 3.5}, 1.0, 1, 2.0, 1.5},  // max_gap below the default
      {{0, 10, 20}, 0.0, 2, 20.0, 0.0},        // nothing integrated
  };
  for (const Case& c : cases) {
    Records r = steady(c.time.size());
    r.time = c.time;
    CycleOptions options;
    options.max_gap = c.max_gap;
    const auto t = fuelcalc::cycle_totals(r.all(), options).totals;
    EXPECT_EQ(t.gaps, c.gaps) << c.time.size();
    EXPECT_EQ(t.gap_s, c.gap_s);
    EXPECT_EQ(t.duration_s, c.duration_s);
    EXPECT_EQ(t.fuel_g, c.duration_s);  // 3600 g/h
  }
}

TEST(CycleTotals, OneRecordGivesZeroes) {
  const auto t = fuelcalc::cycle_totals(steady(1).all(), {}).totals;
  EXPECT_EQ(t.records, 1u);
  EXPECT_EQ(bits(t.duration_s), bits(0.0));
  EXPECT_EQ(bits(t.fuel_g), bits(0.0));
  EXPECT_EQ(bits(t.work_positive_kwh), bits(0.0));
  EXPECT_FALSE(t.bsfc_g_per_kwh);
  EXPECT_FALSE(t.mean_fuel_g_per_h);
}

TEST(CycleTotals, TimeThatDoesNotRiseIsAnErrorAtItsLine) {
  for (const std::vector<double>& time :
       std::vector<std::vector<double>>{{0, 1, 1, 2}, {0, 1, 0.5, 2}, {0, 1, kNaN, 2}}) {
    Records r = steady(4);
    r.time = time;
    CycleAccumulator accumulator({});
    accumulator.add(r.block(0, 1));
    try {
      accumulator.add(r.block(1, 3));
      ADD_FAILURE() << "no error";
    } catch (const fuelcalc::Error& e) {
      EXPECT_EQ(e.kind(), fuelcalc::ErrorKind::read);
      EXPECT_EQ(e.index(), 2u);
      EXPECT_EQ(e.line(), 5u);
      EXPECT_NE(std::string(e.what()).find("time"), std::string::npos) << e.what();
    }
    EXPECT_EQ(accumulator.records(), 2u);
  }
}

TEST(CycleTotals, StepStandsForTheTimeColumn) {
  Records r = steady(3);
  r.time.clear();
  CycleOptions options;
  options.step = 0.5;
  const auto t = fuelcalc::cycle_totals(r.all(), options).totals;
  EXPECT_EQ(t.duration_s, 1.0);  // 0.25 + 0.5 + 0.25
  EXPECT_EQ(t.fuel_g, 1.0);
}

TEST(CycleTotals, VehicleSpeedGivesDistance) {
  Records r = steady(11);
  r.vehicle_speed.assign(11, 36.0);  // 10 s at 36 km/h: 0.1 km
  CycleOptions options;
  options.vehicle_speed = true;
  options.fuel = fuelcalc::fuel_properties("petrol");
  const auto result = fuelcalc::cycle_totals(r.all(), options);
  const auto& t = result.totals;
  EXPECT_EQ(result.fuel.density_kg_per_l, 0.745);
  ASSERT_TRUE(t.distance_km && t.fuel_g_per_km && t.fuel_l_per_100km && t.co2_g_per_km);
  EXPECT_NEAR(*t.distance_km, 0.1, 1e-16);
  EXPECT_EQ(*t.fuel_g_per_km, t.fuel_g / *t.distance_km);
  EXPECT_EQ(*t.fuel_l_per_100km, t.fuel_l / *t.distance_km * 100.0);
  EXPECT_EQ(*t.co2_g_per_km, t.co2_g / *t.distance_km);
}

TEST(CycleTotals, PhasesInOrderOfFirstAppearance) {
  Records r = steady(6);
  r.time = {0, 1, 2, 100, 101, 102};
  r.phase = {"warm", "warm", "hot", "cold", "cold", "warm"};
  CycleOptions options;
  options.phases = true;
  const auto result = fuelcalc::cycle_totals(r.all(), options);
  ASSERT_TRUE(result.phases);
  const auto& phases = *result.phases;
  ASSERT_EQ(phases.size(), 3u);
  EXPECT_EQ(phases[0].phase, "warm");
  EXPECT_EQ(phases[1].phase, "hot");
  EXPECT_EQ(phases[2].phase, "cold");
  // Weights 0.5, 1, 0.5 | gap | 0.5, 1, 0.5: each record's own to its phase.
  EXPECT_EQ(phases[0].totals.records, 3u);
  EXPECT_EQ(phases[0].totals.duration_s, 2.0);
  EXPECT_EQ(phases[1].totals.duration_s, 0.5);
  EXPECT_EQ(phases[2].totals.duration_s, 1.5);
  // The gap counts to the phase of the record after it.
  EXPECT_EQ(phases[2].totals.gaps, 1u);
  EXPECT_EQ(phases[2].totals.gap_s, 98.0);
  EXPECT_EQ(phases[1].totals.gaps, 0u);
  EXPECT_EQ(result.totals.duration_s, 4.0);
}

void expect_same_bits(const fuelcalc::CycleTotals& a, const fuelcalc::CycleTotals& b) {
  EXPECT_EQ(a.records, b.records);
  EXPECT_EQ(a.gaps, b.gaps);
  EXPECT_EQ(bits(a.duration_s), bits(b.duration_s));
  EXPECT_EQ(bits(a.gap_s), bits(b.gap_s));
  EXPECT_EQ(bits(a.fuel_g), bits(b.fuel_g));
  EXPECT_EQ(bits(a.work_positive_kwh), bits(b.work_positive_kwh));
  EXPECT_EQ(bits(a.work_negative_kwh), bits(b.work_negative_kwh));
  EXPECT_EQ(bits(*a.distance_km), bits(*b.distance_km));
  EXPECT_EQ(bits(a.time_without_value_s), bits(b.time_without_value_s));
  for (std::size_t c = 0; c < fuelcalc::kWhereClasses; ++c) {
    EXPECT_EQ(a.where[c].records, b.where[c].records);
    EXPECT_EQ(bits(a.where[c].time_s), bits(b.where[c].time_s));
    EXPECT_EQ(bits(a.where[c].fuel_g), bits(b.where[c].fuel_g));
  }
}

// Records of varied values, a gap of 90 s after about one in a hundred.
Records varied(std::size_t n, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Records r;
  double time = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    time += u(rng) < 0.01 ? 90.0 : 0.1 + u(rng);
    r.time.push_back(time);
    r.speed.push_back(600.0 + 1800.0 * u(rng));
    r.torque.push_back(-100.0 + 1000.0 * u(rng));
    r.fuel.push_back(u(rng) < 0.05 ? kNaN : 20000.0 * u(rng));
    r.where.push_back(static_cast<Where>(rng() % 5));
    r.vehicle_speed.push_back(90.0 * u(rng));
    r.phase.push_back(i < 700 ? "low" : i < 1500 ? "high" : "low");
  }
  return r;
}

// The whole duration and fuel are the exact sums of every record's weight
// and fuel term (worked out here, gaps of 90 s and the default 60 s limit
// included), whatever the classes the records fall in.
TEST(CycleTotals, WholeTotalsAreTheSumsOfEveryRecordsTerms) {
  std::mt19937_64 rng(9);
  const Records r = varied(3000, rng);
  const auto result = fuelcalc::cycle_totals(r.all(), CycleOptions{});
  fuelcalc::ExactSum duration, fuel;
  const std::size_t n = r.time.size();
  for (std::size_t i = 0; i < n; ++i) {
    const bool joined_before = i > 0 && !(r.time[i] - r.time[i - 1] > 60.0);
    const bool joined_after = i + 1 < n && !(r.time[i + 1] - r.time[i] > 60.0);
    const double w =
        ((joined_after ? r.time[i + 1] : r.time[i]) - (joined_before ? r.time[i - 1] : r.time[i])) /
        2.0;
    duration.add(w);
    if (!std::isnan(r.fuel[i])) fuel.add((r.fuel[i] * w) / 3600.0);
  }
  EXPECT_EQ(bits(result.totals.duration_s), bits(duration.value()));
  EXPECT_EQ(bits(result.totals.fuel_g), bits(fuel.value()));
  EXPECT_GT(result.totals.gaps, 0u);
}

// The same bits whether the records come in one block, one at a time, or in
// blocks of any length.
TEST(CycleTotals, BitsDoNotDependOnBlocks) {
  std::mt19937_64 rng(7);
  const Records r = varied(2000, rng);
  CycleOptions options;
  options.phases = options.vehicle_speed = true;
  const auto one = fuelcalc::cycle_totals(r.all(), options);
  for (int trial = 0; trial < 5; ++trial) {
    CycleAccumulator accumulator(options);
    for (std::size_t first = 0; first < r.speed.size();) {
      const std::size_t n =
          std::min<std::size_t>(r.speed.size() - first, trial == 0 ? 1 : 1 + rng() % 300);
      accumulator.add(r.block(first, n));
      first += n;
    }
    const auto blocks = accumulator.result();
    expect_same_bits(blocks.totals, one.totals);
    ASSERT_EQ(blocks.phases->size(), 2u);
    for (std::size_t p = 0; p < 2; ++p)
      expect_same_bits((*blocks.phases)[p].totals, (*one.phases)[p].totals);
  }
}

// Runs accumulated apart (each carried through its words, as between
// processes) and appended in order have the bits of one pass: cuts beside a
// gap, runs of one record, empty runs. A run that does not follow the one
// before is refused at its first record.
TEST(CycleTotals, RunsAppendedHaveTheBitsOfOnePass) {
  std::mt19937_64 rng(11);
  Records r = varied(400, rng);
  r.phase.clear();
  r.time[200] = r.time[199] + 61.0;  // a gap between runs when cut at 200
  for (std::size_t i = 201; i < r.time.size(); ++i) r.time[i] = r.time[i - 1] + 0.5;
  CycleOptions options;
  options.vehicle_speed = true;
  const auto one = fuelcalc::cycle_totals(r.all(), options);
  CycleOptions open = options;
  open.open_start = true;
  const std::vector<std::vector<std::size_t>> cuts = {
      {0, 400}, {0, 200, 400}, {0, 1, 2, 200, 201, 399, 400}, {0, 0, 150, 150, 400}};
  for (const auto& cut : cuts) {
    for (const bool first_open : {false, true}) {
      CycleAccumulator total(first_open ? open : options);
      for (std::size_t k = 0; k + 1 < cut.size(); ++k) {
        CycleAccumulator run(open);
        run.add(r.block(cut[k], cut[k + 1] - cut[k]));
        total.append(CycleAccumulator::from_words(open, run.words()));
      }
      expect_same_bits(total.result().totals, one.totals);
    }
  }
  CycleAccumulator before(options), after(open);
  before.add(r.block(0, 10));
  after.add(r.block(9, 10));
  try {
    before.append(after);
    ADD_FAILURE();
  } catch (const fuelcalc::Error& e) {
    EXPECT_EQ(e.kind(), fuelcalc::ErrorKind::read);
    EXPECT_EQ(e.index(), 10u);
  }
  EXPECT_THROW(CycleAccumulator::from_words(open, std::vector<std::int64_t>(5, 0)),
               fuelcalc::Error);
}

TEST(CycleTotals, OptionsOutOfRangeAreRefused) {
  const auto refused = [](CycleOptions o) {
    try {
      CycleAccumulator accumulator(o);
    } catch (const fuelcalc::Error& e) {
      return e.kind() == fuelcalc::ErrorKind::invalid_argument;
    }
    return false;
  };
  CycleOptions o;
  o.step = 0.0;
  EXPECT_TRUE(refused(o));
  o = {};
  o.max_gap = kNaN;
  EXPECT_TRUE(refused(o));
  o = {};
  o.fuel.density_kg_per_l = 0.0;
  EXPECT_TRUE(refused(o));
  o = {};
  o.fuel.co2_g_per_g = -1.0;
  EXPECT_TRUE(refused(o));
  try {
    fuelcalc::fuel_properties("kerosene");
    ADD_FAILURE();
  } catch (const fuelcalc::Error& e) {
    EXPECT_STREQ(e.what(), "no such fuel: 'kerosene' (known: diesel, petrol)");
  }
}

// A record without a speed or torque has no fuel value and its own class; a
// point outside under Outside::error names its record alone.
TEST(CycleTotals, EvaluateRecords) {
  const std::vector<double> speed = {1000.0, kNaN, 1200.0, 9000.0};
  const std::vector<double> torque = {200.0, 100.0, kNaN, 200.0};
  std::vector<double> fuel(4);
  std::vector<Where> where(4);
  for (fuelcalc::Outside outside : {fuelcalc::Outside::extrapolate, fuelcalc::Outside::bounded}) {
    const auto map =
        fuelcalc::FuelMap::load(testing_support::kExampleMap, fuelcalc::Method::direct, outside);
    fuelcalc::evaluate_records(map, speed, torque, fuel, where);
    EXPECT_EQ(bits(fuel[0]), bits(map.fuel(1000.0, 200.0)));
    EXPECT_TRUE(std::isnan(fuel[1]) && std::isnan(fuel[2]));
    EXPECT_EQ(where,
              (std::vector<Where>{Where::inside, Where::nan, Where::nan, Where::beyond_speed}));
  }
  const auto strict = fuelcalc::FuelMap::load(testing_support::kExampleMap,
                                              fuelcalc::Method::direct, fuelcalc::Outside::error);
  const std::vector<double> inside_then_beyond = {1000.0, 1100.0, 1200.0, 9000.0};
  try {
    fuelcalc::evaluate_records(strict, inside_then_beyond, std::vector<double>(4, 200.0), fuel,
                               where);
    ADD_FAILURE();
  } catch (const fuelcalc::Error& e) {
    EXPECT_EQ(e.kind(), fuelcalc::ErrorKind::outside);
    EXPECT_EQ(e.index(), 3u);
    EXPECT_EQ(std::string(e.what()).find("point 3"), std::string::npos) << e.what();
  }
}

}  // namespace
