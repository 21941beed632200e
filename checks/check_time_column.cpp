#include "checks/check_time_column.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "checks/finding_codes.h"

namespace fuelcalc::checks {
namespace {

// Fewer records say nothing about a column's steps.
constexpr std::size_t kFewestSteps = 9;

double median_of(std::vector<double> steps) {
  const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
  std::nth_element(steps.begin(), middle, steps.end());
  return *middle;
}

}  // namespace

void TimeColumnWatch::count(double step) {
  regular_ += step > 0.0 && std::fabs(step - *median_) <= 0.05 * *median_;
}

void TimeColumnWatch::add(double first, std::size_t line) {
  if (!before_) {
    before_ = first;
    first_line_ = line;
    return;
  }
  const double step = first - *before_;
  before_ = first;
  ++steps_;
  if (median_) return count(step);
  held_.push_back(step);
  if (held_.size() < kMedianSteps) return;
  median_ = median_of(held_);
  for (const double s : held_) count(s);
  held_ = {};
}

bool TimeColumnWatch::finish(FindingLog& log) {
  if (steps_ < kFewestSteps) return false;
  if (!median_) {
    median_ = median_of(held_);
    for (const double s : held_) count(s);
  }
  // At least 90 % of the steps rise regularly.
  if (!(*median_ > 0.0) || 10 * regular_ < 9 * steps_) return false;
  log.add(code("input-time-column"), first_line_, std::nullopt,
          "the first column rises by a near-constant step of " + rounded_text(*median_) + " in " +
              std::to_string(regular_) + " of the " + std::to_string(steps_) +
              " steps between records: it looks like time, but the program reads the "
              "first two values of a record as speed and torque (give speed and torque "
              "only)");
  return true;
}

}  // namespace fuelcalc::checks
