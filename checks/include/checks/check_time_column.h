#pragma once
// Whether an input's first column looks like time rather than speed: it
// rises from record to record by a near-constant step (input-time-column).
// Fed record by record in bounded memory: the median step is that of the
// first kMedianSteps steps.
#include <cstddef>
#include <optional>
#include <vector>

#include "checks/check_findings.h"

namespace fuelcalc::checks {

class TimeColumnWatch {
 public:
  // The first value of each record, in record order, with its line.
  void add(double first, std::size_t line);
  // Logs input-time-column when the column looks like time; true then.
  bool finish(FindingLog& log);

 private:
  static constexpr std::size_t kMedianSteps = 4096;
  void count(double step);

  std::optional<double> before_;
  std::size_t first_line_ = 0;
  std::size_t steps_ = 0;
  std::vector<double> held_;  // the first steps, until the median is known
  std::optional<double> median_;
  std::size_t regular_ = 0;  // rising steps within 5 % of the median
};

}  // namespace fuelcalc::checks
