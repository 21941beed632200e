#pragma once
// Checks of a map file and an input file before a run: they read the files
// by the program's own rules and say what the program would refuse (errors),
// what it would silently get wrong (warnings), each at its line and column,
// and, for an input against a map, what the run will give (the summary).
// They write nothing and end nothing; the findings are plain values.
#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuelcalc/error.hpp"
#include "fuelcalc/export.hpp"
#include "fuelcalc/fuel_map.hpp"

namespace fuelcalc {

enum class Severity { error, warning };

// "error", "warning".
FUELCALC_API std::string_view to_string(Severity severity);

// One entry of the registry of finding codes: every finding a check or a
// tool reports carries one of these codes, with its severity.
struct FindingCode {
  std::string_view code;     // stable, e.g. "map-header-numeric"
  Severity severity;         // of every finding of the code (but see error_finding)
  std::string_view meaning;  // one line, plain English
};

// The registry, in the order docs/checks.md lists the codes (fuelcalc-check
// --list-codes prints it).
FUELCALC_API std::span<const FindingCode> finding_codes();

struct Finding {
  Severity severity = Severity::warning;
  std::string code;                   // stable, e.g. "map-header-numeric"
  std::string file;                   // as the file was named to the check
  std::optional<std::size_t> line;    // 1-based; empty where no line applies
  std::optional<std::size_t> column;  // 1-based byte column; empty where none applies
  std::string message;                // plain English, with the values involved
};

// At most this many line numbers are kept per class of points.
inline constexpr std::size_t kFirstLines = 5;

struct PointClass {
  std::size_t count = 0;
  std::vector<std::size_t> first_lines;  // the lines of the first kFirstLines points
};

// Fuel figures over the finite results, summed in record order.
struct FuelFigures {
  double min = 0.0;
  double mean = 0.0;
  double max = 0.0;
  double sum = 0.0;
};

// What a run of the input over the map gives, record by record: where each
// point stands against the measured envelope (FuelMap::where) and its fuel
// value (FuelMap::fuel, the double the program edits).
struct Summary {
  std::size_t records = 0;  // result lines the run writes
  std::size_t inside = 0;
  PointClass below, above, beyond_speed;
  // Points with a speed or a torque that is not a number (Where::nan); the
  // program stops at the first, so a run's summary ends before it
  // (input-interpolation).
  PointClass nan;
  std::size_t negative = 0;   // finite results below zero
  std::size_t nonfinite = 0;  // infinite or not-a-number results
  // Points more than a tenth of the measured speed range beyond the measured
  // speeds, or more than a tenth of the measured torque range beyond the
  // envelope at their speed (far-outside).
  PointClass far_outside;
  // Points at a speed below half the lowest measured speed (near-zero-speed).
  PointClass near_zero_speed;
  // Finite results outside CheckOptions::result_range times the largest
  // measured fuel value (results-out-of-range).
  PointClass out_of_range;
  std::optional<FuelFigures> fuel;  // empty when no result is finite
  // The map's method and outside policy the fuel values were computed with
  // (CheckOptions). Under Outside::error a point outside gives no result: the
  // fuel figures, negative and nonfinite count only the points inside, and
  // the input check warns at the first one outside (outside-refused).
  Method method = Method::grid;
  Outside outside = Outside::extrapolate;
};

struct CheckOptions {
  // Speeds closer than this (in the map's first-coordinate unit) are taken
  // for one speed measured with noise; empty: 1 % of the measured range.
  std::optional<double> speed_tolerance;
  // The grid may miss a measured fuel value by this fraction of it (0.01:
  // 1 %) before grid-deviation warns. Not negative, not a number.
  double grid_tolerance = 0.01;
  // The method and outside policy of the map the checks build, so of the
  // summary's fuel figures; the findings about the map are the program's
  // (the grid, extrapolating) whatever they are.
  Method method = Method::grid;
  Outside outside = Outside::extrapolate;
  // mostly-outside warns when more than this share of an input's points lie
  // outside the measured map. From 0 to 1.
  double outside_share = 0.5;
  // results-out-of-range warns at results below the first or above the
  // second of these fractions of the largest measured fuel value (-0.1:
  // -10 %). Finite, the first below the second.
  std::array<double, 2> result_range = {-0.1, 1.5};
};

// A map point as read, with the line its first value stands on.
struct MapPoint {
  double speed = 0.0;
  double torque = 0.0;
  double fuel = 0.0;
  std::size_t line = 0;
};

// How far the grid misses the measured points: |grid - measured| / |measured|
// over the points with finite nonzero fuel (FuelMap::grid_deviation()), as
// fractions (0.012: 1.2 %).
struct GridDeviation {
  double max = 0.0;
  double p95 = 0.0;  // the 95th percentile, interpolated linearly between ranks
  // The measured point of the max (the first in file order among equal ones).
  double max_speed = 0.0;
  double max_torque = 0.0;
  std::size_t max_line = 0;
};

struct MapCheck {
  std::vector<Finding> findings;
  std::vector<MapPoint> points;  // in file order
  // The bytes of the records the two header reads took, line ends included
  // (blank records before a header's text too); empty when they failed.
  std::string header;
  // Built when the program would build it, with the options' method and
  // outside policy.
  std::optional<FuelMap> map;
  // Empty without a map, without a measured fuel value that is finite and
  // not zero, or when the grid gives a value that is not a number at one.
  std::optional<GridDeviation> grid_deviation;
  double speed_tolerance = 0.0;  // as used for speed-near-equal
  // Each point's speed with near-equal speeds replaced by their group's mean.
  std::vector<double> snapped_speeds;
  // The options of the check, which the input check goes on with.
  CheckOptions options;
};

struct InputCheck {
  std::vector<Finding> findings;
  std::optional<Summary> summary;  // empty without a map the program would build
};

// Throws Error (invalid_argument) when options.grid_tolerance is negative or
// not a number, options.outside_share not from 0 to 1, or options.result_range
// not two finite fractions, the first below the second; every fault of the
// file is a finding.
FUELCALC_API MapCheck check_map(const std::filesystem::path& file,
                                const CheckOptions& options = {});

// Reads the input file in one pass, in bounded memory whatever its length;
// the summary's fuel values come from map.map.
FUELCALC_API InputCheck check_input(const std::filesystem::path& file, const MapCheck& map);

FUELCALC_API bool has_errors(std::span<const Finding> findings);

// The finding of an Error that stopped a run over file (a tool's cycle run):
// always an error, its code by the error's kind (file-unopenable,
// outside-refused, map-unusable, output-unwritable, else cycle-unreadable),
// at the error's line.
FUELCALC_API Finding error_finding(const Error& error, const std::string& file);

// Writes map.header (two lines of its own when empty), then the map's points
// in file order with their snapped speeds, in the program's map format.
// Throws Error: open or write when the file cannot be written; interpolation,
// and writes nothing, when map.map was built but the snapped points would
// not build (the program would refuse the snapped map, not the map as read).
FUELCALC_API void write_snapped_map(const std::filesystem::path& file, const MapCheck& map);

}  // namespace fuelcalc
