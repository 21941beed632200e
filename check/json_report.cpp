#include "fuelcalc/version.hpp"
#include "report.h"
#include "tools/json_fields.h"

namespace check {

void write_json(std::ostream& out, const Report& report) {
  using tools::Json;
  using tools::json_value;
  // "format" counts changes of this document's layout, apart from the version.
  Json document = {{"version", std::string(fuelcalc::version())},
                   {"format", 1},
                   {"map", report.map},
                   {"input", json_value(report.input)},
                   {"findings", json_value(report.findings)},
                   {"summary", json_value(report.summary)}};
  // The policy of a summary computed otherwise than the program computes.
  if (report.summary && report.summary->outside != fuelcalc::Outside::extrapolate)
    document["outside"] = std::string(fuelcalc::to_string(report.summary->outside));
  document["grid_deviation"] = json_value(report.grid_deviation);
  // File names and quoted values may hold bytes that are not UTF-8.
  out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace check
