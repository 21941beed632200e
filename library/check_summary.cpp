#include "library/check_summary.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace fuelcalc::checks {

SummaryBuilder::SummaryBuilder(const FuelMap& map) : map_(map) {
  for (auto* block : {&speed_, &torque_, &fuel_}) block->reserve(kBlock);
  line_.reserve(kBlock);
}

void SummaryBuilder::count(Where where, std::size_t line) {
  PointClass* outside = nullptr;
  switch (where) {
    case Where::inside: ++summary_.inside; return;
    case Where::below: outside = &summary_.below; break;
    case Where::above: outside = &summary_.above; break;
    case Where::beyond_speed: outside = &summary_.beyond_speed; break;
  }
  if (outside->count++ < kFirstLines) outside->first_lines.push_back(line);
}

// Finite results only, summed in record order.
void SummaryBuilder::add_fuel(double fuel) {
  if (!std::isfinite(fuel)) {
    ++summary_.nonfinite;
    return;
  }
  if (fuel < 0) ++summary_.negative;
  if (finite_++ == 0) {
    figures_ = {fuel, 0.0, fuel, fuel};
    return;
  }
  figures_.min = std::min(figures_.min, fuel);
  figures_.max = std::max(figures_.max, fuel);
  figures_.sum += fuel;
}

void SummaryBuilder::flush() {
  const std::size_t n = speed_.size();
  if (n == 0) return;
  fuel_.resize(n);
  where_.resize(n);
  swapped_.resize(n);
  map_.where(speed_, torque_, where_);
  map_.where(torque_, speed_, swapped_);
  try {
    map_.fuel(speed_, torque_, fuel_);
  } catch (const Error&) {
    // A point the evaluation refuses has no result; the others keep theirs.
    for (std::size_t i = 0; i < n; ++i) {
      try {
        fuel_[i] = map_.fuel(speed_[i], torque_[i]);
      } catch (const Error&) {
        fuel_[i] = std::nan("");
      }
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    count(where_[i], line_[i]);
    swapped_inside_ += swapped_[i] == Where::inside;
    add_fuel(fuel_[i]);
  }
  summary_.records += n;
  speed_.clear();
  torque_.clear();
  line_.clear();
}

Summary SummaryBuilder::finish() {
  flush();
  if (finite_ > 0) {
    figures_.mean = figures_.sum / static_cast<double>(finite_);
    summary_.fuel = figures_;
  }
  return summary_;
}

}  // namespace fuelcalc::checks
