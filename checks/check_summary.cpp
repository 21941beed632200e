#include "checks/check_summary.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace fuelcalc::checks {

SummaryBuilder::SummaryBuilder(const FuelMap& map, const CheckOptions& options)
    : map_(map), refuses_outside_(map.outside() == Outside::error), results_(map, options) {
  for (auto* block : {&speed_, &torque_, &fuel_, &inside_speed_, &inside_torque_, &inside_fuel_})
    block->reserve(kBlock);
  line_.reserve(kBlock);
}

void SummaryBuilder::count(Where where, std::size_t line) {
  PointClass* outside = nullptr;
  switch (where) {
    case Where::inside: ++summary_.inside; return;
    case Where::below: outside = &summary_.below; break;
    case Where::above: outside = &summary_.above; break;
    case Where::beyond_speed: outside = &summary_.beyond_speed; break;
    case Where::nan: outside = &summary_.nan; break;
  }
  if (outside->count++ < kFirstLines) outside->first_lines.push_back(line);
}

// Finite results only, summed in record order.
void SummaryBuilder::add_fuel(double fuel, std::size_t line) {
  if (!std::isfinite(fuel)) {
    ++summary_.nonfinite;
    return;
  }
  results_.result(fuel, line);
  if (fuel < 0) ++summary_.negative;
  if (finite_++ == 0) {
    figures_ = {fuel, 0.0, fuel, fuel};
    return;
  }
  figures_.min = std::min(figures_.min, fuel);
  figures_.max = std::max(figures_.max, fuel);
  figures_.sum += fuel;
}

// A point the evaluation refuses has no result; the others keep theirs.
void SummaryBuilder::evaluate(std::span<const double> speed, std::span<const double> torque,
                              std::span<double> fuel) const {
  try {
    map_.fuel(speed, torque, fuel);
  } catch (const Error&) {
    for (std::size_t i = 0; i < speed.size(); ++i) {
      try {
        fuel[i] = map_.fuel(speed[i], torque[i]);
      } catch (const Error&) {
        fuel[i] = std::nan("");
      }
    }
  }
}

// Under Outside::error the map refuses every point outside: only the points
// inside (by the same envelope) are handed to it.
void SummaryBuilder::evaluate_inside() {
  inside_speed_.clear();
  inside_torque_.clear();
  for (std::size_t i = 0; i < speed_.size(); ++i) {
    if (where_[i] != Where::inside) continue;
    inside_speed_.push_back(speed_[i]);
    inside_torque_.push_back(torque_[i]);
  }
  inside_fuel_.resize(inside_speed_.size());
  evaluate(inside_speed_, inside_torque_, inside_fuel_);
  for (std::size_t i = 0, k = 0; i < speed_.size(); ++i)
    if (where_[i] == Where::inside) fuel_[i] = inside_fuel_[k++];
}

void SummaryBuilder::flush() {
  const std::size_t n = speed_.size();
  if (n == 0) return;
  fuel_.resize(n);
  where_.resize(n);
  swapped_.resize(n);
  map_.where(speed_, torque_, where_);
  map_.where(torque_, speed_, swapped_);
  if (refuses_outside_)
    evaluate_inside();
  else
    evaluate(speed_, torque_, fuel_);
  for (std::size_t i = 0; i < n; ++i) {
    swapped_inside_ += swapped_[i] == Where::inside;
    if (refuses_outside_ && where_[i] != Where::inside && !refused_)
      refused_ = Refused{speed_[i], torque_[i], where_[i], line_[i], summary_.records + i};
  }
  add_results(speed_, torque_, fuel_, where_, line_);
  speed_.clear();
  torque_.clear();
  line_.clear();
}

void SummaryBuilder::add_results(std::span<const double> speed, std::span<const double> torque,
                                 std::span<const double> fuel, std::span<const Where> where,
                                 std::span<const std::size_t> line) {
  results_.points(speed, torque, where, line);
  for (std::size_t i = 0; i < speed.size(); ++i) {
    count(where[i], line[i]);
    if (refuses_outside_ && where[i] != Where::inside) continue;
    add_fuel(fuel[i], line[i]);
  }
  summary_.records += speed.size();
}

Summary SummaryBuilder::finish() {
  flush();
  summary_.method = map_.method();
  summary_.outside = map_.outside();
  results_.finish(summary_);
  if (finite_ > 0) {
    figures_.mean = figures_.sum / static_cast<double>(finite_);
    summary_.fuel = figures_;
  }
  return summary_;
}

}  // namespace fuelcalc::checks
