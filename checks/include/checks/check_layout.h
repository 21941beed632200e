#pragma once
// Findings about the header records, and about how one read statement's values lay over the
// records: a record holding fewer values than a point needs (the point takes the rest from the next
// lines, and what it leaves of them is lost), or more (the surplus is lost).
#include <cstddef>
#include <span>
#include <string_view>

#include "checks/check_findings.h"
#include "checks/check_reading.h"

namespace fuelcalc::checks {

// `names` holds one noun per value of a point ("speed", "torque", ...).
void layout_findings(FindingLog& log, const FindingCode& code, const TracedFile& file,
                     const ValueLayout& layout, std::span<const std::string_view> names);

// A header record that holds only numbers (`point_values` of them make a
// point that is lost).
void header_findings(FindingLog& log, const FindingCode& code, const TracedFile& file,
                     std::size_t point_values);

}  // namespace fuelcalc::checks
