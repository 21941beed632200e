// fuelcalc-cycle end to end on small crafted files: totals against the
// trapezoid worked out here, units, layouts, gaps, errors at their lines, -o,
// the checker's findings on table maps and cycles.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuelcalc/check.hpp"
#include "fuelcalc/fuel_map.hpp"
#include "test_support.h"

namespace {

using nlohmann::json;
using testing_support::RunResult;
using testing_support::TempDir;
using testing_support::write_file;

const std::string kCycleExamples = FUELCALC_EXAMPLES "/cycle/";

RunResult run_cycle(const std::vector<std::string>& args) {
  return testing_support::run_program(FUELCALC_CYCLE_BINARY, args);
}

nlohmann::ordered_json run_json(std::vector<std::string> args, int status = 0) {
  args.push_back("--json");
  const RunResult r = run_cycle(args);
  EXPECT_EQ(r.status, status) << r.err << r.out;
  return nlohmann::ordered_json::parse(r.out);
}

// The simulator-style files as they are: names and a unit line.
TEST(FuelcalcCycle, TotalsAreTheTrapezoidOverTheMapsValues) {
  TempDir dir;
  const std::string cycle = dir.file("cycle.csv");
  write_file(cycle, "t,n,Me\n# [s],[rpm],[Nm]\n0,1000,300\n1,1200,500\n3,1500,-80\n3.5,1500,0\n");
  const auto j = run_json(
      {kCycleExamples + "engine_map.csv", cycle, "--time", "t", "--speed", "n", "--torque", "Me"});
  const auto map = fuelcalc::FuelMap::from_table(
      kCycleExamples + "engine_map.csv", {}, fuelcalc::Method::direct, fuelcalc::Outside::bounded);
  const double w[] = {0.5, 1.5, 1.25, 0.25};
  const double n[] = {1000, 1200, 1500, 1500}, t[] = {300, 500, -80, 0};
  double fuel = 0.0, positive = 0.0, negative = 0.0;
  for (int i = 0; i < 4; ++i) {
    fuel += map.fuel(n[i], t[i]) * w[i] / 3600.0;
    const double work = t[i] * n[i] * 2.0 * M_PI / 60.0 * w[i] / 3.6e6;
    (work > 0 ? positive : negative) += work;
  }
  EXPECT_EQ(j["version"], FUELCALC_PROJECT_VERSION);
  EXPECT_EQ(j["records"], 4);
  EXPECT_EQ(j["duration_s"], 3.5);
  EXPECT_NEAR(j["fuel_g"].get<double>(), fuel, 1e-12 * fuel);
  EXPECT_NEAR(j["work_positive_kwh"].get<double>(), positive, 1e-12 * positive);
  EXPECT_NEAR(j["work_negative_kwh"].get<double>(), negative, -1e-12 * negative);
  EXPECT_EQ(j["bsfc_g_per_kwh"].get<double>(),
            j["fuel_g"].get<double>() / j["work_positive_kwh"].get<double>());
  EXPECT_EQ(j["fuel_l"].get<double>(), j["fuel_g"].get<double>() / 832.0);
  EXPECT_EQ(j["where"]["below"]["records"], 1);  // -80 Nm lies below the map
  EXPECT_EQ(j["units"]["assumed"], json::array());
  EXPECT_EQ(j["method"], "direct");
  EXPECT_EQ(j["outside"], "bounded");
  EXPECT_EQ(j["phases"], nullptr);
  EXPECT_EQ(j["findings"], json::array());
  // The keys in the documented order.
  std::vector<std::string> keys;
  for (const auto& item : j.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"version",
                                            "format",
                                            "map",
                                            "cycle",
                                            "method",
                                            "outside",
                                            "units",
                                            "fuel_properties",
                                            "records",
                                            "duration_s",
                                            "gaps",
                                            "gap_s",
                                            "fuel_g",
                                            "fuel_l",
                                            "co2_g",
                                            "work_positive_kwh",
                                            "work_negative_kwh",
                                            "bsfc_g_per_kwh",
                                            "mean_fuel_g_per_h",
                                            "distance_km",
                                            "fuel_g_per_km",
                                            "fuel_l_per_100km",
                                            "co2_g_per_km",
                                            "time_without_value_s",
                                            "where",
                                            "phases",
                                            "findings"}));
}

// The same cycle in other units, and the same map as a matrix: the same totals.
TEST(FuelcalcCycle, UnitsAndLayoutsGiveTheSameTotals) {
  TempDir dir;
  const std::string base = dir.file("base.csv"), other = dir.file("other.csv");
  std::string a = "time [s],speed [rpm],torque [Nm]\n", b = "time [min];n [rad/s];Me [kNm]\n";
  for (int i = 0; i < 30; ++i) {
    const double s = i * 1.5, n = 700 + 50 * i, t = 100 + 30 * i;
    a += std::to_string(s) + "," + std::to_string(n) + "," + std::to_string(t) + "\n";
    char line[128];
    std::snprintf(line, sizeof line, "%.17g;%.17g;%.17g\n", s / 60.0, n * M_PI / 30.0, t / 1000.0);
    b += line;
  }
  write_file(base, a);
  write_file(other, b);
  const auto points = run_json({kCycleExamples + "engine_map.csv", base});
  const auto converted = run_json({kCycleExamples + "engine_map.csv", other});
  EXPECT_EQ(converted["units"]["cycle"]["speed"], "rad/s");
  for (const char* key : {"duration_s", "fuel_g", "work_positive_kwh"})
    EXPECT_NEAR(converted[key].get<double>(), points[key].get<double>(),
                1e-12 * points[key].get<double>())
        << key;
  const auto matrix =
      run_json({kCycleExamples + "engine_map_matrix.csv", base, "--map-layout", "matrix"});
  EXPECT_EQ(matrix["fuel_g"], points["fuel_g"]);
  const auto grams_per_second = run_json(
      {kCycleExamples + "engine_map.csv", base, "--map-fuel-unit", "g/s", "--method", "grid"});
  const auto grid = run_json({kCycleExamples + "engine_map.csv", base, "--method", "grid"});
  EXPECT_NEAR(grams_per_second["fuel_g"].get<double>(), grid["fuel_g"].get<double>() * 3600.0,
              1e-9 * grams_per_second["fuel_g"].get<double>());
}

TEST(FuelcalcCycle, GapsPhasesAndVehicleSpeed) {
  TempDir dir;
  const std::string cycle = dir.file("cycle.csv");
  write_file(cycle,
             "time;speed;torque;v [km/h];phase\n0;1000;300;36;a\n1;1000;300;36;a\n"
             "200;1000;300;36;b\n201;1000;300;36;b\n202;1000;300;36;a\n");
  const auto j = run_json({kCycleExamples + "engine_map.csv", cycle, "--vehicle-speed", "v",
                           "--phase", "phase", "--fuel", "petrol"});
  EXPECT_EQ(j["gaps"], 1);
  EXPECT_EQ(j["gap_s"], 199.0);
  EXPECT_EQ(j["duration_s"], 3.0);
  EXPECT_EQ(j["distance_km"], 3.0 * 36.0 / 3600.0);
  EXPECT_EQ(j["fuel_properties"]["name"], "petrol");
  EXPECT_EQ(j["units"]["cycle"]["vehicle_speed"], "km/h");
  ASSERT_EQ(j["phases"].size(), 2u);
  EXPECT_EQ(j["phases"][0]["phase"], "a");
  EXPECT_EQ(j["phases"][0]["records"], 3);
  EXPECT_EQ(j["phases"][0]["duration_s"], 1.5);
  EXPECT_EQ(j["phases"][1]["gaps"], 1);
  EXPECT_EQ(j["phases"][1]["duration_s"], 1.5);
}

// A time that does not rise stops the run at its line: status 1, the totals
// of the records before it, no -o file.
TEST(FuelcalcCycle, ErrorsAtTheirLinesAndNothingHalfWritten) {
  TempDir dir;
  const std::string cycle = dir.file("cycle.csv"), out = dir.file("out.csv");
  write_file(cycle, "t,n,Me\n# [s],[rpm],[Nm]\n0,1000,300\n1,1000,300\n1,1000,300\n");
  const auto j = run_json({kCycleExamples + "engine_map.csv", cycle, "-o", out}, 1);
  EXPECT_EQ(j["records"], 2);
  ASSERT_EQ(j["findings"].size(), 1u);
  EXPECT_EQ(j["findings"][0]["line"], 5);
  EXPECT_EQ(j["findings"][0]["severity"], "error");
  EXPECT_FALSE(testing_support::file_exists(out));
  EXPECT_EQ(run_cycle({kCycleExamples + "engine_map.csv", cycle, "-o", dir.path}).status, 1);

  write_file(cycle, "t,n,Me\n0,1000,300\n1,1000\n");
  const auto ragged = run_json({kCycleExamples + "engine_map.csv", cycle}, 1);
  EXPECT_EQ(ragged["findings"][0]["line"], 3);
  const auto outside = run_json({kCycleExamples + "engine_map.csv",
                                 kCycleExamples + "engine_cycle.csv", "--outside", "error"},
                                1);
  EXPECT_EQ(outside["findings"][0]["code"], "outside-refused");
  EXPECT_EQ(outside["findings"][0]["line"], 33);  // the first motoring record, below the map
}

TEST(FuelcalcCycle, OneRecordAndUsage) {
  TempDir dir;
  const std::string cycle = dir.file("cycle.csv");
  write_file(cycle, "t,n,Me\n0,1000,300\n");
  const auto j = run_json({kCycleExamples + "engine_map.csv", cycle});
  EXPECT_EQ(j["duration_s"], 0.0);
  EXPECT_EQ(j["fuel_g"], 0.0);
  EXPECT_EQ(j["bsfc_g_per_kwh"], nullptr);
  EXPECT_EQ(j["mean_fuel_g_per_h"], nullptr);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {kCycleExamples + "engine_map.csv"},
           {kCycleExamples + "engine_map.csv", cycle, "--outside", "sideways"},
           {kCycleExamples + "engine_map.csv", cycle, "--step", "0"},
           {kCycleExamples + "engine_map.csv", cycle, "--density", "-1"},
           {kCycleExamples + "engine_map.csv", cycle, "--speed", "nope"},
           {kCycleExamples + "engine_map.csv", cycle, "--cycle-format", "program"}})
    EXPECT_EQ(run_cycle(args).status, 2) << args.back();
}

// -o: the cycle's cells as written, the fuel value's shortest text and the class.
TEST(FuelcalcCycle, RecordFile) {
  TempDir dir;
  const std::string cycle = dir.file("cycle.csv"), out = dir.file("out.csv");
  write_file(cycle, "# a comment\nt;n;Me;note\n# [s];[rpm];[Nm];\n0;1000.0;300;x,y\n1;;300;z\n");
  const RunResult r = run_cycle({kCycleExamples + "engine_map.csv", cycle, "-o", out});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto map = fuelcalc::FuelMap::from_table(
      kCycleExamples + "engine_map.csv", {}, fuelcalc::Method::direct, fuelcalc::Outside::bounded);
  char fuel[32];
  *std::to_chars(fuel, fuel + sizeof fuel, map.fuel(1000.0, 300.0)).ptr = '\0';
  EXPECT_EQ(testing_support::read_file(out), "t,n,Me,note,fuel [g/h],where\n0,1000.0,300,\"x,y\"," +
                                                 std::string(fuel) + ",inside\n1,,300,z,nan,nan\n");

  // Fuel values that overflow inside the map give a NaN with its sign bit
  // set: "nan" too, not "-nan".
  const std::string overflowing = dir.file("overflowing.csv");
  write_file(overflowing,
             "speed,torque,fuel\n600,0,1.7e308\n600,200,-1.7e308\n1000,0,-1.7e308\n"
             "1000,200,1.7e308\n");
  write_file(cycle, "t,n,Me\n0,700,50\n");
  ASSERT_EQ(run_cycle({overflowing, cycle, "--outside", "extrapolate", "-o", out}).status, 0);
  EXPECT_EQ(testing_support::read_file(out), "t,n,Me,fuel [g/h],where\n0,700,50,nan,inside\n");
}

// A finding as the tests compare them: code and line.
using Spot = std::pair<std::string, std::size_t>;

std::vector<Spot> spots_of(const json& findings, const std::string& file) {
  std::vector<Spot> out;
  for (const auto& f : findings)
    if (f["file"] == file)
      out.emplace_back(f["code"], f["line"].is_null() ? 0 : f["line"].get<std::size_t>());
  return out;
}

// A matrix of fuel cells (torques down, speeds across; "" for no point),
// written as the program's map (a point a line after two header records), as
// points (a name and a unit line, then a point a row) and as the matrix.
struct MatrixMap {
  std::vector<double> speeds, torques;
  std::vector<std::vector<std::string>> cells;  // [torque row][speed column]
};

struct MapForms {
  std::string program, points, matrix;
  std::vector<std::size_t> matrix_lines;  // each point's line in the matrix
};

MapForms map_forms(const MatrixMap& m) {
  MapForms f{"map\nspeed torque fuel\n", "speed,torque,fuel\n# [rpm],[Nm],[g/h]\n", "Me", {}};
  for (const double s : m.speeds) f.matrix.append(",").append(std::to_string(s));
  f.matrix += "\n";
  for (std::size_t r = 0; r < m.torques.size(); ++r) {
    f.matrix += std::to_string(m.torques[r]);
    for (std::size_t c = 0; c < m.speeds.size(); ++c) {
      f.matrix += "," + m.cells[r][c];
      if (m.cells[r][c].empty()) continue;
      const std::string point =
          std::to_string(m.speeds[c]) + " " + std::to_string(m.torques[r]) + " " + m.cells[r][c];
      f.program += point + "\n";
      std::string row = point;
      std::replace(row.begin(), row.end(), ' ', ',');
      f.points += row + "\n";
      f.matrix_lines.push_back(r + 2);
    }
    f.matrix += "\n";
  }
  return f;
}

// The map checks on a table, as points or as a matrix, give the codes of the
// checker on the same points in the program's format, each at the line of its
// point (in a matrix, of its row); a map that does not build stops the run.
TEST(FuelcalcCycle, TableMapsGiveTheCheckersMapFindings) {
  const std::vector<double> speeds = {1000, 2000, 3000}, torques = {0, 100, 200, 300};
  const std::vector<std::vector<std::string>> sound = {{"1000", "2000", "3000"},
                                                       {"2000", "4000", "6000"},
                                                       {"3000", "6000", "9000"},
                                                       {"4000", "8000", "12000"}};
  struct Case {
    const char* code;
    MatrixMap map;
    int status;
  };
  auto single = sound, negative = sound, falling = sound;
  single[0][2] = single[1][2] = single[3][2] = "";
  negative[2][1] = "-50";
  falling[2][0] = "1500";
  const std::vector<Case> cases = {
      {"map-single-point-speed", {speeds, torques, single}, 1},
      {"map-repeated-torque", {speeds, {0, 100, 100, 300}, sound}, 1},
      {"map-negative-fuel", {speeds, torques, negative}, 0},
      {"fuel-direction-change", {speeds, torques, falling}, 0},
  };
  TempDir dir;
  const std::string cycle = dir.file("cycle.csv");
  write_file(cycle, "t,n,Me\n0,1500,50\n1,1500,60\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const MapForms forms = map_forms(c.map);
    const std::string program = dir.file("map.dat"), points = dir.file("map.csv"),
                      matrix = dir.file("matrix.csv");
    write_file(program, forms.program);
    write_file(points, forms.points);
    write_file(matrix, forms.matrix);
    const auto checker = run_json({program, cycle, "--map-format", "program"}, c.status);
    const std::vector<Spot> expected = spots_of(checker["findings"], program);
    EXPECT_TRUE(std::any_of(expected.begin(), expected.end(),
                            [&](const Spot& s) { return s.first == c.code; }));
    EXPECT_EQ(spots_of(run_json({points, cycle}, c.status)["findings"], points), expected);
    // The checker's line of a point (3 onwards) is its row's in the matrix.
    std::vector<Spot> in_matrix = expected;
    for (Spot& s : in_matrix) s.second = forms.matrix_lines[s.second - 3];
    EXPECT_EQ(
        spots_of(run_json({matrix, cycle, "--map-layout", "matrix"}, c.status)["findings"], matrix),
        in_matrix);
  }
}

// The results' checks on a table cycle give the checker's findings on the
// same points in the program's input format, word for word.
TEST(FuelcalcCycle, TableCyclesGiveTheCheckersResultFindings) {
  const std::string map = FUELCALC_SOURCE_DIR "/examples/torque_map.dat";
  struct Case {
    const char* code;
    std::vector<std::string> records;  // speed,torque
    const char* outside;
  };
  const std::vector<Case> cases = {
      {"negative-results", {"1500,50", "1500,60", "1500,-400", "1500,-300"}, "extrapolate"},
      {"near-zero-speed", {"1500,50", "100,60", "50,70"}, "bounded"},
      {"far-outside", {"1500,50", "9000,60", "1500,60"}, "clamp"},
  };
  const std::set<std::string> result_codes = {"negative-results", "results-out-of-range",
                                              "mostly-outside",   "far-outside",
                                              "near-zero-speed",  "units-hint"};
  TempDir dir;
  const std::string table = dir.file("cycle.csv"), input = dir.file("cycle.dat");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    std::string t = "t,n,Me\n", p = "n Me\n";
    for (std::size_t i = 0; i < c.records.size(); ++i) {
      t += std::to_string(i) + "," + c.records[i] + "\n";
      p += c.records[i] + "\n";
    }
    write_file(table, t);
    write_file(input, p);
    fuelcalc::CheckOptions options;
    options.method = fuelcalc::Method::direct;
    options.outside = *fuelcalc::parse_outside(c.outside);
    std::vector<std::pair<Spot, std::string>> expected, got;
    for (const fuelcalc::Finding& f :
         fuelcalc::check_input(input, fuelcalc::check_map(map, options)).findings)
      if (result_codes.count(f.code)) expected.push_back({{f.code, *f.line}, f.message});
    const auto run = run_json({map, table, "--outside", c.outside});
    for (const auto& f : run["findings"])
      if (f["file"] == table) got.push_back({{f["code"], f["line"]}, f["message"]});
    EXPECT_TRUE(std::any_of(expected.begin(), expected.end(),
                            [&](const auto& f) { return f.first.first == c.code; }));
    EXPECT_EQ(got, expected);
  }
}

}  // namespace
