#pragma once
// The findings of one file as a check collects them: a bounded number per
// code, so that a file with a fault on every line keeps memory bounded; the
// rest are counted and told in one closing finding per code.
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuelcalc/check.hpp"

namespace fuelcalc::checks {

// Findings kept per code and file.
inline constexpr std::size_t kKeptPerCode = 20;

class FindingLog {
 public:
  explicit FindingLog(std::string file) : file_(std::move(file)) {}

  void error(std::string_view code, std::optional<std::size_t> line,
             std::optional<std::size_t> column, std::string message) {
    add(Severity::error, code, line, column, std::move(message));
  }
  void warning(std::string_view code, std::optional<std::size_t> line,
               std::optional<std::size_t> column, std::string message) {
    add(Severity::warning, code, line, column, std::move(message));
  }
  bool has_errors() const { return errors_ > 0; }
  // The findings in the order they were found, each code's closing count last.
  std::vector<Finding> close();

 private:
  void add(Severity severity, std::string_view code, std::optional<std::size_t> line,
           std::optional<std::size_t> column, std::string message);

  struct Overflow {
    Severity severity;
    std::size_t count = 0;
    std::size_t first_line = 0;
  };
  std::string file_;
  std::vector<Finding> findings_;
  std::map<std::string, std::size_t, std::less<>> kept_;
  std::map<std::string, Overflow, std::less<>> overflow_;
  std::size_t errors_ = 0;
};

// A double as the shortest text that reads back to it.
std::string number_text(double value);

// "1 value", "3 values".
std::string count_text(std::size_t count, std::string_view noun);

}  // namespace fuelcalc::checks
