#include "library/check_findings.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace fuelcalc::checks {

void FindingLog::add(Severity severity, std::string_view code, std::optional<std::size_t> line,
                     std::optional<std::size_t> column, std::string message) {
  if (severity == Severity::error) ++errors_;
  auto kept = kept_.find(code);
  if (kept == kept_.end()) kept = kept_.emplace(std::string(code), 0).first;
  if (kept->second < kKeptPerCode) {
    ++kept->second;
    findings_.push_back({severity, std::string(code), file_, line, column, std::move(message)});
    return;
  }
  auto more = overflow_.find(code);
  if (more == overflow_.end())
    more = overflow_.emplace(std::string(code), Overflow{severity}).first;
  if (more->second.count++ == 0) more->second.first_line = line.value_or(0);
}

std::vector<Finding> FindingLog::close() {
  for (const auto& [code, more] : overflow_) {
    std::optional<std::size_t> line;
    if (more.first_line > 0) line = more.first_line;
    findings_.push_back({more.severity, code, file_, line, std::nullopt,
                         count_text(more.count, "more finding") + " of this kind" +
                             (line ? " from this line on" : "") + " (only the first " +
                             std::to_string(kKeptPerCode) + " are shown)"});
  }
  overflow_.clear();
  // In line order, as a compiler lists them; findings of the whole file first.
  std::stable_sort(findings_.begin(), findings_.end(), [](const Finding& a, const Finding& b) {
    return a.line.value_or(0) < b.line.value_or(0);
  });
  return std::move(findings_);
}

std::string number_text(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string count_text(std::size_t count, std::string_view noun) {
  std::string text = std::to_string(count) + " " + std::string(noun);
  if (count != 1) text += 's';
  return text;
}

}  // namespace fuelcalc::checks
