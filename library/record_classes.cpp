// The fuel value and the class of each record of a cycle.
#include <algorithm>
#include <array>
#include <cmath>

#include "fuelcalc/cycle.hpp"
#include "library/failure_messages.h"

namespace fuelcalc {

std::string_view record_class_name(RecordClass record_class) {
  switch (record_class) {
    case RecordClass::inside: return "inside";
    case RecordClass::below: return "below";
    case RecordClass::above: return "above";
    case RecordClass::beyond_speed: return "beyond_speed";
    default: return "nan";
  }
}

void evaluate_records(const FuelMap& map, std::span<const double> speed,
                      std::span<const double> torque, std::span<double> fuel,
                      std::span<RecordClass> where) {
  require_same_lengths({"speed", "torque", "fuel", "where"},
                       {speed.size(), torque.size(), fuel.size(), where.size()});
  // Runs of records with both coordinates numbers go to the map together.
  std::size_t first = 0;
  const auto evaluate_run = [&](std::size_t end) {
    if (end == first) return;
    const std::size_t n = end - first;
    try {
      map.fuel(speed.subspan(first, n), torque.subspan(first, n), fuel.subspan(first, n));
    } catch (const Error& error) {
      if (!error.index()) throw;
      // The failing point again on its own, for the message of one point.
      const std::size_t at = first + *error.index();
      try {
        fuel[at] = map.fuel(speed[at], torque[at]);
      } catch (Error& alone) {
        throw std::move(alone.with_index(at));
      }
      throw;
    }
  };
  std::array<Where, 256> classes;
  for (std::size_t start = 0; start < speed.size(); start += classes.size()) {
    const std::size_t n = std::min(classes.size(), speed.size() - start);
    map.where(speed.subspan(start, n), torque.subspan(start, n), std::span(classes.data(), n));
    for (std::size_t k = 0; k < n; ++k) {
      const std::size_t i = start + k;
      where[i] = static_cast<RecordClass>(classes[k]);
      if (!std::isnan(speed[i]) && !std::isnan(torque[i])) continue;
      evaluate_run(i);
      first = i + 1;
      where[i] = RecordClass::nan;
      fuel[i] = NAN;
    }
  }
  evaluate_run(speed.size());
}

}  // namespace fuelcalc
