// End-to-end runs of fuelcalc-check: one small crafted file per finding, the
// summary of the example run against the program's own output, the JSON
// document's shape and the exit statuses; the grid's deviation and the
// outside policies against the library's own values.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "checks/check_grid_deviation.h"
#include "checks/check_reading.h"
#include "fuelcalc/check.hpp"
#include "fuelcalc/fuel_map.hpp"
#include "test_support.h"
#include "textio/list_input.h"

namespace {

using namespace testing_support;
using Json = nlohmann::json;

// Two speeds with three torques each: no finding at all.
const std::string kMap =
    "map\nspeed torque fuel\n1000 0 10\n1000 50 20\n1000 100 30\n2000 0 20\n2000 50 40\n2000 100 "
    "60\n";
const std::string kInput = "speed torque\n1500 50\n";

RunResult run_check(const std::vector<std::string>& args, const RunOptions& options = {}) {
  return run_program(FUELCALC_CHECK_BINARY, args, options);
}

// kMap with line `line` (1-based) replaced, or with lines added at its end.
std::string map_with(std::size_t line, const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(kMap);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  if (line > lines.size())
    lines.push_back(text);
  else
    lines[line - 1] = text;
  std::string joined;
  for (const std::string& l : lines) joined += l + "\n";
  return joined;
}

struct FindingCase {
  const char* name;
  std::string map;    // "-": no such file
  std::string input;  // empty: no input; "-": no such file
  std::string code;
  std::string severity;
  int line;    // 0: null
  int column;  // 0: null
  // The other codes the files give: a point far outside is outside too, and
  // so on. None of them is the code of the case.
  std::vector<std::string> also = {};
};

class Finds : public ::testing::TestWithParam<FindingCase> {};

TEST_P(Finds, CodeAtLineAndColumn) {
  const FindingCase& c = GetParam();
  TempDir dir;
  const std::string map = dir.file("map.dat"), input = dir.file("input.dat");
  if (c.map != "-") write_file(map, c.map);
  std::vector<std::string> args = {"--json", map};
  if (!c.input.empty()) {
    if (c.input != "-") write_file(input, c.input);
    args.push_back(input);
  }
  const RunResult run = run_check(args);
  const Json doc = Json::parse(run.out);
  std::vector<std::string> codes;
  const Json* found = nullptr;
  std::size_t of_the_code = 0;
  for (const Json& f : doc["findings"]) {
    if (f["code"] != c.code) codes.push_back(f["code"]);
    if (f["code"] == c.code && !found) found = &f;
    of_the_code += f["code"] == c.code;
  }
  EXPECT_EQ(of_the_code, 1u) << run.out;
  std::vector<std::string> also = c.also;
  std::sort(codes.begin(), codes.end());
  std::sort(also.begin(), also.end());
  EXPECT_EQ(codes, also) << run.out;
  ASSERT_NE(found, nullptr) << run.out;
  EXPECT_EQ((*found)["severity"], c.severity);
  EXPECT_EQ((*found)["file"], c.code.starts_with("map") || c.input.empty() ? map : input);
  EXPECT_EQ((*found)["line"], c.line ? Json(c.line) : Json(nullptr)) << run.out;
  EXPECT_EQ((*found)["column"], c.column ? Json(c.column) : Json(nullptr)) << run.out;
  EXPECT_EQ(run.status, c.severity == "error" ? 1 : 0);

  // The same finding as a compiler-style line.
  args.erase(args.begin());
  const RunResult text = run_check(args);
  std::string where = (*found)["file"];
  if (c.line) where += ":" + std::to_string(c.line);
  if (c.line && c.column) where += ":" + std::to_string(c.column);
  EXPECT_NE(text.out.find(where + ": " + c.severity + ": "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find(" [" + c.code + "]\n"), std::string::npos) << text.out;
}

INSTANTIATE_TEST_SUITE_P(
    EachCode, Finds,
    ::testing::Values(
        FindingCase{"map_open", "-", "", "map-open", "error", 0, 0},
        FindingCase{"map_unreadable", map_with(4, "1000 5x0 20"), "", "map-unreadable", "error", 4,
                    6},
        FindingCase{"map_empty_value", map_with(4, "1000,,20"), "", "map-unreadable", "error", 4,
                    6},
        FindingCase{"map_empty", "map\nspeed torque fuel\n", "", "map-empty", "error", 0, 0},
        FindingCase{"single_point_speed", map_with(9, "1500 50 30"), "", "map-single-point-speed",
                    "error", 9, 0},
        FindingCase{"repeated_torque", map_with(9, "1000 50 21"), "", "map-repeated-torque",
                    "error", 9, 0},
        FindingCase{"one_speed", "m\nh\n1000 0 10\n1000 50 20\n", "", "map-interpolation", "error",
                    3, 0},
        FindingCase{"map_header_numeric", map_with(2, "1000 25 15"), "", "map-header-numeric",
                    "warning", 2, 0},
        FindingCase{"map_surplus", map_with(4, "1000 50 20 7"), "", "map-values-per-record",
                    "warning", 4, 12},
        FindingCase{"map_short", map_with(4, "1000 50\n20"), "", "map-values-per-record", "warning",
                    4, 0},
        FindingCase{"near_speeds", kMap + "1001 0 10\n1001 50 20\n1001 100 30\n", "",
                    "speed-near-equal", "warning", 3, 0},
        FindingCase{"direction", map_with(7, "2000 50 15"), "", "fuel-direction-change", "warning",
                    7, 0},
        FindingCase{"negative_fuel", map_with(3, "1000 0 -1"), "", "map-negative-fuel", "warning",
                    3, 0},
        FindingCase{"nonfinite", map_with(8, "2000 100 inf"), "", "map-nonfinite", "warning", 8, 0},
        FindingCase{
            "small_values",
            "m\nh\n1000 0 .01\n1000 50 .02\n1000 100 .03\n2000 0 .02\n2000 50 .04\n2000 100 .06\n",
            "", "small-values", "warning", 0, 0},
        FindingCase{
            "map_swapped",
            "m\nh\n0 1000 10\n50 1000 20\n100 1000 30\n0 2000 20\n50 2000 40\n100 2000 60\n", "",
            "columns-swapped", "warning", 0, 0},
        FindingCase{"input_open", kMap, "-", "input-open", "error", 0, 0},
        FindingCase{"input_empty", kMap, " \n", "input-unreadable", "error", 0, 0},
        FindingCase{"input_unreadable", kMap, "x y\n1000 10\nabc 5\n1000 20\n", "input-unreadable",
                    "error", 3, 1},
        FindingCase{"input_header_numeric", kMap, "1000 10\n1000 20\n", "input-header-numeric",
                    "warning", 1, 0},
        FindingCase{"input_surplus", kMap, "x y\n1000 10 5\n", "input-values-per-record", "warning",
                    2, 9},
        FindingCase{"input_short", kMap, "x y\n1000\n10 5\n1500 20\n", "input-values-per-record",
                    "warning", 2, 0},
        FindingCase{"empty_value", kMap, "x y\n1000 10\n,20\n", "empty-value", "warning", 3, 1},
        FindingCase{"cr_line_ends", kMap, "x y\r1000 10\r1500 20\r", "cr-line-ends", "warning", 1,
                    0},
        FindingCase{"slash", kMap, "x y\n1000 10\n1500 /\n", "empty-value", "warning", 3, 6},
        FindingCase{"last_record_dropped", kMap, "x y\n1000 10\n1000 2x\n",
                    "input-last-record-dropped", "warning", 3, 6},
        FindingCase{"input_swapped",
                    kMap,
                    "x y\n50 1000\n20 1500\n",
                    "columns-swapped",
                    "warning",
                    0,
                    0,
                    {"mostly-outside", "far-outside", "near-zero-speed"}},
        FindingCase{"input_not_a_number", kMap, "x y\n1000 10\nnan 10\n", "input-interpolation",
                    "error", 3, 0},
        // The results' warnings: two points inside, a third where the results
        // go wrong.
        FindingCase{"negative_results",
                    "m\nh\n1000 0 1\n1000 50 30\n1000 100 40\n2000 0 2\n2000 50 40\n2000 100 60\n",
                    "x y\n1500 50\n1500 60\n1500 -5\n", "negative-results", "warning", 4, 0},
        FindingCase{"results_out_of_range",
                    "m\nh\n1000 0 1\n1000 50 300\n1000 100 400\n2000 0 2\n2000 50 400\n2000 100 "
                    "600\n",
                    "x y\n1500 50\n1500 60\n1500 -9\n",
                    "results-out-of-range",
                    "warning",
                    4,
                    0,
                    {"negative-results"}},
        FindingCase{"far_outside", kMap, "x y\n1500 50\n1500 60\n1500 111\n", "far-outside",
                    "warning", 4, 0},
        FindingCase{"near_zero_speed",
                    "m\nh\n100 0 10\n100 50 20\n100 100 30\n1000 0 20\n1000 50 40\n1000 100 60\n",
                    "x y\n500 50\n600 60\n40 50\n", "near-zero-speed", "warning", 4, 0},
        FindingCase{"mostly_outside", kMap, "x y\n1500 50\n2050 50\n2050 60\n", "mostly-outside",
                    "warning", 3, 0},
        FindingCase{"units_hint",
                    kMap,
                    "x y\n150 50\n160 60\n170 50\n",
                    "units-hint",
                    "warning",
                    2,
                    0,
                    {"mostly-outside", "far-outside", "near-zero-speed"}},
        // Time in the first column: its swap with the second would put the
        // points inside, but columns-swapped is not the cause.
        FindingCase{"input_time_column",
                    kMap,
                    "t n\n0 1500\n5 1500\n10 1500\n15 1500\n20 1500\n25 1500\n30 1500\n35 "
                    "1500\n40 1500\n45 1500\n50 1500\n",
                    "input-time-column",
                    "warning",
                    2,
                    0,
                    {"negative-results", "mostly-outside", "far-outside", "near-zero-speed"}},
        FindingCase{"input_header_columns", kMap, "t n Me\n1500 50\n", "input-header-columns",
                    "warning", 1, 0},
        FindingCase{"map_header_order", map_with(2, "torque,speed,fuel"), "", "map-header-order",
                    "warning", 2, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A map the program refuses: the stop the checker names (code, ierr) is the
// one the program reports for the same files, and the finding names its cause.
TEST(FuelcalcCheck, PredictedStopIsTheProgramsStop) {
  struct StopCase {
    const char* name;
    std::string map;
    std::string code;   // of the finding that names the stop
    std::string cause;  // part of its message
  };
  const StopCase cases[] = {
      {"infinite_torque_before_a_single_point_speed",
       "m\nh\n1000 0 76.8\n1000 350 3599.3\n1000 inf 4643.8\n1500 100 2000\n2000 0 100\n2000 300 "
       "5000\n2000 600 9000\n",
       "map-interpolation", "the map's torques include an infinity"},
      {"infinite_speed", "m\nh\n1000 0 76.8\n1000 350 3599.3\ninf 0 100\ninf 300 5000\n",
       "map-interpolation", "the map's speeds include an infinity"},
      {"single_point_speed_before_a_repeated_torque",
       "m\nh\n1000 0 1\n1000 50 2\n1500 10 1\n2000 0 1\n2000 0 2\n", "map-single-point-speed",
       "speed 1500 has a single point"},
  };
  // The program's failure reports in the order of their call-site codes.
  const std::string kReports[] = {
      "DPCHIM ( called from FCGRID, 1st", "DPCHFE ( called from FCGRID, 1st",
      "DPCHIM ( called from FCGRID, 2nd", "DPCHFE ( called from FCGRID, 2nd",
      "DPCHIM ( called from CALCFC, 1st", "DPCHFE ( called from CALCFC, 1st",
      "DPCHIM ( called from CALCFC, 2nd", "DPCHFE ( called from CALCFC, 2nd"};
  TempDir dir;
  const std::string map = dir.file("map.dat"), input = dir.file("in.dat");
  write_file(input, kInput);
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(map, c.map);
    const RunResult program = run_fuelcalc({map, input, dir.file("out.dat")});
    int code = 0;
    for (int i = 0; i < 8; ++i)
      if (program.err.find(kReports[i]) != std::string::npos) code = i + 1;
    const std::size_t at = program.err.find("ierr =");
    ASSERT_NE(at, std::string::npos) << program.err;
    const int ierr = std::stoi(program.err.substr(at + 6));
    const std::string stop = "the program stops: interpolation failure, code " +
                             std::to_string(code) + ", ierr " + std::to_string(ierr) + ")";

    const Json doc = Json::parse(run_check({"--json", map}).out);
    std::vector<std::string> stops;
    for (const Json& f : doc["findings"]) {
      const std::string message = f["message"];
      if (message.find("the program stops: interpolation") == std::string::npos) continue;
      stops.push_back(message);
      EXPECT_EQ(f["code"], c.code);
      EXPECT_NE(message.find(c.cause), std::string::npos) << message;
      EXPECT_NE(message.find(stop), std::string::npos) << message;
    }
    EXPECT_EQ(stops.size(), 1u) << doc.dump(1);
  }
}

TEST(FuelcalcCheck, UnreadableValueReasons) {
  struct ReasonCase {
    int status;
    std::string record;
    std::size_t column;
    std::string reason;
  };
  const ReasonCase cases[] = {
      {textio::kSyntaxError, std::string(2050, 'X'), 0, "a text value longer than 2049 characters"},
      {textio::kSyntaxError, "1 00*5", 2, "the repeat count of '00*5' is zero"},
      {textio::kSyntaxError, "3*/ 4", 0, "the repeat count '3*' is followed by a slash"},
      {textio::kSyntaxError, "2*x", 0, "'2*x' is not a number"},
  };
  for (const ReasonCase& c : cases)
    EXPECT_EQ(fuelcalc::checks::unreadable_reason(c.status, c.record, c.column, 0), c.reason)
        << c.record;
}

TEST(FuelcalcCheck, UnreadableFilesGiveTheProgramsReasons) {
  if (const std::string why = unprivileged_runs_impossible(); !why.empty()) GTEST_SKIP() << why;
  TempDir dir;
  // A copy of the checker that uid 65534 can reach, whatever the build tree.
  const std::string checker = dir.file("fuelcalc-check"), map = dir.file("map.dat");
  std::filesystem::copy_file(FUELCALC_CHECK_BINARY, checker);
  ASSERT_EQ(::chmod(checker.c_str(), 0755), 0);
  write_file(map, kMap);
  ASSERT_EQ(::chmod(map.c_str(), 0), 0);
  ASSERT_EQ(::chmod(dir.path.c_str(), 0755), 0);
  RunOptions options;
  options.drop_privileges = true;
  const RunResult denied = run_program(checker, {map}, options);
  EXPECT_EQ(denied.status, 1);
  EXPECT_NE(denied.out.find("cannot be opened: permission to access file denied"),
            std::string::npos)
      << denied.out;
  const RunResult folder = run_check({dir.path});
  EXPECT_EQ(folder.status, 1);
  EXPECT_NE(folder.out.find("[map-open]"), std::string::npos) << folder.out;
}

TEST(FuelcalcCheck, ExitStatusesAndJsonShape) {
  TempDir dir;
  const std::string map = dir.file("map.dat"), warned = dir.file("warned.dat"),
                    input = dir.file("in.dat");
  write_file(map, kMap);
  write_file(warned, map_with(3, "1000 0 -1"));
  write_file(input, kInput);
  EXPECT_EQ(run_check({map, input}).status, 0);
  EXPECT_EQ(run_check({warned}).status, 0);
  EXPECT_EQ(run_check({"--werror", warned}).status, 1);
  EXPECT_EQ(run_check({"--werror", map, input}).status, 0);
  EXPECT_EQ(run_check({}).status, 2);
  EXPECT_EQ(run_check({"--bogus", map}).status, 2);
  for (const char* option : {"--speed-tolerance", "--grid-tolerance"})
    for (const char* bad : {"-1", "nan", "x", "1x"})
      EXPECT_EQ(run_check({option, bad, map}).status, 2) << option << ' ' << bad;
  EXPECT_EQ(run_check({"--outside", "wrap", map}).status, 2);
  for (const char* bad : {"-0.1", "1.5", "nan", "x"})
    EXPECT_EQ(run_check({"--outside-share", bad, map}).status, 2) << bad;
  for (const char* bad : {"150,-10", "0,0", "1", "-10,inf", "nan,150", "-10,150x", ",150"})
    EXPECT_EQ(run_check({"--result-range", bad, map}).status, 2) << bad;
  EXPECT_EQ(run_check({"--outside-share", "1", "--result-range", "-1e3,1e3", map}).status, 0);
  EXPECT_EQ(run_check({map, input, "extra"}).status, 2);
  const RunResult help = run_check({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--speed-tolerance RPM"), std::string::npos);
  const RunResult version = run_check({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("fuelcalc-check "), std::string::npos);

  const Json without_input = Json::parse(run_check({"--json", warned}).out);
  EXPECT_TRUE(without_input["input"].is_null());
  EXPECT_TRUE(without_input["summary"].is_null());
  const auto doc = nlohmann::ordered_json::parse(run_check({"--json", map, input}).out);
  std::vector<std::string> keys;
  for (const auto& [key, value] : doc.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"version", "format", "map", "input", "findings",
                                            "summary", "grid_deviation"}));
  EXPECT_EQ(doc["version"], FUELCALC_PROJECT_VERSION);
  EXPECT_EQ(doc["format"], 1);
  EXPECT_EQ(doc["input"], input);
  const auto& s = doc["summary"];
  for (const char* count :
       {"records", "inside", "below", "above", "beyond_speed", "nan", "negative", "nonfinite",
        "far_outside", "near_zero_speed", "out_of_range"})
    EXPECT_TRUE(s[count].is_number_unsigned()) << count;
  EXPECT_EQ(s["records"], 1);
  EXPECT_EQ(s["inside"], 1);
  EXPECT_NEAR(s["fuel"]["sum"].get<double>(), 30.0, 1e-9);  // linear between the corners
  for (const char* where :
       {"below", "above", "beyond_speed", "nan", "far_outside", "near_zero_speed", "out_of_range"})
    EXPECT_TRUE(s["first_lines"][where].is_array() && s["first_lines"][where].empty());
}

TEST(FuelcalcCheck, SnapWritesTheMeanOfNearEqualSpeeds) {
  TempDir dir;
  const std::string map = dir.file("map.dat"), snapped = dir.file("snapped.dat");
  write_file(map, "m\nh\n998 0 10\n1001 50 20\n1003 100 30\n2000 0 20\n2000 50 40\n2000 100 60\n");
  // Three speeds of one point each: errors, and one near-equal group.
  const RunResult run = run_check({"--snap", snapped, map});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("snap them to their mean 1000.6666666666666 (--snap) [speed-near-equal]"),
            std::string::npos)
      << run.out;
  const RunResult again = run_check({"--json", snapped});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(Json::parse(again.out)["findings"], Json::array()) << read_file(snapped);
  // A tolerance below the gaps sees no near-equal speeds.
  EXPECT_EQ(run_check({"--speed-tolerance", "1", map}).out.find("speed-near-equal"),
            std::string::npos);
}

// --snap never turns a map the program runs into one it refuses, and keeps
// the header records byte for byte; the finding says what it snaps and why not.
struct SnapCase {
  const char* name;
  std::string header, points;
  std::vector<std::string> options;
  int status;
  std::string said;                    // in the finding or the console
  std::optional<std::string> written;  // the snapped points, or nothing written
};

class Snap : public ::testing::TestWithParam<SnapCase> {};

TEST_P(Snap, KeepsTheHeaderAndNeverBreaksAMapThatRuns) {
  const SnapCase& c = GetParam();
  TempDir dir;
  const std::string map = dir.file("map.dat"), snapped = dir.file("snapped.dat");
  write_file(map, c.header + c.points);
  std::vector<std::string> args = c.options;
  args.insert(args.end(), {"--snap", snapped, map});
  const RunResult run = run_check(args);
  EXPECT_EQ(run.status, c.status) << run.out << run.err;
  EXPECT_NE((run.out + run.err).find(c.said), std::string::npos) << run.out << run.err;
  EXPECT_EQ(fuelcalc::check_map(map).header, c.header);
  if (!c.written) {
    EXPECT_FALSE(file_exists(snapped));
    return;
  }
  EXPECT_EQ(read_file(snapped), c.header + *c.written);
  write_file(dir.file("input.dat"), kInput);
  const RunResult again = run_fuelcalc({snapped, dir.file("input.dat"), dir.file("out")});
  EXPECT_EQ(again.status, 0) << again.out << again.err;
}

const std::string kTwinSpeeds =
    "1498 0 100\n1498 50 200\n1498 100 300\n1502 0 101\n1502 50 201\n1502 100 301\n2000 0 "
    "150\n2000 100 380\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, Snap,
    ::testing::Values(
        SnapCase{"torques_shared",
                 "h1\nh2\n",
                 kTwinSpeeds,
                 {},
                 0,
                 "closer together than 5.02 but form 2 groups, as a speed must repeat exactly; "
                 "--snap leaves them apart, as at their mean 1500 torque 0 would appear 2 times "
                 "(lines 3 and 6)",
                 kTwinSpeeds},
        SnapCase{"one_speed_left",
                 "h1\nh2\n",
                 kTwinSpeeds,
                 {"--speed-tolerance", "2000.5"},
                 0,
                 "closer together than 2000.5 but form 3 groups, as a speed must repeat exactly; "
                 "--snap leaves them apart, as at their mean 1625 the map would have a single "
                 "speed",
                 kTwinSpeeds},
        SnapCase{"header_kept",
                 "Diesel 7.7L, bench 3\r\n\r\n  SPEED TORQUE/FUEL \t\r\n",
                 "998 0 10\n1001 50 20\n1003 100 30\n2000 0 20\n2000 50 40\n2000 100 60\n",
                 {"--speed-tolerance", "4.7"},
                 1,
                 "closer together than 4.7 but form 3 groups, as a speed must repeat exactly: snap "
                 "them to their mean 1000.6666666666666 (--snap)",
                 "1000.6666666666666 0 10\n1000.6666666666666 50 20\n1000.6666666666666 100 "
                 "30\n2000 0 20\n2000 50 40\n2000 100 60\n"},
        // The point of fuel inf stays at 1498, alone there once the rest move.
        SnapCase{"alone_after_snapping",
                 "m\nh\n",
                 "1498 0 inf\n1498 50 200\n1502 10 101\n1502 60 201\n2000 0 150\n2000 100 380\n",
                 {},
                 1,
                 "snapped.dat not written: the snapped map would fail where the map as read "
                 "builds",
                 std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// Where --snap may not write, or cannot: the map and the input are never
// replaced, a write that fails leaves OUT as it was (and nothing beside
// it); a map needing more memory than the checker may have is told.
TEST(FuelcalcCheck, SnapAndMemoryFailuresLeaveTheFilesWhole) {
  std::string wide = "wide\nspeed torque fuel\n";
  for (int t = 0; t < 15000; ++t) wide += "1000 " + std::to_string(t) + " 10\n";
  for (int s = 1; s <= 15000; ++s)
    wide += std::to_string(1000 + s) + " 0 10\n" + std::to_string(1000 + s) + " 1 10\n";
  const struct {
    const char* name;
    std::string map;    // "/dev/zero": that device
    std::string out;    // "map", "input link": those; else a file holding "old\n"; "": no --snap
    std::string limit;  // a prlimit option, or none
    int status;
    std::string err;  // with MAP, OUT for the names
  } cases[] = {
      {"onto the map", kMap, "map", "", 1, "fuelcalc-check: MAP not written: it is the map\n"},
      {"onto the input through a link", kMap, "input link", "", 1,
       "fuelcalc-check: OUT not written: it is the input file\n"},
      {"beyond the file size limit", kMap, "out.dat", "--fsize=40", 1,
       "fuelcalc-check: OUT not written: cannot write 'OUT': File too large\n"},
      {"a long speed beside many short ones", wide, "", "--as=200000000", 0, ""},
      {"a map without line ends", "/dev/zero", "", "--as=200000000", 1,
       "fuelcalc-check: out of memory: the check needs more memory than it can have\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (kSanitized && c.limit.starts_with("--as"))
      continue;  // the sanitizer's shadow memory does not fit an address limit
    TempDir dir;
    const std::string input = dir.file("input.dat");
    const std::string map = c.map == "/dev/zero" ? c.map : dir.file("map.dat");
    if (map != c.map) write_file(map, c.map);
    write_file(input, kInput);
    std::string out = c.out == "map" ? map : dir.file(c.out);
    if (c.out == "input link") {
      out = dir.file("link");
      ASSERT_EQ(::symlink(input.c_str(), out.c_str()), 0);
    } else if (c.out != "map" && !c.out.empty()) {
      write_file(out, "old\n");
    }
    std::vector<std::string> args = {c.limit, FUELCALC_CHECK_BINARY};
    if (!c.out.empty()) args.insert(args.end(), {"--snap", out});
    args.insert(args.end(), {map, input});
    const RunResult run = c.limit.empty() ? run_check({args.begin() + 2, args.end()})
                                          : run_program("/usr/bin/prlimit", args);
    std::string err = c.err;
    for (const auto& [name, file] : {std::pair{"MAP", map}, std::pair{"OUT", out}})
      for (std::size_t at; (at = err.find(name)) != std::string::npos;)
        err.replace(at, std::string(name).size(), file);
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_EQ(run.err, err);
    if (map != c.map) {
      EXPECT_EQ(read_file(map), c.map);
    }
    EXPECT_EQ(read_file(input), kInput);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path))
      files += entry.path().filename() != "link";
    EXPECT_EQ(files, map == c.map ? 1u : 2u + (c.out == "out.dat"));
    if (c.out == "out.dat") {
      EXPECT_EQ(read_file(out), "old\n");
    }
  }
}

// The example run: counts against the program's own output and an envelope
// computed here from the map.
TEST(FuelcalcCheck, SummaryOfTheExamplesAgreesWithTheRun) {
  const std::string map = std::string(FUELCALC_EXAMPLES) + "/torque_map.dat";
  const std::string input = std::string(FUELCALC_EXAMPLES) + "/drive_cycle.dat";
  TempDir dir;
  ASSERT_EQ(run_fuelcalc({map, input, dir.file("out")}).status, 0);
  std::vector<double> fuel;
  std::istringstream out(read_file(dir.file("out")));
  std::string line;
  std::getline(out, line);
  for (double a, b, c; out >> a >> b >> c;) fuel.push_back(c);

  std::map<double, std::pair<double, double>> bounds;  // speed -> lowest, highest torque
  std::ifstream m(map);
  std::getline(m, line);
  std::getline(m, line);
  for (double s, t, f; m >> s >> t >> f;) {
    auto [it, fresh] = bounds.try_emplace(s, t, t);
    it->second = {std::min(it->second.first, t), std::max(it->second.second, t)};
  }
  std::map<std::string, std::vector<int>> lines;  // class -> lines
  std::ifstream in(input);
  std::getline(in, line);
  int number = 1;
  for (double s, t; in >> s >> t;) {
    ++number;
    std::string where = "inside";
    if (s < bounds.begin()->first || s > bounds.rbegin()->first) {
      where = "beyond_speed";
    } else {
      auto hi = bounds.lower_bound(s);
      auto lo = hi->first == s ? hi : std::prev(hi);
      const double w = hi == lo ? 0.0 : (s - lo->first) / (hi->first - lo->first);
      const double low = lo->second.first + w * (hi->second.first - lo->second.first);
      const double high = lo->second.second + w * (hi->second.second - lo->second.second);
      if (t < low) where = "below";
      if (t > high) where = "above";
    }
    lines[where].push_back(number);
  }

  const RunResult run = run_check({"--json", map, input});
  EXPECT_EQ(run.status, 0) << run.out;
  const Json s = Json::parse(run.out)["summary"];
  EXPECT_EQ(s["records"], fuel.size());
  EXPECT_EQ(s["inside"], lines["inside"].size());
  for (const char* where : {"below", "above", "beyond_speed"}) {
    const std::vector<int>& all = lines[where];
    EXPECT_EQ(s[where], all.size()) << where;
    EXPECT_EQ(
        s["first_lines"][where],
        Json(std::vector<int>(all.begin(), all.begin() + std::min<std::size_t>(5, all.size()))));
  }
  double sum = 0.0;
  int negative = 0;
  for (double f : fuel) {
    sum += f;
    negative += f < 0;
  }
  EXPECT_EQ(s["negative"], negative);
  EXPECT_EQ(s["nonfinite"], 0);
  const double rounding = 0.0005 * static_cast<double>(fuel.size());
  EXPECT_NEAR(s["fuel"]["sum"].get<double>(), sum, rounding);
  EXPECT_NEAR(s["fuel"]["min"].get<double>(), *std::min_element(fuel.begin(), fuel.end()), 0.0005);
  EXPECT_NEAR(s["fuel"]["max"].get<double>(), *std::max_element(fuel.begin(), fuel.end()), 0.0005);
  EXPECT_DOUBLE_EQ(s["fuel"]["mean"].get<double>(),
                   s["fuel"]["sum"].get<double>() / static_cast<double>(fuel.size()));

  const RunResult text = run_check({map, input});
  EXPECT_NE(text.out.find("summary of " + input + " over " + map + ":\n"), std::string::npos)
      << text.out;
}

// The grid's deviation computed here from FuelMap::grid_deviation().
std::optional<fuelcalc::GridDeviation> expected_deviation(const std::string& map_file) {
  const fuelcalc::FuelMap map = fuelcalc::FuelMap::load(map_file);
  const std::vector<double> deviation = map.grid_deviation();
  std::vector<double> relative;
  fuelcalc::GridDeviation d;
  for (std::size_t k = 0; k < deviation.size(); ++k) {
    if (map.point_fuels()[k] == 0.0) continue;
    relative.push_back(std::fabs(deviation[k]) / std::fabs(map.point_fuels()[k]));
    if (relative.size() == 1 || relative.back() > d.max)
      d = {relative.back(), 0.0, map.point_speeds()[k], map.point_torques()[k], 0};
  }
  if (relative.empty()) return std::nullopt;
  std::sort(relative.begin(), relative.end());
  d.p95 = fuelcalc::checks::linear_percentile(relative, 95.0);
  return d;
}

// A map with a motoring corner (fuel 0 at the friction torque) and a full
// load that varies with speed.
const std::string kCornerMap =
    "corner\nspeed torque fuel\n800 -60 0\n800 0 900\n800 200 3000\n800 600 9000\n1400 -90 0\n"
    "1400 0 1800\n1400 300 7000\n1400 1000 21000\n2000 -120 0\n2000 0 3200\n2000 250 9000\n"
    "2000 900 28000\n";

struct DeviationCase {
  const char* name;
  std::string map;  // a file of examples/, or the map's text
  std::string tolerance;
  int line;          // of the warning; 0: none
  std::string says;  // in the warning's message
};

class GridDeviation : public ::testing::TestWithParam<DeviationCase> {};

TEST_P(GridDeviation, EqualsTheLibrarysAndWarnsAtTheWorstPoint) {
  const DeviationCase& c = GetParam();
  TempDir dir;
  std::string map = std::string(FUELCALC_EXAMPLES) + "/" + c.map;
  if (c.map.find('\n') != std::string::npos) write_file(map = dir.file("map.dat"), c.map);
  const RunResult run = run_check({"--json", "--grid-tolerance", c.tolerance, map});
  const Json doc = Json::parse(run.out);
  Json warning = Json::array();
  for (const Json& f : doc["findings"])
    if (f["code"] == "grid-deviation") warning = {f["line"], f["message"]};
  if (const auto expected = expected_deviation(map)) {
    EXPECT_EQ(doc["grid_deviation"],
              Json({{"max", expected->max},
                    {"p95", expected->p95},
                    {"max_at", {expected->max_speed, expected->max_torque}}}));
  } else {
    EXPECT_TRUE(doc["grid_deviation"].is_null()) << run.out;
  }
  ASSERT_EQ(warning.empty(), c.line == 0) << run.out;
  if (c.line == 0) return;
  EXPECT_EQ(warning[0], c.line);
  EXPECT_NE(warning[1].get<std::string>().find(c.says), std::string::npos) << warning[1];
}

INSTANTIATE_TEST_SUITE_P(
    Maps, GridDeviation,
    ::testing::Values(
        DeviationCase{"example", "torque_map.dat", "1", 0, ""},
        DeviationCase{"heavy_duty", "heavy_duty_map.dat", "1", 17,
                      "1 of the 132 measured points with nonzero fuel by more than 1 %"},
        DeviationCase{"heavy_duty_loose", "heavy_duty_map.dat", "2", 0, ""},
        DeviationCase{"motoring_tight", "motoring_map.dat", "0.01", 34,
                      "line 34 (speed 1100, torque 0: measured 1812.9, grid 1812.57, -0.0183 %)"},
        DeviationCase{"corner_at_fuel_0", kCornerMap, "0.001", 5,
                      "at the 3 points measured at fuel 0 the grid gives up to 5.4619 (line 7)"},
        DeviationCase{"all_zero", "m\nh\n1000 0 0\n1000 50 0\n2000 0 0\n2000 50 0\n", "1", 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Each policy's summary against the library's values under that policy (under
// error, those of the points inside): the input's points lie inside, below,
// above and beyond the measured speeds.
TEST(FuelcalcCheck, SummaryUnderEachOutsidePolicy) {
  TempDir dir;
  const std::string map = dir.file("map.dat"), input = dir.file("in.dat");
  write_file(map, kCornerMap);
  write_file(input, "speed torque\n1000 100\n1100 -200\n900 1500\n500 100\n2600 0\n1700 500\n");
  const std::vector<double> speed{1000, 1100, 900, 500, 2600, 1700},
      torque{100, -200, 1500, 100, 0, 500};
  using enum fuelcalc::Outside;
  for (const auto& [name, policy] : std::map<std::string, fuelcalc::Outside>{
           {"extrapolate", extrapolate}, {"clamp", clamp}, {"nan", nan}, {"error", error}}) {
    const auto m = fuelcalc::FuelMap::load(map, fuelcalc::Method::grid, policy);
    Json expected = {{"sum", 0.0},    {"min", INFINITY}, {"max", -INFINITY},
                     {"negative", 0}, {"nonfinite", 0},  {"findings", Json::array()}};
    for (std::size_t i = 0, finite = 0; i < speed.size(); ++i) {
      if (policy == error && !m.inside(speed[i], torque[i])) continue;
      const double f = m.fuel(speed[i], torque[i]);
      if (!std::isfinite(f)) {
        expected["nonfinite"] = expected["nonfinite"].get<int>() + 1;
        continue;
      }
      expected["sum"] = finite++ == 0 ? f : expected["sum"].get<double>() + f;
      expected["min"] = std::min(expected["min"].get<double>(), f);
      expected["max"] = std::max(expected["max"].get<double>(), f);
      expected["negative"] = expected["negative"].get<int>() + (f < 0);
    }
    // Under error the run stops at the first point outside, on line 3. Four
    // of the six points lie outside, two of them far (lines 3 and 4); the
    // extrapolated value at line 3 is negative.
    if (policy == error) expected["findings"] = Json::array({{"outside-refused", 3}});
    if (policy == extrapolate) expected["findings"].push_back({"negative-results", 3});
    expected["findings"].push_back({"mostly-outside", 3});
    expected["findings"].push_back({"far-outside", 3});
    const RunResult run = run_check({"--json", "--outside", name, map, input});
    const Json doc = Json::parse(run.out), &s = doc["summary"];
    Json found = {{"sum", s["fuel"]["sum"]},     {"min", s["fuel"]["min"]},
                  {"max", s["fuel"]["max"]},     {"negative", s["negative"]},
                  {"nonfinite", s["nonfinite"]}, {"findings", Json::array()}};
    for (const Json& f : doc["findings"]) found["findings"].push_back({f["code"], f["line"]});
    EXPECT_EQ(found, expected) << name;
    EXPECT_EQ(s["inside"], 2) << name;
    EXPECT_EQ(doc.value("outside", std::string("extrapolate")), name);
  }
}

TEST(FuelcalcCheck, BinaryFilesAreRead) {
  TempDir dir;
  std::string bytes;
  for (int i = 0; i < 4096; ++i) bytes += static_cast<char>((i * 7919) % 251);
  write_file(dir.file("map"), bytes);
  write_file(dir.file("in"), bytes);
  const RunResult run = run_check({"--json", dir.file("map"), dir.file("in")});
  EXPECT_EQ(run.status, 1);
  Json doc;
  EXPECT_NO_THROW(doc = Json::parse(run.out));
}

}  // namespace

// A drive cycle given as the map has a finding of several codes on most of
// its lines, found in speed order: each code keeps its first 20 by line, and
// the count of the rest stands at the first line left out, after them all.
TEST(FuelcalcCheck, FindingsKeptAreTheFirstByLine) {
  const RunResult run = run_check({"--json", kExampleCycle, kExampleMap});
  std::map<std::string, std::vector<std::size_t>> kept;
  std::map<std::string, std::size_t> rest_at;
  const Json doc = Json::parse(run.out);
  for (const Json& f : doc["findings"]) {
    if (f["line"].is_null() || f["file"] != kExampleCycle) continue;
    const std::string message = f["message"];
    if (message.find("more finding") != std::string::npos)
      rest_at[f["code"]] = f["line"];
    else
      kept[f["code"]].push_back(f["line"]);
  }
  EXPECT_GE(rest_at.size(), 2u);
  for (const auto& [code, line] : rest_at) {
    SCOPED_TRACE(code);
    EXPECT_EQ(kept[code].size(), 20u);
    EXPECT_LE(*std::max_element(kept[code].begin(), kept[code].end()), line);
  }
}
