#pragma once
// Totals over a cycle: the fuel, work, CO2 and distance of a time series of
// operating points, integrated by the trapezoidal rule.
//
// Record i weighs w_i = (hi_i - lo_i) / 2 seconds, where hi_i is the next
// record's time and lo_i the previous one's; at the end of a segment (the
// first or last record, or beside an interval longer than max_gap, which is
// not integrated) the record's own time stands in, so it gets half of its one
// interval and a record alone in its segment gets 0. Each record then adds
// these terms, each computed in this order of operations:
//   fuel  [g]   (f_i * w_i) / 3600                 f_i in g/h, when not NaN
//   work  [kWh] (P_i * w_i) / 3.6e6                to work_positive when P_i > 0,
//                                                  to work_negative when P_i < 0
//   distance [km] (v_i * w_i) / 3600               v_i in km/h, when not NaN
// with P_i = power_w(torque, speed) in W (units.hpp). Every total is the exact sum of its
// terms rounded once (ExactSum), so its bits depend neither on the order of
// the records nor on the blocks they come in.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuelcalc/export.hpp"
#include "fuelcalc/fuel_map.hpp"

namespace fuelcalc {

// The classes of Where, each record of a cycle in one of them.
inline constexpr std::size_t kWhereClasses = 5;

// "inside", "below", "above", "beyond_speed", "nan".
FUELCALC_API std::string_view where_name(Where where);

// The fuel value (g/h, by the map's method and outside policy) and the class
// of each record; the spans have one length. An Error of the evaluation
// (Outside::error) has index() the record and the message of that point alone.
FUELCALC_API void evaluate_records(const FuelMap& map, std::span<const double> speed,
                                   std::span<const double> torque, std::span<double> fuel,
                                   std::span<Where> where);

// Density and CO2 of a fuel.
struct FuelProperties {
  std::string name;
  double density_kg_per_l = 0.0;
  double co2_g_per_g = 0.0;  // grams of CO2 per gram of fuel burnt
};

// The fuels known by name: diesel (first, the default) and petrol.
FUELCALC_API std::span<const FuelProperties> known_fuels();
// The known fuel of that name; Error invalid_argument listing the names otherwise.
FUELCALC_API FuelProperties fuel_properties(std::string_view name);

struct CycleOptions {
  // Seconds between records when the cycle has no time column: t_i = i * step
  // for the i-th record, from 0. Finite and above 0.
  std::optional<double> step;
  // Intervals longer than this (s) are not integrated. Not negative, not NaN.
  double max_gap = 60.0;
  // Density above 0 and CO2 factor not negative, both finite.
  FuelProperties fuel = known_fuels()[0];
  bool vehicle_speed = false;  // the records carry a vehicle speed
  bool phases = false;         // the records carry a phase
  // The records are a run of a longer cycle, others before them: the first
  // record's weight waits for the record before it, which
  // CycleAccumulator::append of this run after the one before brings
  // (result() takes it for a segment's start). Not with a step or phases.
  bool open_start = false;
};

// A block of consecutive records; the spans given have one length.
struct CycleBlock {
  std::span<const double> time;    // s; left empty when the options give a step
  std::span<const double> speed;   // rpm
  std::span<const double> torque;  // Nm
  std::span<const double> fuel;    // g/h, NaN for none (evaluate_records)
  std::span<const Where> where;
  std::span<const double> vehicle_speed;    // km/h, with CycleOptions::vehicle_speed
  std::span<const std::string_view> phase;  // with CycleOptions::phases
  std::span<const std::size_t> line;        // each record's line, for errors; may be empty
};

struct ClassTotals {
  std::size_t records = 0;
  double time_s = 0.0;
  double fuel_g = 0.0;
};

// The totals of the whole cycle or of one phase; empty optionals stand for
// figures that do not apply (a division by zero, no vehicle speed).
struct CycleTotals {
  std::size_t records = 0;
  double duration_s = 0.0;  // the sum of the weights
  std::size_t gaps = 0;     // intervals longer than max_gap (a phase: those before its records)
  double gap_s = 0.0;       // their lengths
  double fuel_g = 0.0;
  double fuel_l = 0.0;  // fuel_g / (1000 * density)
  double co2_g = 0.0;   // fuel_g * co2_g_per_g
  double work_positive_kwh = 0.0;
  double work_negative_kwh = 0.0;                  // not above 0
  std::optional<double> bsfc_g_per_kwh;            // fuel_g / work_positive_kwh
  std::optional<double> mean_fuel_g_per_h;         // fuel_g / duration_s * 3600
  std::optional<double> distance_km;               // with a vehicle speed
  std::optional<double> fuel_g_per_km;             // fuel_g / distance_km
  std::optional<double> fuel_l_per_100km;          // fuel_l / distance_km * 100
  std::optional<double> co2_g_per_km;              // co2_g / distance_km
  double time_without_value_s = 0.0;               // the weights of records with a NaN fuel value
  std::array<ClassTotals, kWhereClasses> where{};  // by Where
};

struct PhaseTotals {
  std::string phase;
  CycleTotals totals;
};

struct CycleResult {
  FuelProperties fuel;
  CycleTotals totals;
  // In the order of their first record; empty without CycleOptions::phases.
  std::optional<std::vector<PhaseTotals>> phases;
};

// The totals of records fed a block at a time, in order, in memory bounded
// by the number of phases. It holds back the last record it was given until
// the next one shows whether the interval after it is integrated.
class FUELCALC_API CycleAccumulator {
 public:
  // Throws Error invalid_argument for options out of their ranges.
  explicit CycleAccumulator(const CycleOptions& options);
  ~CycleAccumulator();
  CycleAccumulator(CycleAccumulator&&) noexcept;
  CycleAccumulator& operator=(CycleAccumulator&&) noexcept;

  // Throws Error invalid_argument for spans of other lengths than speed's or
  // missing ones, and Error read at a time that does not rise above the one
  // before it (or is not a number), with index() the record's place in the
  // cycle (0-based) and line() its line when block.line has it. The records
  // before it are counted.
  void add(const CycleBlock& block);

  // The totals of the records added so far, the last one closing its segment.
  CycleResult result() const;
  // The records added so far.
  std::size_t records() const;

  // Adds the records of a later run (options with open_start, the same
  // others), as if they had been added here after this one's: the interval
  // between the two runs is integrated or a gap by the same rule, and each
  // record's terms are computed as add computes them, so the totals have
  // the bits of one pass. Throws Error read when the later run's first time
  // does not rise above this one's last, Error invalid_argument for
  // accumulators with phases or a later one without open_start.
  void append(const CycleAccumulator& later);

  // The state as words, to carry a run's partial totals to another
  // process; from_words with the same options gives it back. Throws Error
  // invalid_argument with phases, or for words no accumulator with these
  // options has.
  std::vector<std::int64_t> words() const;
  static CycleAccumulator from_words(const CycleOptions& options,
                                     std::span<const std::int64_t> words);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The totals of a whole cycle held in memory, as one block.
FUELCALC_API CycleResult cycle_totals(const CycleBlock& records, const CycleOptions& options);

}  // namespace fuelcalc
