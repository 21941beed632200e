// fuelcalc-check MAP [INPUT]: the checks of the library on the command line.
// Exit status 0 without errors, 1 with errors (or warnings under --werror),
// 2 for wrong usage.
#include <CLI/CLI.hpp>

#include <array>
#include <charconv>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "fuelcalc/check.hpp"
#include "fuelcalc/error.hpp"
#include "fuelcalc/version.hpp"
#include "report.h"

namespace {

// CLI11's NonNegativeNumber lets a not-a-number through; a tolerance must
// compare.
const CLI::Validator kZeroOrMore(
    [](const std::string& text) {
      double value = 0.0;
      const char* const end = text.data() + text.size();
      const auto [stop, error] = std::from_chars(text.data(), end, value);
      return error == std::errc() && stop == end && value >= 0.0 ? std::string()
                                                                 : "not a number of zero or more";
    },
    "");

// LOW,HIGH (two finite numbers, LOW below HIGH) into range; false for any
// other text.
bool percent_range(const std::string& text, std::array<double, 2>& range) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  const char* const end = text.data() + text.size();
  const auto low = std::from_chars(text.data(), text.data() + comma, range[0]);
  const auto high = std::from_chars(text.data() + comma + 1, end, range[1]);
  return low.ec == std::errc() && low.ptr == text.data() + comma && high.ec == std::errc() &&
         high.ptr == end && std::isfinite(range[0]) && std::isfinite(range[1]) &&
         range[0] < range[1];
}

const CLI::Validator kPercentRange(
    [](const std::string& text) {
      std::array<double, 2> range{};
      return percent_range(text, range) ? std::string()
                                        : "not LOW,HIGH in percent with LOW below HIGH";
    },
    "");

// The registry of finding codes, one line each: CODE<TAB>severity<TAB>meaning.
int list_codes() {
  for (const fuelcalc::FindingCode& entry : fuelcalc::finding_codes())
    std::cout << entry.code << '\t' << fuelcalc::to_string(entry.severity) << '\t' << entry.meaning
              << '\n';
  std::cout.flush();
  return std::cout ? 0 : 1;
}

// Whether two names reach one file (its device and inode).
bool same_file(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

// The checks, the snapped map and the report.
int run_checks(const CLI::App& app, const std::string& map_file, const std::string& input_file,
               const std::string& snap_file, const fuelcalc::CheckOptions& options, bool json,
               bool werror) {
  check::Report report{map_file, std::nullopt, {}, std::nullopt, std::nullopt};
  const fuelcalc::MapCheck map = fuelcalc::check_map(map_file, options);
  report.findings = map.findings;
  report.grid_deviation = map.grid_deviation;
  if (app.count("INPUT") > 0) {
    report.input = input_file;
    fuelcalc::InputCheck input = fuelcalc::check_input(input_file, map);
    report.findings.insert(report.findings.end(), input.findings.begin(), input.findings.end());
    report.summary = input.summary;
  }

  int status =
      fuelcalc::has_errors(report.findings) || (werror && !report.findings.empty()) ? 1 : 0;
  if (app.count("--snap") > 0) {
    try {
      if (same_file(snap_file, map_file))
        throw fuelcalc::Error(fuelcalc::ErrorKind::invalid_argument, "it is the map");
      if (app.count("INPUT") > 0 && same_file(snap_file, input_file))
        throw fuelcalc::Error(fuelcalc::ErrorKind::invalid_argument, "it is the input file");
      if (map.points.empty())
        throw fuelcalc::Error(fuelcalc::ErrorKind::read, "the map has no points to write");
      fuelcalc::write_snapped_map(snap_file, map);
    } catch (const fuelcalc::Error& error) {
      std::cerr << "fuelcalc-check: " << snap_file << " not written: " << error.what() << '\n';
      status = 1;
    }
  }
  if (json)
    check::write_json(std::cout, report);
  else
    check::write_text(std::cout, report);
  std::cout.flush();
  return std::cout ? status : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Checks a fuel map, and an input file against it, before a fuelcalc run.",
               "fuelcalc-check"};
  std::string map_file, input_file, snap_file;
  double speed_tolerance = 0.0, grid_percent = 1.0, outside_share = 0.5;
  std::string result_range;
  std::string outside_policy = "extrapolate";
  bool json = false, werror = false, listing = false;
  app.add_option("MAP", map_file, "the TORQUE MAP file")->required();
  app.add_option("INPUT", input_file, "an input file of operating points to check against the map");
  app.add_flag("--json", json, "write one JSON document instead of lines and a summary");
  app.add_option("--speed-tolerance", speed_tolerance,
                 "speeds closer than RPM are taken for one speed (default: 1 % of the speed range)")
      ->option_text("RPM")
      ->check(kZeroOrMore);
  app.add_option("--grid-tolerance", grid_percent,
                 "warn where the grid misses a measured fuel value by more than PERCENT of it "
                 "(default: 1)")
      ->option_text("PERCENT")
      ->check(kZeroOrMore);
  app.add_option("--outside", outside_policy,
                 "the summary's fuel values at points outside the measured map: extrapolate "
                 "(default), clamp, nan, error or bounded")
      ->option_text("POLICY")
      ->check(CLI::IsMember(std::vector<std::string>(fuelcalc::outside_names().begin(),
                                                     fuelcalc::outside_names().end())));
  app.add_option("--outside-share", outside_share,
                 "warn when more than SHARE of the points lie outside the measured map "
                 "(from 0 to 1; default: 0.5)")
      ->option_text("SHARE")
      ->check(kZeroOrMore & CLI::Range(0.0, 1.0));
  app.add_option("--result-range", result_range,
                 "warn at results below LOW or above HIGH percent of the largest measured fuel "
                 "value (default: -10,150)")
      ->option_text("LOW,HIGH")
      ->check(kPercentRange);
  app.add_option("--snap", snap_file, "write the map with near-equal speeds snapped to their mean")
      ->option_text("OUT");
  app.add_flag("--werror", werror, "exit with status 1 on warnings too");
  app.add_flag_callback(
         "--list-codes",
         [&listing] {
           listing = true;
           throw CLI::Success();
         },
         "print the finding codes, their severities and meanings, and exit")
      ->trigger_on_parse();
  app.set_version_flag("--version", "fuelcalc-check " + std::string(fuelcalc::version()));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (listing) return list_codes();
    return app.exit(error) == 0 ? 0 : 2;
  }

  fuelcalc::CheckOptions options;
  if (app.count("--speed-tolerance") > 0) options.speed_tolerance = speed_tolerance;
  options.grid_tolerance = grid_percent / 100.0;
  options.outside_share = outside_share;
  if (std::array<double, 2> percent{}; percent_range(result_range, percent))
    options.result_range = {percent[0] / 100.0, percent[1] / 100.0};
  options.outside = *fuelcalc::parse_outside(outside_policy);
  // A write beyond the file size limit fails (the snapped map is then not
  // written) rather than ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    return run_checks(app, map_file, input_file, snap_file, options, json, werror);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  std::cerr << "fuelcalc-check: out of memory: the check needs more memory than it can have\n";
  return 1;
}
