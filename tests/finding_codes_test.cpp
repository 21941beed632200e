// The registry of finding codes against docs/checks.md's table (codes,
// severities, order) and against fuelcalc-check --list-codes.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fuelcalc/check.hpp"
#include "test_support.h"

namespace {

struct Row {
  std::string code, severity;
  bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
  return out << row.code << ' ' << row.severity;
}

// The table's rows: | `code` | severity | ... |
std::vector<Row> documented_rows() {
  std::ifstream in(FUELCALC_SOURCE_DIR "/docs/checks.md");
  std::vector<Row> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("| `", 0) != 0) continue;
    const auto end = line.find('`', 3);
    const auto cell = line.find('|', end);
    const auto next = line.find('|', cell + 1);
    std::string severity = line.substr(cell + 1, next - cell - 1);
    severity.erase(0, severity.find_first_not_of(' '));
    severity.erase(severity.find_last_not_of(' ') + 1);
    rows.push_back({line.substr(3, end - 3), severity});
  }
  return rows;
}

std::vector<Row> registry_rows() {
  std::vector<Row> rows;
  for (const fuelcalc::FindingCode& entry : fuelcalc::finding_codes())
    rows.push_back({std::string(entry.code), std::string(fuelcalc::to_string(entry.severity))});
  return rows;
}

TEST(FindingCodes, DocsTableIsTheRegistry) {
  const std::vector<Row> documented = documented_rows();
  ASSERT_FALSE(documented.empty());
  EXPECT_EQ(documented, registry_rows());
}

TEST(FindingCodes, CodesUniqueMeaningsOneLine) {
  std::set<std::string_view> seen;
  for (const fuelcalc::FindingCode& entry : fuelcalc::finding_codes()) {
    EXPECT_TRUE(seen.insert(entry.code).second) << entry.code;
    EXPECT_FALSE(entry.meaning.empty()) << entry.code;
    EXPECT_EQ(entry.meaning.find_first_of("\t\n"), std::string_view::npos) << entry.code;
    EXPECT_EQ(entry.code.find_first_not_of("abcdefghijklmnopqrstuvwxyz-"), std::string_view::npos);
  }
}

#ifdef FUELCALC_CHECK_BINARY
TEST(FindingCodes, ListCodesPrintsTheRegistry) {
  const auto run = testing_support::run_program(FUELCALC_CHECK_BINARY, {"--list-codes"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  std::string expected;
  for (const fuelcalc::FindingCode& entry : fuelcalc::finding_codes())
    expected += std::string(entry.code) + '\t' + std::string(fuelcalc::to_string(entry.severity)) +
                '\t' + std::string(entry.meaning) + '\n';
  EXPECT_EQ(run.out, expected);
  // Whatever else stands on the line: no file is read.
  EXPECT_EQ(
      testing_support::run_program(FUELCALC_CHECK_BINARY, {"--list-codes", "/no/such/map"}).out,
      expected);
}
#endif

}  // namespace
