#include <nlohmann/json.hpp>

#include "fuelcalc/version.hpp"
#include "report.h"

namespace check {
namespace {

using Json = nlohmann::ordered_json;

template <class T>
Json or_null(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json finding_json(const fuelcalc::Finding& f) {
  return {{"severity", std::string(fuelcalc::to_string(f.severity))},
          {"code", f.code},
          {"file", f.file},
          {"line", or_null(f.line)},
          {"column", or_null(f.column)},
          {"message", f.message}};
}

Json summary_json(const fuelcalc::Summary& s) {
  Json fuel = {{"min", nullptr}, {"mean", nullptr}, {"max", nullptr}, {"sum", 0.0}};
  if (s.fuel)
    fuel = {
        {"min", s.fuel->min}, {"mean", s.fuel->mean}, {"max", s.fuel->max}, {"sum", s.fuel->sum}};
  return {{"records", s.records},
          {"inside", s.inside},
          {"below", s.below.count},
          {"above", s.above.count},
          {"beyond_speed", s.beyond_speed.count},
          {"nan", s.nan.count},
          {"negative", s.negative},
          {"nonfinite", s.nonfinite},
          {"far_outside", s.far_outside.count},
          {"near_zero_speed", s.near_zero_speed.count},
          {"out_of_range", s.out_of_range.count},
          {"fuel", fuel},
          {"first_lines",
           {{"below", s.below.first_lines},
            {"above", s.above.first_lines},
            {"beyond_speed", s.beyond_speed.first_lines},
            {"nan", s.nan.first_lines},
            {"far_outside", s.far_outside.first_lines},
            {"near_zero_speed", s.near_zero_speed.first_lines},
            {"out_of_range", s.out_of_range.first_lines}}}};
}

Json deviation_json(const fuelcalc::GridDeviation& d) {
  return {{"max", d.max}, {"p95", d.p95}, {"max_at", {d.max_speed, d.max_torque}}};
}

}  // namespace

void write_json(std::ostream& out, const Report& report) {
  Json findings = Json::array();
  for (const fuelcalc::Finding& f : report.findings) findings.push_back(finding_json(f));
  // "format" counts changes of this document's layout, apart from the version.
  Json document = {{"version", std::string(fuelcalc::version())},
                   {"format", 1},
                   {"map", report.map},
                   {"input", or_null(report.input)},
                   {"findings", findings},
                   {"summary", report.summary ? summary_json(*report.summary) : Json(nullptr)}};
  // The policy of a summary computed otherwise than the program computes.
  if (report.summary && report.summary->outside != fuelcalc::Outside::extrapolate)
    document["outside"] = std::string(fuelcalc::to_string(report.summary->outside));
  document["grid_deviation"] =
      report.grid_deviation ? deviation_json(*report.grid_deviation) : Json(nullptr);
  // File names and quoted values may hold bytes that are not UTF-8.
  out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace check
