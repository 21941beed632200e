#include "checks/check_results.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "checks/finding_codes.h"

namespace fuelcalc::checks {
namespace {

// Far is beyond this share of the measured range.
constexpr double kFarShare = 0.1;

void add_line(PointClass& points, std::size_t line) {
  if (points.count++ < kFirstLines) points.first_lines.push_back(line);
}

// "4.67 %" of count in total (not zero).
std::string share_text(std::size_t count, std::size_t total) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g %%",
                100.0 * static_cast<double>(count) / static_cast<double>(total));
  return text;
}

// "140 of the 3000 points (4.67 %)".
std::string count_of(std::size_t count, std::size_t total, const char* noun) {
  return std::to_string(count) + " of the " + std::to_string(total) + " " + noun + " (" +
         share_text(count, total) + ")";
}

// "first on lines 5, 6, 7".
std::string first_lines_text(const std::vector<std::size_t>& lines) {
  std::string text = lines.size() > 1 ? "first on lines " : "on line ";
  for (std::size_t i = 0; i < lines.size(); ++i)
    text.append(i > 0 ? ", " : "").append(std::to_string(lines[i]));
  return text;
}

// A fuel value to six significant digits.
std::string fuel_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace

void check_result_options(const CheckOptions& options) {
  if (!(options.outside_share >= 0.0 && options.outside_share <= 1.0))
    throw Error(ErrorKind::invalid_argument,
                "the outside share " + number_text(options.outside_share) + " is not from 0 to 1");
  const auto [low, high] = options.result_range;
  if (!(std::isfinite(low) && std::isfinite(high) && low < high))
    throw Error(ErrorKind::invalid_argument, "the result range " + number_text(low) + ", " +
                                                 number_text(high) +
                                                 " is not two finite fractions, the first below "
                                                 "the second");
}

ResultWatch::ResultWatch(const FuelMap& map, const CheckOptions& options)
    : map_(map),
      options_(options),
      guesses_{{{"the speeds look like rad/s", "60/2pi", true, 30.0 / std::numbers::pi},
                {"the speeds look like rev/s", "60", true, 60.0},
                {"the torques look like kN m", "1000", false, 1000.0}}} {
  const std::span<const EnvelopeRow> envelope = map.envelope();
  lowest_speed_ = envelope.front().speed;
  highest_speed_ = envelope.back().speed;
  double lowest_torque = envelope.front().lowest_torque;
  double highest_torque = envelope.front().highest_torque;
  for (const EnvelopeRow& row : envelope) {
    lowest_torque = std::min(lowest_torque, row.lowest_torque);
    highest_torque = std::max(highest_torque, row.highest_torque);
  }
  speed_margin_ = kFarShare * (highest_speed_ - lowest_speed_);
  torque_margin_ = kFarShare * (highest_torque - lowest_torque);
  // The bounds at a speed between two rows are interpolated between the
  // rows' (at_place): a slack far above their rounding; no box when a
  // bound is not finite.
  const double slack = 1e-9 * std::max(std::fabs(lowest_torque), std::fabs(highest_torque));
  if (std::isfinite(lowest_torque) && std::isfinite(highest_torque))
    torque_box_ = {lowest_torque - slack, highest_torque + slack};
  for (const double fuel : map.point_fuels())
    if (std::isfinite(fuel)) largest_fuel_ = std::max(largest_fuel_, fuel);
  low_ = options.result_range[0] * largest_fuel_;
  high_ = options.result_range[1] * largest_fuel_;
}

void ResultWatch::points(std::span<const double> speed, std::span<const double> torque,
                         std::span<const Where> where, std::span<const std::size_t> line) {
  const std::size_t n = speed.size();
  // The envelope asked about the moved points only.
  const auto ask = [this](std::vector<Where>& answer) {
    answer.resize(moved_speed_.size());
    map_.where(moved_speed_, moved_torque_, answer);
  };
  const auto clear = [this] {
    moved_speed_.clear();
    moved_torque_.clear();
    place_.clear();
  };

  // Far outside: above the envelope at the speed moved into the measured
  // speeds by more than the margin, or below it; only the points outside.
  clear();
  for (std::size_t i = 0; i < n; ++i) {
    if (where[i] == Where::inside || where[i] == Where::nan) continue;
    moved_speed_.push_back(std::clamp(speed[i], lowest_speed_, highest_speed_));
    moved_torque_.push_back(torque[i] - torque_margin_);
    place_.push_back(i);
  }
  ask(moved_where_);
  for (std::size_t k = 0; k < place_.size(); ++k)
    moved_torque_[k] = torque[place_[k]] + torque_margin_;
  ask(lower_where_);
  for (std::size_t k = 0; k < place_.size(); ++k) {
    const std::size_t i = place_[k];
    const bool far = speed[i] < lowest_speed_ - speed_margin_ ||
                     speed[i] > highest_speed_ + speed_margin_ || moved_where_[k] == Where::above ||
                     lower_where_[k] == Where::below;
    if (far) add_line(far_, line[i]);
  }

  if (lowest_speed_ > 0.0)
    for (std::size_t i = 0; i < n; ++i)
      if (speed[i] < 0.5 * lowest_speed_) add_line(near_zero_, line[i]);

  // The points inside after each conversion; one beyond the measured speeds
  // or the box of the measured torques is not.
  for (UnitGuess& guess : guesses_) {
    clear();
    for (std::size_t i = 0; i < n; ++i) {
      const double s = guess.speed ? speed[i] * guess.times : speed[i];
      const double t = guess.speed ? torque[i] : torque[i] * guess.times;
      if (!(s >= lowest_speed_ && s <= highest_speed_) || t < torque_box_[0] || t > torque_box_[1])
        continue;
      moved_speed_.push_back(s);
      moved_torque_.push_back(t);
      place_.push_back(i);
    }
    ask(moved_where_);
    for (std::size_t k = 0; k < place_.size(); ++k) {
      if (moved_where_[k] != Where::inside) continue;
      if (guess.inside++ == 0) guess.first_line = line[place_[k]];
    }
  }
}

void ResultWatch::result(double fuel, std::size_t line) {
  if (fuel < 0.0) {
    if (negative_lines_.empty() || fuel < lowest_) {
      lowest_ = fuel;
      lowest_line_ = line;
    }
    if (negative_lines_.size() < kFirstLines) negative_lines_.push_back(line);
  }
  if (largest_fuel_ > 0.0 && (fuel < low_ || fuel > high_)) {
    out_lowest_ = out_of_range_.count == 0 ? fuel : std::min(out_lowest_, fuel);
    out_highest_ = out_of_range_.count == 0 ? fuel : std::max(out_highest_, fuel);
    add_line(out_of_range_, line);
  }
}

void ResultWatch::finish(Summary& summary) const {
  summary.far_outside = far_;
  summary.near_zero_speed = near_zero_;
  summary.out_of_range = out_of_range_;
}

void ResultWatch::findings(const Summary& s, FindingLog& log) const {
  if (s.records == 0) return;
  if (s.negative > 0) {
    log.add(code("negative-results"), negative_lines_.front(), std::nullopt,
            count_of(s.negative, s.records, "results") + " are negative, down to " +
                fuel_text(lowest_) + " on line " + std::to_string(lowest_line_) + "; " +
                first_lines_text(negative_lines_) +
                ": a fuel flow is never negative (the outside policy bounded keeps the "
                "values outside the measured map at 0 or more: --outside bounded, or clamp)");
  }
  if (out_of_range_.count > 0) {
    log.add(code("results-out-of-range"), out_of_range_.first_lines.front(), std::nullopt,
            count_of(out_of_range_.count, s.records, "results") + " lie outside " +
                rounded_text(100.0 * options_.result_range[0]) + " % to " +
                rounded_text(100.0 * options_.result_range[1]) +
                " % of the largest measured fuel value " + fuel_text(largest_fuel_) + " (from " +
                fuel_text(low_) + " to " + fuel_text(high_) + "), from " + fuel_text(out_lowest_) +
                " to " + fuel_text(out_highest_) + "; " +
                first_lines_text(out_of_range_.first_lines));
  }
  const std::size_t outside = s.below.count + s.above.count + s.beyond_speed.count;
  if (static_cast<double>(outside) > options_.outside_share * static_cast<double>(s.records)) {
    std::vector<std::size_t> lines = s.below.first_lines;
    lines.insert(lines.end(), s.above.first_lines.begin(), s.above.first_lines.end());
    lines.insert(lines.end(), s.beyond_speed.first_lines.begin(), s.beyond_speed.first_lines.end());
    std::sort(lines.begin(), lines.end());
    lines.resize(std::min(lines.size(), kFirstLines));
    log.add(code("mostly-outside"), lines.front(), std::nullopt,
            count_of(outside, s.records, "points") + " lie outside the measured map (" +
                std::to_string(s.below.count) + " below, " + std::to_string(s.above.count) +
                " above the measured torques, " + std::to_string(s.beyond_speed.count) +
                " beyond the measured speeds); " + first_lines_text(lines) +
                ": their fuel values are not measured but extrapolated, or as the outside "
                "policy gives them");
  }
  if (far_.count > 0) {
    log.add(code("far-outside"), far_.first_lines.front(), std::nullopt,
            count_of(far_.count, s.records, "points") + " lie more than " +
                rounded_text(speed_margin_) + " (10 % of the measured speed range) beyond " +
                "the measured speeds or more than " + rounded_text(torque_margin_) +
                " (10 % of the measured torque range) beyond the measured torques at their "
                "speed; " +
                first_lines_text(far_.first_lines) +
                ": values extrapolated that far are meaningless");
  }
  if (near_zero_.count > 0) {
    log.add(code("near-zero-speed"), near_zero_.first_lines.front(), std::nullopt,
            count_of(near_zero_.count, s.records, "points") + " have a speed below " +
                rounded_text(0.5 * lowest_speed_) + ", half the lowest measured speed " +
                rounded_text(lowest_speed_) + "; " + first_lines_text(near_zero_.first_lines) +
                ": an engine off or cranking gets an extrapolated fuel value");
  }
  // The conversion that puts most points inside, when more than half then
  // lie inside and no more than half as given.
  const UnitGuess* best = nullptr;
  for (const UnitGuess& guess : guesses_)
    if (!best || guess.inside > best->inside) best = &guess;
  if (2 * s.inside <= s.records && 2 * best->inside > s.records) {
    log.add(code("units-hint"), best->first_line, std::nullopt,
            std::string(best->says) + ": " + share_text(best->inside, s.records) +
                " of the points lie inside after x " + best->factor + " (" +
                share_text(s.inside, s.records) + " as given)");
  }
}

}  // namespace fuelcalc::checks
