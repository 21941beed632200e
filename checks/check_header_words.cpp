#include "checks/check_header_words.h"

#include <array>
#include <string>
#include <vector>

#include "checks/check_reading.h"
#include "checks/finding_codes.h"
#include "fuelcalc/table.hpp"
#include "textio/table_cells.h"

namespace fuelcalc::checks {
namespace {

// The column names of a header record up to its first carriage return,
// parted as a table's header is (a tab, semicolon or comma, else blanks; a
// unit after its name); none for a record of numbers or one a table header
// could not be.
std::vector<std::string> column_names(std::string_view record) {
  // Lines ended by a carriage return alone run on in one record (cr-line-ends).
  record = record.substr(0, record.find('\r'));
  if (!numbers_in_header(record).empty()) return {};
  TableOptions options;
  options.allow_no_rows = true;
  try {
    const TableReader reader = TableReader::from_text(std::string(record) + "\n", options);
    std::vector<std::string> names;
    for (const TableColumn& column : reader.file_columns()) names.push_back(column.name);
    return names;
  } catch (const Error&) {
    return {};  // a comment line, or names repeated: no column names to go by
  }
}

std::string listed(const std::vector<std::string>& words) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) text += (i > 0 ? ", " : "") + words[i];
  return text;
}

}  // namespace

void map_header_order(FindingLog& log, std::size_t line, std::string_view record) {
  static constexpr std::array<const char*, 3> kColumns = {"speed", "torque", "fuel"};
  const std::vector<std::string> names = column_names(record);
  std::vector<std::string> said;  // the columns the names say, in the header's order
  std::size_t last = 0;
  bool in_order = true;
  for (const std::string& name : names) {
    for (std::size_t column = 0; column < kColumns.size(); ++column) {
      if (!textio::names_map_column(column, name)) continue;
      if (!said.empty() && column <= last) in_order = false;
      std::string word = name;
      for (char& c : word)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      said.push_back(word == kColumns[column] ? name : name + " (" + kColumns[column] + ")");
      last = column;
      break;
    }
  }
  if (in_order || said.size() < 2) return;
  log.add(code("map-header-order"), line, std::nullopt,
          "the header names the columns in the order " + listed(said) +
              ": the program reads every point as speed, torque, fuel value, whatever the "
              "header says (put the columns in that order)");
}

void input_header_columns(FindingLog& log, std::size_t line, std::string_view record) {
  const std::vector<std::string> names = column_names(record);
  if (names.size() <= 2) return;
  log.add(code("input-header-columns"), line, std::nullopt,
          std::to_string(names.size()) + " columns named " + listed(names) +
              ": the program reads the first two values of a record, " + names[0] +
              " as speed and " + names[1] + " as torque");
}

}  // namespace fuelcalc::checks
