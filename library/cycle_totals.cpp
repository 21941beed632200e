// Totals over a cycle (fuelcalc/cycle.hpp): each record's terms, computed
// once, into exact sums for the whole cycle and for the record's phase.
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <unordered_map>

#include "fuelcalc/cycle.hpp"
#include "fuelcalc/exact_sum.hpp"
#include "fuelcalc/units.hpp"
#include "library/cycle_state.h"
#include "library/failure_messages.h"

namespace fuelcalc {
namespace {

std::optional<double> quotient(double numerator, double denominator) {
  if (denominator == 0.0) return std::nullopt;
  return numerator / denominator;
}

CycleTotals totals_of(const CycleSums& sums, const CycleOptions& options) {
  CycleTotals t;
  t.records = sums.records;
  t.duration_s = sums.duration().value();
  t.gaps = sums.gaps;
  t.gap_s = sums.gap.value();
  t.fuel_g = sums.fuel().value();
  t.fuel_l = t.fuel_g / (1000.0 * options.fuel.density_kg_per_l);
  t.co2_g = t.fuel_g * options.fuel.co2_g_per_g;
  t.work_positive_kwh = sums.work_positive.value();
  t.work_negative_kwh = sums.work_negative.value();
  t.bsfc_g_per_kwh = quotient(t.fuel_g, t.work_positive_kwh);
  if (const auto per_s = quotient(t.fuel_g, t.duration_s)) t.mean_fuel_g_per_h = *per_s * 3600.0;
  if (options.vehicle_speed) {
    t.distance_km = sums.distance.value();
    t.fuel_g_per_km = quotient(t.fuel_g, *t.distance_km);
    if (const auto per_km = quotient(t.fuel_l, *t.distance_km))
      t.fuel_l_per_100km = *per_km * 100.0;
    t.co2_g_per_km = quotient(t.co2_g, *t.distance_km);
  }
  t.time_without_value_s = sums.without_value.value();
  for (std::size_t c = 0; c < kWhereClasses; ++c)
    t.where[c] = {sums.class_records[c], sums.class_time[c].value(), sums.class_fuel[c].value()};
  return t;
}

void check_options(const CycleOptions& options) {
  const auto refuse = [](const std::string& what) {
    throw Error(ErrorKind::invalid_argument, what);
  };
  if (options.step && !(std::isfinite(*options.step) && *options.step > 0.0))
    refuse("the step must be a finite number above 0, not " + number_text(*options.step));
  if (options.open_start && (options.step || options.phases))
    refuse("an open run of records takes neither a step nor phases");
  if (!(options.max_gap >= 0.0))
    refuse("the longest interval integrated must be 0 or more, not " +
           number_text(options.max_gap));
  const double density = options.fuel.density_kg_per_l;
  if (!(std::isfinite(density) && density > 0.0))
    refuse("the fuel density must be a finite number above 0, not " + number_text(density));
  const double co2 = options.fuel.co2_g_per_g;
  if (!(std::isfinite(co2) && co2 >= 0.0))
    refuse("the CO2 factor must be a finite number of 0 or more, not " + number_text(co2));
}

}  // namespace

CycleAccumulator::CycleAccumulator(const CycleOptions& options)
    : state_(std::make_unique<State>()) {
  check_options(options);
  state_->options = options;
}

CycleAccumulator::~CycleAccumulator() = default;
CycleAccumulator::CycleAccumulator(CycleAccumulator&&) noexcept = default;
CycleAccumulator& CycleAccumulator::operator=(CycleAccumulator&&) noexcept = default;

void CycleAccumulator::add(const CycleBlock& b) {
  State& s = *state_;
  const CycleOptions& o = s.options;
  const std::size_t n = b.speed.size();
  const auto length = [&](const auto& span, bool wanted, const char* name) {
    if (wanted && span.size() != n)
      throw Error(ErrorKind::invalid_argument, std::string("the block's ") + name + " holds " +
                                                   std::to_string(span.size()) + " records, its " +
                                                   "speed " + std::to_string(n));
  };
  length(b.time, !o.step, "time");
  length(b.torque, true, "torque");
  length(b.fuel, true, "fuel");
  length(b.where, true, "where");
  length(b.vehicle_speed, o.vehicle_speed, "vehicle speed");
  length(b.phase, o.phases, "phase");
  if (!b.line.empty()) length(b.line, true, "line");

  // The held record and the next one live in two local slots that take
  // turns (kept out of memory between records, and never copied whole: a
  // copy of a record just written field by field waits on those writes);
  // the held one goes back into the state at the end or at an error.
  std::array<HeldRecord, 2> slots;
  std::size_t at = 0;  // the slot of the held record
  bool holding = s.held.has_value();
  if (holding) slots[at] = *s.held;
  std::size_t count = s.count;
  const auto keep = [&] {
    s.held = holding ? std::optional<HeldRecord>(slots[at]) : std::nullopt;
    s.count = count;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const double time = o.step ? static_cast<double>(count) * *o.step : b.time[i];
    const auto refuse = [&](const std::string& message) {
      keep();
      Error error(ErrorKind::read, message);
      error.with_index(count);
      if (!b.line.empty()) error.with_line(b.line[i]);
      throw error;
    };
    if (!std::isfinite(time)) refuse("the time " + number_text(time) + " is not a finite number");
    const HeldRecord* const held = holding ? &slots[at] : nullptr;
    HeldRecord& next = slots[1 - at];
    next.time = next.low = time;
    next.speed = b.speed[i];
    next.torque = b.torque[i];
    next.fuel = b.fuel[i];
    next.vehicle_speed = o.vehicle_speed ? b.vehicle_speed[i] : 0.0;
    next.where = b.where[i];
    next.phase = 0;
    next.open = o.open_start && count == 0;
    if (held && !(time > held->time))
      refuse("the time " + number_text(time) + " does not rise above the time before it, " +
             number_text(held->time));
    if (o.phases) next.phase = s.phase_of(b.phase[i], held);
    if (held) {
      const double interval = time - held->time;
      const bool gap = interval > o.max_gap;
      s.finish(*held, gap ? held->time : time);
      if (gap) {
        const auto count_gap = [&](CycleSums& sums) {
          ++sums.gaps;
          sums.gap.add(interval);
        };
        count_gap(s.whole);
        if (o.phases) count_gap(s.phase_sums[next.phase]);
      } else {
        next.low = held->time;
      }
    }
    at = 1 - at;
    holding = true;
    ++count;
  }
  keep();
}

CycleResult CycleAccumulator::result() const {
  State closed = *state_;
  if (closed.first) closed.close(*closed.first, closed.first_high);
  if (closed.held) closed.close(*closed.held, closed.held->time);
  CycleResult result{closed.options.fuel, totals_of(closed.whole, closed.options), std::nullopt};
  if (closed.options.phases) {
    result.phases.emplace();
    for (std::size_t p = 0; p < closed.phase_names.size(); ++p)
      result.phases->push_back(
          {closed.phase_names[p], totals_of(closed.phase_sums[p], closed.options)});
  }
  return result;
}

std::size_t CycleAccumulator::records() const { return state_->count; }

CycleResult cycle_totals(const CycleBlock& records, const CycleOptions& options) {
  CycleAccumulator accumulator(options);
  accumulator.add(records);
  return accumulator.result();
}

}  // namespace fuelcalc
