#include "checks/finding_codes.h"

namespace fuelcalc {

std::string_view to_string(Severity severity) {
  return severity == Severity::error ? "error" : "warning";
}

std::span<const FindingCode> finding_codes() { return checks::kFindingCodes; }

Finding error_finding(const Error& error, const std::string& file) {
  const FindingCode* entry = &checks::code("cycle-unreadable");
  switch (error.kind()) {
    case ErrorKind::open: entry = &checks::code("file-unopenable"); break;
    case ErrorKind::outside: entry = &checks::code("outside-refused"); break;
    case ErrorKind::interpolation: entry = &checks::code("map-unusable"); break;
    case ErrorKind::write: entry = &checks::code("output-unwritable"); break;
    default: break;
  }
  // It stopped the run: an error whatever the code's registered severity
  // (outside-refused is a warning where a check foresees it).
  return {Severity::error, std::string(entry->code), file, error.line(), std::nullopt,
          error.what()};
}

}  // namespace fuelcalc
