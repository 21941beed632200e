#include "checks/check_findings.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace fuelcalc::checks {

namespace {

// A finding without a line concerns the whole file and comes first.
std::size_t line_key(const Finding& finding) { return finding.line.value_or(0); }

}  // namespace

void FindingLog::add(const FindingCode& code, std::optional<std::size_t> line,
                     std::optional<std::size_t> column, std::string message) {
  const Severity severity = code.severity;
  if (severity == Severity::error) ++errors_;
  auto entry = codes_.find(code.code);
  if (entry == codes_.end()) entry = codes_.emplace(std::string(code.code), Code{}).first;
  Code& same = entry->second;
  // After the kept ones with a line not greater: a later finding on one line
  // stays after an earlier one.
  const std::size_t key = line.value_or(0);
  const auto at = std::upper_bound(
      same.kept.begin(), same.kept.end(), key,
      [](std::size_t key, const Kept& kept) { return key < line_key(kept.finding); });
  const bool full = same.kept.size() == kKeptPerCode;
  if (full && at == same.kept.end()) {
    same.left_out_at(key);
    return;
  }
  const auto index = at - same.kept.begin();
  if (full) {  // the last kept makes room
    same.left_out_at(line_key(same.kept.back().finding));
    same.kept.pop_back();
  }
  same.kept.insert(
      same.kept.begin() + index,
      {{severity, std::string(code.code), file_, line, column, std::move(message)}, found_++});
}

std::vector<Finding> FindingLog::close() {
  std::vector<Kept> all;
  for (auto& [code, same] : codes_) {
    for (Kept& kept : same.kept) all.push_back(std::move(kept));
    if (same.left_out == 0) continue;
    const Severity severity = all.back().finding.severity;
    std::optional<std::size_t> line;
    if (*same.first_left_out > 0) line = same.first_left_out;
    all.push_back({{severity, code, file_, line, std::nullopt,
                    count_text(same.left_out, "more finding") + " of this kind" +
                        (line ? " from this line on" : "") + " (only the first " +
                        std::to_string(kKeptPerCode) + " are shown)"},
                   found_++});
  }
  codes_.clear();
  // In line order, as a compiler lists them; findings of the whole file first.
  std::sort(all.begin(), all.end(), [](const Kept& a, const Kept& b) {
    return std::pair(line_key(a.finding), a.found) < std::pair(line_key(b.finding), b.found);
  });
  std::vector<Finding> findings;
  findings.reserve(all.size());
  for (Kept& kept : all) findings.push_back(std::move(kept.finding));
  return findings;
}

std::string rounded_text(double value) {
  if (!std::isfinite(value)) return number_text(value);
  char text[32];
  const auto end =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15).ptr;
  return std::string(text, end);
}

std::string count_text(std::size_t count, std::string_view noun) {
  std::string text = std::to_string(count) + " " + std::string(noun);
  if (count != 1) text += 's';
  return text;
}

}  // namespace fuelcalc::checks
