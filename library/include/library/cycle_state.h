#pragma once
// The state of a CycleAccumulator (fuelcalc/cycle.hpp): the exact sums of
// the records closed so far and the records whose weights wait.
#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "fuelcalc/cycle.hpp"
#include "fuelcalc/exact_sum.hpp"
#include "fuelcalc/units.hpp"

namespace fuelcalc {

// Each record's weight and fuel go to its class's sums alone: the whole
// duration and fuel are the classes' sums merged (duration(), fuel()), the
// same exact sums as those of every record's terms.
struct CycleSums {
  std::size_t records = 0;
  std::size_t gaps = 0;
  ExactSum gap, work_positive, work_negative, distance, without_value;
  std::array<std::size_t, kWhereClasses> class_records{};
  std::array<ExactSum, kWhereClasses> class_time, class_fuel;

  ExactSum duration() const { return merged(class_time); }
  ExactSum fuel() const { return merged(class_fuel); }

 private:
  static ExactSum merged(const std::array<ExactSum, kWhereClasses>& sums) {
    ExactSum total;
    for (const ExactSum& sum : sums) total.add(sum);
    return total;
  }
};

// A record whose weight waits for the next record's time.
struct HeldRecord {
  double time = 0.0;
  double low = 0.0;  // the previous record's time, or its own at a segment's start
  double speed = 0.0, torque = 0.0, fuel = 0.0, vehicle_speed = 0.0;
  Where where = Where::inside;
  std::size_t phase = 0;
  bool open = false;  // the first record of an open run: low is not known yet
};

struct CycleAccumulator::State {
  CycleOptions options;
  CycleSums whole;
  std::vector<CycleSums> phase_sums;
  std::vector<std::string> phase_names;
  std::unordered_map<std::string, std::size_t> phase_index;
  std::optional<HeldRecord> held;
  // With open_start: the first record, its weight waiting for the record
  // before the run, once the record after it has given first_high.
  std::optional<HeldRecord> first;
  double first_high = 0.0;
  std::size_t count = 0;

  std::size_t phase_of(std::string_view name, const HeldRecord* before) {
    // Records of one phase mostly follow each other.
    if (before && phase_names[before->phase] == name) return before->phase;
    auto [at, added] = phase_index.try_emplace(std::string(name), phase_names.size());
    if (added) {
      phase_names.emplace_back(name);
      phase_sums.emplace_back();
    }
    return at->second;
  }

  // The record's terms, its weight ending at high; an open record's wait
  // for its low.
  void finish(const HeldRecord& r, double high) {
    if (r.open) {
      first = r;
      first_high = high;
    } else {
      close(r, high);
    }
  }

  // The record's terms, its weight ending at high.
  void close(const HeldRecord& r, double high) {
    const double w = (high - r.low) / 2.0;
    const bool has_fuel = !std::isnan(r.fuel);
    const double fuel = (r.fuel * w) / 3600.0;
    const double power = power_w(r.torque, r.speed);
    const double work = (power * w) / 3.6e6;
    const double distance = (r.vehicle_speed * w) / 3600.0;
    const auto c = static_cast<std::size_t>(r.where);
    const auto into = [&](CycleSums& s) {
      ++s.records;
      ++s.class_records[c];
      s.class_time[c].add(w);
      if (has_fuel) {
        s.class_fuel[c].add(fuel);
      } else {
        s.without_value.add(w);
      }
      if (power > 0.0) s.work_positive.add(work);
      if (power < 0.0) s.work_negative.add(work);
      if (options.vehicle_speed && !std::isnan(r.vehicle_speed)) s.distance.add(distance);
    };
    into(whole);
    if (options.phases) into(phase_sums[r.phase]);
  }
};

}  // namespace fuelcalc
