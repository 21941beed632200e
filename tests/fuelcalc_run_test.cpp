// End-to-end runs of the fuelcalc binary on real files in a temporary folder,
// comparing standard output, standard error, the output file and the exit status.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "run_expectations.h"
#include "test_support.h"

namespace {

using namespace testing_support;

TEST(FuelcalcRun, BilinearMapInsideAndOutside) {
  RunFolder run;
  run.go(kBilinearMap, "X Y\n1500 15\n2500,25\n500 15\r\n1500 0");
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.result.err, "");
  EXPECT_EQ(run.result.out, complete(4));
  EXPECT_EQ(run.out_file(), kHeader +
                                "1500.00\t15.000\t2.750\r\n"
                                "2500.00\t25.000\t7.750\r\n"
                                "500.00\t15.000\t0.250\r\n"
                                "1500.00\t0.000\t0.500\r\n");
}

TEST(FuelcalcRun, LatticeMapReproducesItsPoints) {
  // Points on a 20 x 20 lattice whose axes are exactly the grid's axes.
  std::string map = "lattice\nx y f\n";
  std::string input = "x y\n";
  std::string expected = kHeader;
  for (int i = 0; i < 20; ++i) {
    for (int j = 0; j < 20; ++j) {
      const int x = 1000 + 100 * i, y = 10 * j, f = 3 * i + 7 * j + i * j;
      map += std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(f) + "\n";
      input += std::to_string(x) + " " + std::to_string(y) + "\n";
      expected += std::to_string(x) + ".00\t" + std::to_string(y) + ".000\t" + std::to_string(f) +
                  ".000\r\n";
    }
  }
  RunFolder run;
  run.go(map, input);
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.out_file(), expected);
}

TEST(FuelcalcRun, LoaderOrdersScrambledRunsOfUnequalLengths) {
  // The second coordinates span 0..19, so the grid's axis holds every integer
  // there and the grid reproduces each map point only if the map was ordered.
  RunFolder run;
  run.go("h1\nh2\n2 5 10\n1 7 20\n2 0 30\n1 19 40\n1 0 50\n2 11 15\n2 19 60\n",
         "x y\n1 0\n1 7\n1 19\n2 0\n2 5\n2 11\n2 19\n");
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.out_file(), kHeader +
                                "1.00\t0.000\t50.000\r\n"
                                "1.00\t7.000\t20.000\r\n"
                                "1.00\t19.000\t40.000\r\n"
                                "2.00\t0.000\t30.000\r\n"
                                "2.00\t5.000\t10.000\r\n"
                                "2.00\t11.000\t15.000\r\n"
                                "2.00\t19.000\t60.000\r\n");
}

struct FailureCase {
  const char* name;
  std::string map;
  std::string input;
  std::string message;
  int ierr;
  std::string output;  // result lines written before the failure
};

class InterpolationFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(InterpolationFailure, ReportsAndExitsWithStatusOne) {
  const FailureCase& c = GetParam();
  RunFolder run;
  run.go(c.map, c.input);
  EXPECT_EQ(run.result.status, 1);
  EXPECT_EQ(run.result.out, "");
  EXPECT_EQ(run.result.err, failure_report(c.message, c.ierr));
  if (!c.output.empty()) {
    EXPECT_EQ(run.out_file(), kHeader + c.output);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, InterpolationFailure,
    ::testing::Values(
        FailureCase{"SingletonRun", "h\nh\n1 1 1\n2 1 1\n2 2 2\n", "x\n",
                    "Error : DPCHIM ( called from FCGRID, 1st )", -1, ""},
        FailureCase{"EmptyMap", "h\nh\n", "x\n", "Error : DPCHIM ( called from FCGRID, 1st )", -1,
                    ""},
        FailureCase{"DuplicatePoint", "h\nh\n1 1 1\n1 2 2\n2 1 1\n2 1 5\n", "x\n",
                    "Error : DPCHIM ( called from FCGRID, 1st )", -3, ""},
        FailureCase{"NotANumberInTheMap", "h\nh\n1 nan 1\n1 2 2\n2 1 3\n2 2 4\n", "x\n",
                    "Error : DPCHFE ( called from FCGRID, 1st )", -5, ""},
        FailureCase{"OneFirstCoordinate", "h\nh\n1 1 1\n1 2 2\n1 3 2\n", "x\n",
                    "Error : DPCHIM ( called from FCGRID, 2nd )", -1, ""},
        FailureCase{"AxisOfRepeatedValues",
                    "h\nh\n1000 1 1\n1000 2 2\n1000.0000000000001 1 1\n1000.0000000000001 2 2\n",
                    "x\n1000 1\n", "Error : DPCHIM ( called from CALCFC, 1st )", -3, ""},
        FailureCase{"SecondAxisOfRepeatedValues",
                    "h\nh\n1 1000 1\n1 1000.0000000000001 2\n2 1000 3\n2 1000.0000000000001 4\n",
                    "x\n1.5 1000\n", "Error : DPCHIM ( called from CALCFC, 2nd )", -3, ""},
        FailureCase{"NotANumberFirstCoordinate", kBilinearMap, "x\n1500 15\nNaN 30\n1500 15\n",
                    "Error : DPCHFE ( called from CALCFC, 1st )", -5, "1500.00\t15.000\t2.750\r\n"},
        FailureCase{"NotANumberSecondCoordinate", kBilinearMap, "x\n1500 nan\n",
                    "Error : DPCHFE ( called from CALCFC, 2nd )", -5, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FuelcalcRun, InfiniteCoordinateIsExtrapolatedNotAFailure) {
  RunFolder run;
  run.go(kBilinearMap, "x\ninf 15\n1500 -Infinity\n");
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.result.err, "");
  // Non-finite texts are padded with blanks to d + 310 characters.
  const auto padded = [](const std::string& text, std::size_t width) {
    return text + std::string(width - text.size(), ' ');
  };
  EXPECT_EQ(run.out_file(), kHeader + padded("Infinity", 312) + "\t15.000\t" + padded("NaN", 313) +
                                "\r\n" + "1500.00\t" + padded("-Infinity", 313) + "\t" +
                                padded("Infinity", 313) + "\r\n");
}

TEST(FuelcalcRun, MapMessagesAndStatuses) {
  RunFolder run;
  run.go("h\nh\n1 2 3\n1 2 x\n", "x\n");
  EXPECT_EQ(run.result.status, 1);
  EXPECT_EQ(run.result.err, " Failed to read TORQUE MAP [ " + run.map + " ]\r\n");
  EXPECT_FALSE(testing_support::file_exists(run.output));

  run.go("h\nh\n1 2 3\n1,,3\n", "x\n");  // a point lacking its second coordinate
  EXPECT_EQ(run.result.status, 1);
  EXPECT_EQ(run.result.err, " Failed to read TORQUE MAP [ " + run.map + " ]\r\n");

  const std::string missing = run.dir.file("none.dat");
  const auto result = run_fuelcalc({missing + "   ", run.input, run.output});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, " Cannot open TORQUE MAP file [ " + missing + " ]\r\n");

  run.go("only one header\n", "x\n");
  EXPECT_EQ(run.result.status, 24);
  EXPECT_EQ(run.result.err,
            runtime_report(
                "sysrun: severe (24): end-of-file during read, unit 17, file " + run.map + "\r\n",
                {"LOADMAP", "FUELCALC"}));
}

TEST(FuelcalcRun, ReadErrorInTheMiddleAndAtTheEnd) {
  RunFolder run;
  run.go(kBilinearMap, "x\n1500 15\n1500 15\nabc\n1500 15\n");
  EXPECT_EQ(run.result.status, 1);
  EXPECT_EQ(run.result.out, read_error(3));
  EXPECT_EQ(run.out_file(), kHeader + "1500.00\t15.000\t2.750\r\n1500.00\t15.000\t2.750\r\n");

  run.go(kBilinearMap, "x\n1500 15\n1500 15\nabc\n");
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.result.out, complete(2));
}

TEST(FuelcalcRun, AsteriskEndsANumberInMapAndInput) {
  RunFolder run;
  run.go("bilinear\nh\n1000 10 1.0*2\n1000 20 2\n2000 10 3\n2000 20 5e0*\n",
         "x\n1500 15\n1500 1.5e1*2");
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.result.err, "");
  EXPECT_EQ(run.result.out, complete(2));  // the last record counts
  EXPECT_EQ(run.out_file(), kHeader + "1500.00\t15.000\t2.750\r\n1500.00\t15.000\t2.750\r\n");
}

TEST(FuelcalcRun, HeaderOnlyAndEmptyInputs) {
  RunFolder run;
  run.go(kBilinearMap, "X Y FC\n");
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.result.out, complete(0));
  EXPECT_EQ(run.out_file(), kHeader);

  TempDir other;
  const std::string output = other.file("out.dat");
  write_file(run.input, "");
  const auto result = run_fuelcalc({run.map, run.input, output});
  EXPECT_EQ(result.status, 24);
  EXPECT_EQ(result.err,
            runtime_report(
                "sysrun: severe (24): end-of-file during read, unit 10, file " + run.input + "\r\n",
                {"FUELCALC"}));
  EXPECT_FALSE(testing_support::file_exists(output));
}

TEST(FuelcalcRun, MissingInputLeavesTheOutputAlone) {
  RunFolder run;
  write_file(run.map, kBilinearMap);
  write_file(run.output, "precious\n");
  const auto result = run_fuelcalc({run.map, "missing.dat", run.output}, in_folder(run.dir.path));
  EXPECT_EQ(result.status, 29);
  EXPECT_EQ(result.err, runtime_report("sysrun: severe (29): file not found, unit 10, file " +
                                           run.dir.file("missing.dat") + "\r\n",
                                       {"FUELCALC"}));
  EXPECT_EQ(read_file(run.output), "precious\n");
}

TEST(FuelcalcRun, FoldersAreNoFiles) {
  RunFolder run;
  write_file(run.map, kBilinearMap);
  write_file(run.input, "x\n1500 15\n");
  auto result = run_fuelcalc({run.dir.path, run.input, run.output});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, " Cannot open TORQUE MAP file [ " + run.dir.path + " ]\r\n");
  for (const auto& input_and_output :
       {std::pair{run.dir.path, run.output}, std::pair{run.input, run.dir.path}}) {
    result = run_fuelcalc({run.map, input_and_output.first, input_and_output.second});
    EXPECT_EQ(result.status, 30);
    const int unit = input_and_output.first == run.dir.path ? 10 : 11;
    EXPECT_EQ(result.err.substr(0, result.err.find("Image")),
              "sysrun: Is a directory\r\nsysrun: severe (30): open failure, unit " +
                  std::to_string(unit) + ", file " + run.dir.path + "\r\n");
  }
}

TEST(FuelcalcRun, OutputOnTheInputIsRefused) {
  RunFolder run;
  write_file(run.map, kBilinearMap);
  const std::string input = "x\n1500 15\n";
  write_file(run.input, input);
  const auto result = run_fuelcalc({run.map, run.input, run.dir.path + "/./input.dat"});
  EXPECT_EQ(result.status, 30);
  EXPECT_EQ(result.err, runtime_report("sysrun: the file is already connected to unit 10\r\n"
                                       "sysrun: severe (30): open failure, unit 11, file " +
                                           run.input + "\r\n",
                                       {"FUELCALC"}));
  EXPECT_EQ(read_file(run.input), input);
}

// One speed of 15,000 torques beside 15,000 speeds of two: the grid's work
// storage grows with the points, so the run fits in 200 MB of address space.
TEST(FuelcalcRun, MapsFitWhatTheirPointsNeed) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address limit";
  std::string wide = "wide\nspeed torque fuel\n";
  for (int t = 0; t < 15000; ++t) wide += "1000 " + std::to_string(t) + " 10\n";
  for (int s = 1; s <= 15000; ++s)
    wide += std::to_string(1000 + s) + " 0 10\n" + std::to_string(1000 + s) + " 1 10\n";
  const struct {
    const char* name;
    std::string map;
    int status;
    std::string out;
  } cases[] = {
      {"a long speed beside many short ones", wide, 0, complete(1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RunFolder run;
    write_file(run.map, c.map);
    write_file(run.input, "x\n1500 0.5\n");
    const auto result = run_program(
        "/usr/bin/prlimit", {"--as=200000000", fuelcalc_binary(), run.map, run.input, run.output});
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.out, c.out);
  }
}

TEST(FuelcalcRun, OutputToStandardOutputKeepsItsOrder) {
  RunFolder run;
  write_file(run.map, kBilinearMap);
  write_file(run.input, "x\n1500 15\n");
  const auto result = run_fuelcalc({run.map, run.input, "/dev/stdout"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, kHeader + "1500.00\t15.000\t2.750\r\n" + complete(1));
}

TEST(FuelcalcRun, LongerOutputFileIsCut) {
  RunFolder run;
  write_file(run.output, std::string(5000, 'z'));
  run.go(kBilinearMap, "x\n1500 15\n");
  EXPECT_EQ(run.result.status, 0);
  EXPECT_EQ(run.out_file(), kHeader + "1500.00\t15.000\t2.750\r\n");
}

TEST(FuelcalcRun, OutputPermissionFailures) {
  if (const std::string why = unprivileged_runs_impossible(); !why.empty()) GTEST_SKIP() << why;
  RunFolder run;
  write_file(run.map, kBilinearMap);
  write_file(run.input, "x\n1500 15\n");
  write_file(run.output, "old\n");
  ::chmod(run.map.c_str(), 0644);
  ::chmod(run.input.c_str(), 0644);
  ::chmod(run.output.c_str(), 0444);
  auto result = run_fuelcalc({run.map, run.input, run.output}, unprivileged());
  EXPECT_EQ(result.status, 47);
  EXPECT_EQ(result.err.substr(0, result.err.find('\r')),
            "sysrun: severe (47): write to READONLY file, unit 11, file " + run.output);
  EXPECT_EQ(read_file(run.output), "old\n");

  const std::string locked = run.dir.file("locked");
  ::mkdir(locked.c_str(), 0555);
  result = run_fuelcalc({run.map, run.input, locked + "/out.dat"}, unprivileged());
  EXPECT_EQ(result.status, 9);
  EXPECT_EQ(
      result.err.substr(0, result.err.find('\r')),
      "sysrun: severe (9): permission to access file denied, unit 11, file " + locked + "/out.dat");

  result = run_fuelcalc({run.map, run.input, run.dir.file("no/such/dir/out.dat")});
  EXPECT_EQ(result.status, 29);
}

struct PromptCase {
  const char* name;
  std::vector<std::string> args;  // relative names, run in the temporary folder
  std::string typed;
  std::string prompts;
  int status;
};

class Prompts : public ::testing::TestWithParam<PromptCase> {};

TEST_P(Prompts, AskForWhatIsMissing) {
  const PromptCase& c = GetParam();
  TempDir dir;
  write_file(dir.file("map.dat"), kBilinearMap);
  write_file(dir.file("in.dat"), "x\n1500 15\n");
  const auto result = run_fuelcalc(c.args, in_folder(dir.path, c.typed));
  EXPECT_EQ(result.status, c.status);
  if (c.status == 0) {
    EXPECT_EQ(result.out, c.prompts + complete(1));
    EXPECT_EQ(read_file(dir.file("out.dat")), kHeader + "1500.00\t15.000\t2.750\r\n");
  } else {
    EXPECT_EQ(result.out, c.prompts);
    EXPECT_EQ(result.err, runtime_report("sysrun: severe (24): end-of-file during read, unit -4, "
                                         "file CONIN$\r\n",
                                         {"FUELCALC"}));
  }
}

const std::string kAskMap = "TYPE FILENAME FOR TORQUEMAP : ";
const std::string kAskInput = "TYPE FILENAME FOR INPUT : ";
const std::string kAskOutput = "TYPE FILENAME FOR OUTPUT : ";

INSTANTIATE_TEST_SUITE_P(
    Console, Prompts,
    ::testing::Values(
        PromptCase{"NoneMissing", {"map.dat", "in.dat", "out.dat"}, "", "", 0},
        PromptCase{"InputOnly", {"map.dat", "", "out.dat"}, "in.dat\n", kAskInput, 0},
        PromptCase{
            "AllTyped", {}, "map.dat\nin.dat\nout.dat\n", kAskMap + kAskInput + kAskOutput, 0},
        PromptCase{"EmptyLineReadsOn",
                   {},
                   "\nmap.dat\n'in.dat'\n\"out.dat\" more\n",
                   kAskMap + kAskInput + kAskOutput,
                   0},
        PromptCase{"CommaAndSlashAskAgain",
                   {"map.dat"},
                   ",\n/\nin.dat\nout.dat\n",
                   kAskInput + kAskInput + kAskInput + kAskOutput,
                   0},
        PromptCase{"EndOfConsoleInput", {"map.dat"}, "in.dat\n", kAskInput + kAskOutput, 24}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
