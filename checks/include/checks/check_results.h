#pragma once
// Findings about what a run's results will be, from the points of an input
// and their fuel values over the map: negative results, results far beyond
// the measured fuel, most points outside the map, points far outside it or
// near zero speed, and a unit of speed or torque that would put the points
// inside. Fed a block of points at a time, in bounded memory.
#include <array>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "checks/check_findings.h"
#include "fuelcalc/check.hpp"

namespace fuelcalc::checks {

// Throws Error (invalid_argument) for an outside share not from 0 to 1 or a
// result range that is not two finite fractions, the first below the second.
void check_result_options(const CheckOptions& options);

class ResultWatch {
 public:
  ResultWatch(const FuelMap& map, const CheckOptions& options);
  // A block of points in record order, with where each stands and its line.
  void points(std::span<const double> speed, std::span<const double> torque,
              std::span<const Where> where, std::span<const std::size_t> line);
  // A finite result, in record order.
  void result(double fuel, std::size_t line);
  // The summary's far_outside, near_zero_speed and out_of_range.
  void finish(Summary& summary) const;
  // The findings on a finished summary.
  void findings(const Summary& summary, FindingLog& log) const;

 private:
  // A unit the points may be in instead of rpm and N m.
  struct UnitGuess {
    const char* says;    // "the speeds look like rad/s"
    const char* factor;  // "60/2pi"
    bool speed;          // converts the speed, else the torque
    double times;
    std::size_t inside = 0;
    std::size_t first_line = 0;
  };

  const FuelMap& map_;
  CheckOptions options_;
  double lowest_speed_ = 0.0, highest_speed_ = 0.0;
  double speed_margin_ = 0.0, torque_margin_ = 0.0;  // how far beyond is far
  double largest_fuel_ = 0.0;                        // of the measured points
  double low_ = 0.0, high_ = 0.0;                    // the results in range

  PointClass far_, near_zero_, out_of_range_;
  std::vector<std::size_t> negative_lines_;
  double lowest_ = 0.0;
  std::size_t lowest_line_ = 0;
  double out_lowest_ = 0.0, out_highest_ = 0.0;
  std::array<UnitGuess, 3> guesses_;
  // Every point inside the envelope has a torque in this box.
  std::array<double, 2> torque_box_ = {-std::numeric_limits<double>::infinity(),
                                       std::numeric_limits<double>::infinity()};
  std::vector<double> moved_speed_, moved_torque_;
  std::vector<std::size_t> place_;  // of each moved point in the block
  std::vector<Where> moved_where_, lower_where_;
};

}  // namespace fuelcalc::checks
