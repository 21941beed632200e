// The map check: the map read by the program's rules (two header records,
// then statements of three numbers), each point with its line.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checks/check_findings.h"
#include "checks/check_header_words.h"
#include "checks/check_layout.h"
#include "checks/check_map_build.h"
#include "checks/check_reading.h"
#include "fuelcalc/check.hpp"
#include "textio/list_input.h"

namespace fuelcalc {
namespace {

using checks::code;
using checks::FindingLog;
using checks::TracedFile;

constexpr std::array<std::string_view, 3> kPointValues = {"speed", "torque", "fuel value"};
constexpr std::string_view kRefused = " (the program stops: \"Failed to read TORQUE MAP\")";

// The two header records; false when the map ends or fails in them.
bool read_headers(TracedFile& file, FindingLog& log) {
  file.keep_bytes();  // the header as the file holds it, which --snap writes back
  for (int header = 0; header < 2; ++header) {
    textio::FixedText text = textio::blank_text();
    const int status = file.read_text(text);
    if (status == textio::kReadEnd) {
      log.add(code("map-empty"), std::nullopt, std::nullopt,
              std::string(header == 0 ? "the file is empty" : "the file holds one record") +
                  ": a map needs two header records before its points (the program stops with "
                  "end-of-file during read, exit status 24)");
      return false;
    }
    if (status != 0) {
      const textio::StatementTrace& trace = file.trace();
      log.add(code("map-unreadable"), file.lines(), std::nullopt,
              "header record: " +
                  checks::unreadable_reason(status, trace.last_record, trace.failed.column,
                                            file.os_error()) +
                  std::string(kRefused));
      return false;
    }
    checks::header_findings(log, code("map-header-numeric"), file, kPointValues.size());
    // The second record names the columns (the first is the map's title).
    if (header == 1) checks::map_header_order(log, file.lines(), file.trace().last_record);
  }
  return true;
}

// A point that the program's read leaves short: an empty value or a slash.
void report_short_point(const TracedFile& file, FindingLog& log, int stored) {
  const textio::StatementTrace& trace = file.trace();
  std::size_t record = 0, column = 0;
  std::string what = "an empty value";
  for (const textio::ValueMark& mark : trace.marks) {
    if (mark.kind == textio::ValueMark::Kind::Value) continue;
    if (mark.kind == textio::ValueMark::Kind::Slash) what = "a slash ends this point's values";
    record = mark.record;
    column = mark.column;
    break;
  }
  log.add(code("map-unreadable"), file.line_of(record), column + 1,
          what + ": the point has " + std::to_string(stored) + " of its 3 values" +
              std::string(kRefused));
}

void read_points(TracedFile& file, FindingLog& log, std::vector<MapPoint>& points) {
  double speed = 0.0, torque = 0.0, fuel = 0.0;
  double* const items[] = {&speed, &torque, &fuel};
  for (;;) {
    int stored = 0;
    const int status = file.read_numbers(items, stored);
    const textio::StatementTrace& trace = file.trace();
    if (status == textio::kReadEnd) {
      if (stored > 0)
        log.add(code("map-values-per-record"), file.line_of(trace.marks[0].record), std::nullopt,
                "the last point has only " + std::to_string(stored) +
                    " of its 3 values before the end of the file: it is not used");
      return;
    }
    if (status != 0) {
      if (status == textio::kReadFailure) {
        log.add(code("map-unreadable"), std::nullopt, std::nullopt,
                checks::unreadable_reason(status, {}, 0, file.os_error()));
        return;
      }
      // The statement's value stands in its last record unless a quoted
      // value ran on over records.
      const textio::ValueMark& failed = trace.failed;
      const bool in_last = failed.record + 1 == trace.records;
      log.add(
          code("map-unreadable"), file.line_of(failed.record), failed.column + 1,
          checks::unreadable_reason(status, in_last ? trace.last_record : "", failed.column, 0) +
              std::string(kRefused));
      continue;  // the next statement starts at the next record, as a fixed file would
    }
    if (stored < 3) {
      report_short_point(file, log, stored);
      continue;
    }
    const checks::ValueLayout layout = checks::value_layout(trace, kPointValues.size());
    checks::layout_findings(log, code("map-values-per-record"), file, layout, kPointValues);
    points.push_back({speed, torque, fuel, file.line_of(layout.first_record)});
  }
}

}  // namespace

MapCheck check_map(const std::filesystem::path& path, const CheckOptions& options) {
  checks::check_option_ranges(options);
  MapCheck result;
  result.options = options;
  FindingLog log(path.string());
  TracedFile file;
  if (const std::string reason = file.open(path); !reason.empty()) {
    log.add(
        code("map-open"), std::nullopt, std::nullopt,
        "cannot be opened: " + reason + " (the program stops: \"Cannot open TORQUE MAP file\")");
  } else if (read_headers(file, log)) {
    result.header = file.bytes_taken();
    read_points(file, log, result.points);
    if (!log.has_errors() && result.points.empty()) {
      log.add(code("map-empty"), std::nullopt, std::nullopt,
              "the map holds no points after its two header records (the program stops: "
              "interpolation failure, code 1, ierr -1)");
    }
    // Points after an unreadable one are not what the program would see.
    if (!log.has_errors())
      checks::check_built_map(result, options, log, checks::PointSource::program_file);
  }
  result.findings = log.close();
  return result;
}

bool has_errors(std::span<const Finding> findings) {
  for (const Finding& finding : findings)
    if (finding.severity == Severity::error) return true;
  return false;
}

}  // namespace fuelcalc
