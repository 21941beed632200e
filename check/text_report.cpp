#include <cstdio>
#include <string>

#include "fuelcalc/number_text.hpp"
#include "report.h"

namespace check {
namespace {

std::string location(const fuelcalc::Finding& finding) {
  std::string text = finding.file;
  if (!finding.line) return text;
  (text += ':') += std::to_string(*finding.line);
  if (finding.column) (text += ':') += std::to_string(*finding.column);
  return text;
}

std::string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// "  below          80   2.7 %   first on lines 12, 13, 14"
void write_class(std::ostream& out, const char* name, std::size_t count, std::size_t records,
                 const std::vector<std::size_t>* first_lines = nullptr) {
  char head[64];
  std::snprintf(head, sizeof head, "  %-14s %10zu", name, count);
  out << head;
  if (records > 0)
    out << formatted(" %6.1f %%",
                     100.0 * static_cast<double>(count) / static_cast<double>(records));
  if (first_lines && !first_lines->empty()) {
    out << "   first on line" << (first_lines->size() > 1 ? "s " : " ");
    for (std::size_t i = 0; i < first_lines->size(); ++i)
      out << (i ? ", " : "") << (*first_lines)[i];
  }
  out << '\n';
}

// "grid deviation at the measured points: max 0.018 % at line 40 (speed 1400, torque 0), p95 0.008
// %"
void write_deviation(std::ostream& out, const fuelcalc::GridDeviation& d) {
  out << "grid deviation at the measured points: max " << formatted("%.3g", 100.0 * d.max)
      << " % at line " << d.max_line << " (speed " << fuelcalc::number_text(d.max_speed)
      << ", torque " << fuelcalc::number_text(d.max_torque) << "), p95 "
      << formatted("%.3g", 100.0 * d.p95) << " %\n";
}

void write_summary(std::ostream& out, const Report& report, const fuelcalc::Summary& s) {
  out << "summary of " << *report.input << " over " << report.map;
  if (s.outside != fuelcalc::Outside::extrapolate)
    out << " (outside the map: " << fuelcalc::to_string(s.outside) << ")";
  out << ":\n";
  write_class(out, "records", s.records, 0);
  write_class(out, "inside", s.inside, s.records);
  write_class(out, "below", s.below.count, s.records, &s.below.first_lines);
  write_class(out, "above", s.above.count, s.records, &s.above.first_lines);
  write_class(out, "beyond speed", s.beyond_speed.count, s.records, &s.beyond_speed.first_lines);
  write_class(out, "not a number", s.nan.count, s.records, &s.nan.first_lines);
  write_class(out, "negative fuel", s.negative, s.records);
  write_class(out, "not finite", s.nonfinite, s.records);
  write_class(out, "far outside", s.far_outside.count, s.records, &s.far_outside.first_lines);
  write_class(out, "near 0 speed", s.near_zero_speed.count, s.records,
              &s.near_zero_speed.first_lines);
  write_class(out, "out of range", s.out_of_range.count, s.records, &s.out_of_range.first_lines);
  if (s.fuel)
    out << "  fuel           min " << formatted("%.3f", s.fuel->min) << "  mean "
        << formatted("%.3f", s.fuel->mean) << "  max " << formatted("%.3f", s.fuel->max) << "  sum "
        << formatted("%.3f", s.fuel->sum) << '\n';
}

}  // namespace

void write_text(std::ostream& out, const Report& report) {
  std::size_t errors = 0, warnings = 0;
  for (const fuelcalc::Finding& finding : report.findings) {
    const bool error = finding.severity == fuelcalc::Severity::error;
    ++(error ? errors : warnings);
    out << location(finding) << ": " << fuelcalc::to_string(finding.severity) << ": "
        << finding.message << " [" << finding.code << "]\n";
  }
  if (report.grid_deviation) write_deviation(out, *report.grid_deviation);
  if (report.summary) write_summary(out, report, *report.summary);
  out << errors << (errors == 1 ? " error, " : " errors, ") << warnings
      << (warnings == 1 ? " warning\n" : " warnings\n");
}

}  // namespace check
