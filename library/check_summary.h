#pragma once
// The summary of a run, built record by record in blocks: where each point
// stands against the map's envelope, its fuel value, and the fuel figures.
#include <cstddef>
#include <vector>

#include "fuelcalc/check.hpp"

namespace fuelcalc::checks {

class SummaryBuilder {
 public:
  explicit SummaryBuilder(const FuelMap& map);
  // A record's point, in record order, with the line it stands on.
  void add(double speed, double torque, std::size_t line) {
    speed_.push_back(speed);
    torque_.push_back(torque);
    line_.push_back(line);
    if (speed_.size() == kBlock) flush();
  }
  Summary finish();
  // Points that would lie inside the map with their two values swapped.
  std::size_t swapped_inside() const { return swapped_inside_; }

 private:
  static constexpr std::size_t kBlock = 4096;
  void flush();
  void count(Where where, std::size_t line);
  void add_fuel(double fuel);

  const FuelMap& map_;
  std::vector<double> speed_, torque_, fuel_;
  std::vector<std::size_t> line_;
  std::vector<Where> where_, swapped_;
  Summary summary_;
  std::size_t finite_ = 0;
  std::size_t swapped_inside_ = 0;
  FuelFigures figures_;
};

}  // namespace fuelcalc::checks
