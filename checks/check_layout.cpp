#include "checks/check_layout.h"

#include <string>
#include <vector>

namespace fuelcalc::checks {
namespace {

// "torque and fuel value", the names of values first..end.
std::string names_from(std::span<const std::string_view> names, std::size_t first) {
  std::string text;
  for (std::size_t i = first; i < names.size(); ++i) {
    if (i > first) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

std::string joined(const std::vector<std::string>& texts) {
  std::string text;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) text += i + 1 == texts.size() ? " and " : ", ";
    text += texts[i];
  }
  return text;
}

}  // namespace

// A header record holding only numbers is most likely a point.
void header_findings(FindingLog& log, const FindingCode& code, const TracedFile& file,
                     std::size_t point_values) {
  const textio::StatementTrace& trace = file.trace();
  if (trace.marks.empty() || trace.marks[0].kind != textio::ValueMark::Kind::Value ||
      trace.marks[0].record + 1 != trace.records)
    return;
  const std::vector<std::string> numbers = checks::numbers_in_header(trace.last_record);
  if (numbers.empty()) return;
  const std::size_t line = file.line_of(trace.marks[0].record);
  std::string message = "line " + std::to_string(line) + " holds the number" +
                        (numbers.size() > 1 ? "s " : " ") + joined(numbers) +
                        " but is read as a header";
  message +=
      numbers.size() == point_values ? ": that point is not used" : ": is a header record missing?";
  log.add(code, line, std::nullopt, message);
}

void layout_findings(FindingLog& log, const FindingCode& code, const TracedFile& file,
                     const ValueLayout& layout, std::span<const std::string_view> names) {
  if (layout.last_record == layout.first_record && layout.dropped == 0) return;
  const std::size_t items = names.size();
  const std::size_t line = file.line_of(layout.first_record);
  const std::string holds = "line " + std::to_string(line) + " holds " +
                            count_text(layout.first_count, "value") + ", not " +
                            std::to_string(items);
  if (layout.last_record != layout.first_record) {
    const std::size_t last = file.line_of(layout.last_record);
    std::string message = holds + ": the point takes its " + names_from(names, layout.first_count) +
                          " from line " + std::to_string(last);
    if (layout.dropped > 0)
      message +=
          (layout.dropped == 1 ? std::string(", and the other value")
                               : ", and the other " + std::to_string(layout.dropped) + " values") +
          " of line " + std::to_string(last) + (layout.dropped == 1 ? " is" : " are") + " lost";
    log.add(code, line, std::nullopt, message + "; reading goes on at the line after it");
  } else if (layout.dropped > 0) {
    log.add(code, line, layout.dropped_column + 1,
            holds + (layout.dropped == 1 ? ": the last value is not read"
                                         : ": the last " + std::to_string(layout.dropped) +
                                               " values are not read"));
  }
}

}  // namespace fuelcalc::checks
