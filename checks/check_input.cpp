// The input check: the input read by the program's rules (one header record,
// then statements of two numbers, each keeping the values of the one before
// where it stores none), in one pass, with the summary of the run over the map.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "checks/check_findings.h"
#include "checks/check_header_words.h"
#include "checks/check_layout.h"
#include "checks/check_reading.h"
#include "checks/check_summary.h"
#include "checks/check_time_column.h"
#include "fuelcalc/check.hpp"
#include "textio/list_input.h"

namespace fuelcalc {
namespace {

using checks::code;
using checks::FindingLog;
using checks::TracedFile;

constexpr std::array<std::string_view, 2> kPointValues = {"speed", "torque"};

bool read_header(TracedFile& file, FindingLog& log) {
  textio::FixedText header = textio::blank_text();
  const int status = file.read_text(header);
  if (status == textio::kReadEnd) {
    log.add(code("input-unreadable"), std::nullopt, std::nullopt,
            "the file holds no record: an input file needs a header record before its points "
            "(the program stops with end-of-file during read, exit status 24)");
    return false;
  }
  if (status != 0) {
    const textio::StatementTrace& trace = file.trace();
    log.add(code("input-unreadable"), file.lines(), std::nullopt,
            "header record: " +
                checks::unreadable_reason(status, trace.last_record, trace.failed.column,
                                          file.os_error()) +
                " (the program stops with exit status " + std::to_string(status) + ")");
    return false;
  }
  checks::header_findings(log, code("input-header-numeric"), file, kPointValues.size());
  checks::input_header_columns(log, file.lines(), file.trace().last_record);
  return true;
}

// Values a statement left unchanged (an empty value, or a slash before them):
// the point keeps those of the record before it.
void empty_value_findings(const TracedFile& file, FindingLog& log, const double (&before)[2],
                          std::size_t records) {
  std::size_t item = 0;
  const auto keeps = [&](std::size_t k, const textio::ValueMark& mark, std::string_view what) {
    const std::string kept = records == 0
                                 ? checks::number_text(before[k]) + ", as no record comes before it"
                                 : checks::number_text(before[k]) + " of the record before it";
    log.add(
        code("empty-value"), file.line_of(mark.record), mark.column + 1,
        std::string(what) + ": the point keeps the " + std::string(kPointValues[k]) + " " + kept);
  };
  for (const textio::ValueMark& mark : file.trace().marks) {
    if (item >= kPointValues.size()) return;
    if (mark.kind == textio::ValueMark::Kind::Slash) {
      for (; item < kPointValues.size(); ++item) keeps(item, mark, "a slash ends the values");
      return;
    }
    const std::size_t end =
        std::min(kPointValues.size(), item + static_cast<std::size_t>(mark.copies));
    if (mark.kind == textio::ValueMark::Kind::Null)
      for (std::size_t k = item; k < end; ++k) keeps(k, mark, "an empty value");
    item = end;
  }
}

void unreadable_record(TracedFile& file, FindingLog& log, int status, std::size_t records) {
  const textio::StatementTrace& trace = file.trace();
  if (status == textio::kReadFailure) {
    log.add(code("input-unreadable"), std::nullopt, std::nullopt,
            checks::unreadable_reason(status, {}, 0, file.os_error()) + ": the run stops after " +
                checks::count_text(records, "record"));
    return;
  }
  const textio::ValueMark& failed = trace.failed;
  const bool in_last = failed.record + 1 == trace.records;
  const std::string reason =
      checks::unreadable_reason(status, in_last ? trace.last_record : "", failed.column, 0);
  const std::size_t line = file.line_of(failed.record);
  if (file.at_end()) {
    log.add(code("input-last-record-dropped"), line, failed.column + 1,
            reason +
                ": the program takes an unreadable last record for the end of the "
                "data and completes without it");
  } else {
    log.add(code("input-unreadable"), line, failed.column + 1,
            reason + ": the run stops here after " + checks::count_text(records, "record") +
                " (exit status 1)");
  }
}

// The run of a map under Outside::error stops at its first point outside.
void refused_finding(const checks::Refused& refused, const Summary& summary, FindingLog& log) {
  const std::size_t outside =
      summary.below.count + summary.above.count + summary.beyond_speed.count;
  const char* const where = refused.where == Where::below   ? "below the lowest measured torque"
                            : refused.where == Where::above ? "above the highest measured torque"
                                                            : "beyond the measured speeds";
  log.add(code("outside-refused"), refused.line, std::nullopt,
          "the point (" + checks::number_text(refused.speed) + ", " +
              checks::number_text(refused.torque) + ") lies " + where +
              ": with the outside policy error a run stops here after " +
              checks::count_text(refused.before, "record") + " (" + std::to_string(outside) +
              " of the " + std::to_string(summary.records) +
              " points lie outside the measured map; the fuel figures count those inside)");
}

}  // namespace

InputCheck check_input(const std::filesystem::path& path, const MapCheck& map) {
  InputCheck result;
  FindingLog log(path.string());
  TracedFile file;
  if (const std::string reason = file.open(path); !reason.empty()) {
    log.add(code("input-open"), std::nullopt, std::nullopt,
            "cannot be opened: " + reason + " (the program stops with this run-time error)");
    result.findings = log.close();
    return result;
  }
  std::optional<checks::SummaryBuilder> summary;
  const bool header_read = read_header(file, log);
  if (header_read && map.map) summary.emplace(*map.map, map.options);
  checks::TimeColumnWatch time_column;
  // Carriage returns inside the header record, and no record after it: the
  // lines end in CR alone, which the reading rules take for a blank, not for
  // a line end.
  const bool carriage_returns =
      header_read && file.trace().last_record.find('\r') != std::string_view::npos;
  const std::size_t header_line = file.lines();

  double speed = 0.0, torque = 0.0;
  double* const items[] = {&speed, &torque};
  std::size_t records = 0;
  for (bool reading = !log.has_errors(); reading;) {
    const double before[2] = {speed, torque};
    int stored = 0;
    const int status = file.read_numbers(items, stored);
    const textio::StatementTrace& trace = file.trace();
    if (status == textio::kReadEnd) {
      if (stored > 0)
        log.add(code("input-values-per-record"), file.line_of(trace.marks[0].record), std::nullopt,
                "the last record has only 1 of its 2 values before the end of the file: "
                "it is not used");
      break;
    }
    if (status != 0) {
      unreadable_record(file, log, status, records);
      break;
    }
    empty_value_findings(file, log, before, records);
    const checks::ValueLayout layout = checks::value_layout(trace, kPointValues.size());
    if (!layout.slash)
      checks::layout_findings(log, code("input-values-per-record"), file, layout, kPointValues);
    const std::size_t line = file.line_of(layout.first_record);
    if (summary && (std::isnan(speed) || std::isnan(torque))) {
      log.add(code("input-interpolation"), line, std::nullopt,
              "the point (" + checks::number_text(speed) + ", " + checks::number_text(torque) +
                  ") holds a value that is not a number: the run stops here after " +
                  checks::count_text(records, "record") + " (interpolation failure, code " +
                  (std::isnan(speed) ? "6" : "8") + ", ierr -5)");
      break;
    }
    if (summary) summary->add(speed, torque, line);
    time_column.add(speed, line);
    ++records;
  }

  if (carriage_returns && records == 0 && file.lines() == header_line && !log.has_errors())
    log.add(code("cr-line-ends"), header_line, std::nullopt,
            "the lines end in a carriage return alone: the program reads the whole file as "
            "one record, its header, and gives no results (end the lines with LF or CR LF)");
  // A first column of time is the cause a swap of the columns would not mend.
  const bool time_first = time_column.finish(log);
  if (summary) {
    result.summary = summary->finish();
    if (summary->first_refused()) refused_finding(*summary->first_refused(), *result.summary, log);
    summary->result_findings(*result.summary, log);
    const std::size_t inside = result.summary->inside, swapped = summary->swapped_inside();
    if (!time_first && swapped > 2 * inside && 4 * swapped >= result.summary->records)
      log.add(code("columns-swapped"), std::nullopt, std::nullopt,
              "with its two columns swapped " + std::to_string(swapped) + " of the " +
                  std::to_string(result.summary->records) +
                  " points would lie inside the map instead of " + std::to_string(inside) +
                  ": are the columns in the order torque, speed?");
  }
  result.findings = log.close();
  return result;
}

}  // namespace fuelcalc
