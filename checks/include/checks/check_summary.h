#pragma once
// The summary of a run, built record by record in blocks: where each point
// stands against the map's envelope, its fuel value, and the fuel figures.
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "checks/check_results.h"
#include "fuelcalc/check.hpp"

namespace fuelcalc::checks {

// The first point a map under Outside::error refuses.
struct Refused {
  double speed = 0.0;
  double torque = 0.0;
  Where where = Where::inside;
  std::size_t line = 0;
  std::size_t before = 0;  // records before it
};

class SummaryBuilder {
 public:
  // The options' thresholds for the results' findings.
  SummaryBuilder(const FuelMap& map, const CheckOptions& options);
  // A record's point, in record order, with the line it stands on.
  void add(double speed, double torque, std::size_t line) {
    speed_.push_back(speed);
    torque_.push_back(torque);
    line_.push_back(line);
    if (speed_.size() == kBlock) flush();
  }
  // Instead of add: records the map has evaluated already (their classes
  // and fuel values; under Outside::error only the values of the points
  // inside count), in record order; the spans have one length.
  void add_results(std::span<const double> speed, std::span<const double> torque,
                   std::span<const double> fuel, std::span<const Where> where,
                   std::span<const std::size_t> line);
  Summary finish();
  // Points that would lie inside the map with their two values swapped.
  std::size_t swapped_inside() const { return swapped_inside_; }
  const std::optional<Refused>& first_refused() const { return refused_; }
  // The findings on the results, after finish().
  void result_findings(const Summary& summary, FindingLog& log) const {
    results_.findings(summary, log);
  }

 private:
  static constexpr std::size_t kBlock = 4096;
  void flush();
  void count(Where where, std::size_t line);
  void add_fuel(double fuel, std::size_t line);
  void evaluate(std::span<const double> speed, std::span<const double> torque,
                std::span<double> fuel) const;
  void evaluate_inside();

  const FuelMap& map_;
  const bool refuses_outside_;
  std::vector<double> speed_, torque_, fuel_;
  std::vector<double> inside_speed_, inside_torque_, inside_fuel_;
  std::vector<std::size_t> line_;
  std::vector<Where> where_, swapped_;
  Summary summary_;
  std::size_t finite_ = 0;
  std::size_t swapped_inside_ = 0;
  std::optional<Refused> refused_;
  FuelFigures figures_;
  ResultWatch results_;
};

}  // namespace fuelcalc::checks
