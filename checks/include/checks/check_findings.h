#pragma once
// The findings of one file as a check collects them: per code the ones at
// the first lines (checks may find them in another order, the map's in speed
// order), a bounded number, so that a file with a fault on every line keeps
// memory bounded; the rest are counted and told in one closing finding per
// code, at the first line of those left out.
#include <algorithm>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checks/finding_codes.h"
#include "fuelcalc/check.hpp"
#include "textio/number_text.h"

namespace fuelcalc::checks {

// Findings kept per code and file.
inline constexpr std::size_t kKeptPerCode = 20;

class FindingLog {
 public:
  explicit FindingLog(std::string file) : file_(std::move(file)) {}

  // A finding of the registry's entry (checks::code("map-empty")), with its
  // severity.
  void add(const FindingCode& code, std::optional<std::size_t> line,
           std::optional<std::size_t> column, std::string message);
  bool has_errors() const { return errors_ > 0; }
  // The findings in line order (those of the whole file first), in the order
  // they were found within a line.
  std::vector<Finding> close();

 private:
  struct Kept {
    Finding finding;
    std::size_t found;  // the order of finding, for findings on one line
  };
  // One code's findings: the kept ones ascending by line, and those left out.
  struct Code {
    std::vector<Kept> kept;
    std::size_t left_out = 0;
    std::optional<std::size_t> first_left_out;
    void left_out_at(std::size_t line) {
      ++left_out;
      first_left_out = std::min(first_left_out.value_or(line), line);
    }
  };
  std::string file_;
  std::map<std::string, Code, std::less<>> codes_;
  std::size_t found_ = 0;
  std::size_t errors_ = 0;
};

// A double as the shortest text that reads back to it.
using textio::number_text;

// A computed double to 15 significant digits, trailing zeros dropped: a
// value typed with at most 15 digits shows as typed, and 1 % of a range of
// 502 as 5.02, not as the 5.0200000000000005 of its last bits.
std::string rounded_text(double value);

// "1 value", "3 values".
std::string count_text(std::size_t count, std::string_view noun);

}  // namespace fuelcalc::checks
