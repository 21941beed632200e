// What a point outside the measured envelope gives, for either method: the
// value at the point moved onto the envelope, a quiet NaN, an Error of kind
// outside, or the bounded value. Points inside go to the method unchanged, so
// they give the same bits under every policy (bounded raises a value below 0
// there to 0). A point with a coordinate that is not a number gets NaN from
// the method itself.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "library/failure_messages.h"
#include "library/fuel_map_data.h"

namespace fuelcalc {
namespace {

using Evaluate = FuelMap::Data::Evaluate;

// Points are handed to the method a chunk at a time, from buffers.
constexpr std::size_t kChunk = 256;

// The method on count points of the buffers; a failure names the point's
// place in the caller's arrays (index[k] for buffer point k).
void evaluate_buffered(Evaluate method, const FuelMap::Data& data, const double* speed,
                       const double* torque, double* out, std::size_t count,
                       const std::size_t* index, std::size_t total) {
  try {
    method(data, {speed, count}, {torque, count}, {out, count});
  } catch (const Error& e) {
    if (e.kind() != ErrorKind::interpolation || !e.index()) throw;
    const std::size_t k = *e.index();
    throw point_failure({e.code(), e.ierr(), 0}, index[k], total > 1, speed[k], torque[k]);
  }
}

// The point moved onto the envelope: the speed into the measured speeds,
// then the torque between the bounds there. Returns how far the torque lay
// above the highest measured torque (0 when it did not), with the speed's
// place among the envelope rows. A coordinate that is not a number stays.
double clamp_onto(std::span<const EnvelopeRow> envelope, double& speed, double& torque,
                  SpeedPlace& place) {
  if (envelope.empty()) return 0.0;
  if (speed < envelope.front().speed) speed = envelope.front().speed;
  if (speed > envelope.back().speed) speed = envelope.back().speed;
  double lowest = 0.0, highest = 0.0;
  if (!speed_place(envelope, speed, place)) return 0.0;
  torque_bounds(envelope, place, lowest, highest);
  if (torque < lowest) torque = lowest;
  if (!(torque > highest)) return 0.0;
  const double excess = torque - highest;
  torque = highest;
  return excess;
}

template <Evaluate method>
void evaluate_clamped(const FuelMap::Data& data, std::span<const double> speed,
                      std::span<const double> torque, std::span<double> out) {
  double s[kChunk], t[kChunk];
  std::size_t index[kChunk];
  for (std::size_t first = 0; first < speed.size(); first += kChunk) {
    const std::size_t count = std::min(kChunk, speed.size() - first);
    for (std::size_t k = 0; k < count; ++k) {
      s[k] = speed[first + k];
      t[k] = torque[first + k];
      index[k] = first + k;
      SpeedPlace place;
      clamp_onto(data.envelope, s[k], t[k], place);
    }
    evaluate_buffered(method, data, s, t, &out[first], count, index, speed.size());
  }
}

template <Evaluate method>
void evaluate_or_nan(const FuelMap::Data& data, std::span<const double> speed,
                     std::span<const double> torque, std::span<double> out) {
  double s[kChunk], t[kChunk], fuel[kChunk];
  std::size_t index[kChunk];
  for (std::size_t first = 0; first < speed.size(); first += kChunk) {
    const std::size_t end = std::min(first + kChunk, speed.size());
    std::size_t inside = 0;
    for (std::size_t i = first; i < end; ++i) {
      if (where_in(data.envelope, speed[i], torque[i]) != Where::inside) {
        out[i] = std::numeric_limits<double>::quiet_NaN();
        continue;
      }
      s[inside] = speed[i];
      t[inside] = torque[i];
      index[inside++] = i;
    }
    if (inside == 0) continue;
    evaluate_buffered(method, data, s, t, fuel, inside, index, speed.size());
    for (std::size_t k = 0; k < inside; ++k) out[index[k]] = fuel[k];
  }
}

// Fuel is never below 0: a value below (or not a number) gives 0, any other
// keeps its bits (-0.0 too).
double at_least_zero(double value) { return value >= 0.0 ? value : 0.0; }

// The bounded value of the points `which` (places in the caller's arrays,
// ascending): the value at the point moved onto the envelope (clamp's point)
// at least 0, plus, above the highest measured torque, the top chord's slope
// at its speed times the excess. The literal procedure, point by point.
template <Evaluate method>
void bounded_points(const FuelMap::Data& data, std::span<const double> speed,
                    std::span<const double> torque, std::span<double> out, const std::size_t* which,
                    std::size_t count) {
  double s[kChunk], t[kChunk], rise[kChunk], fuel[kChunk];
  std::size_t index[kChunk];
  std::size_t moved = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t i = which[k];
    if (std::isnan(speed[i]) || std::isnan(torque[i])) {
      out[i] = std::numeric_limits<double>::quiet_NaN();
      continue;
    }
    s[moved] = speed[i];
    t[moved] = torque[i];
    SpeedPlace place;
    const double excess = clamp_onto(data.envelope, s[moved], t[moved], place);
    rise[moved] = 0.0;
    if (excess > 0.0) {
      const double before = data.top_slopes[place.row - (place.between ? 1 : 0)];
      const double slope = at_place(before, data.top_slopes[place.row], place);
      // No rise where the slope is 0 (an infinite excess gives the envelope's value).
      if (slope > 0.0) rise[moved] = slope * excess;
    }
    index[moved++] = i;
  }
  if (moved == 0) return;
  const auto finish = [&](std::size_t k) {
    const double value = at_least_zero(fuel[k]);
    out[index[k]] = rise[k] > 0.0 ? value + rise[k] : value;
  };
  try {
    evaluate_buffered(method, data, s, t, fuel, moved, index, speed.size());
  } catch (const Error& e) {
    // The method has evaluated the points before the failing one.
    for (std::size_t k = 0; k < moved && index[k] < e.index(); ++k) finish(k);
    throw;
  }
  for (std::size_t k = 0; k < moved; ++k) finish(k);
}

// A chunk goes to the method on the caller's arrays as under extrapolate;
// the points inside (most surely so by the bands, the others by where_in)
// keep their values at least 0, and those outside (or not a number) are
// evaluated again by the literal procedure. A single point (fuel(speed,
// torque)), or a chunk on which the method fails (at an infinite coordinate,
// say), takes the literal procedure whole; it gives the points inside the
// same bits.
template <Evaluate method>
void evaluate_bounded(const FuelMap::Data& data, std::span<const double> speed,
                      std::span<const double> torque, std::span<double> out) {
  std::size_t which[kChunk];
  for (std::size_t first = 0; first < speed.size(); first += kChunk) {
    const std::size_t count = std::min(kChunk, speed.size() - first);
    const auto whole = [&] {
      for (std::size_t k = 0; k < count; ++k) which[k] = first + k;
      bounded_points<method>(data, speed, torque, out, which, count);
    };
    if (count == 1) {
      whole();
      continue;
    }
    try {
      method(data, speed.subspan(first, count), torque.subspan(first, count),
             out.subspan(first, count));
    } catch (const Error&) {
      whole();
      continue;
    }
    // Every value at least 0 (those of the points outside are replaced
    // below), in a loop that vectorises.
    for (std::size_t i = first; i < first + count; ++i) out[i] = at_least_zero(out[i]);
    const std::size_t doubtful =
        list_not_surely_inside(data.inside_bands, speed, torque, first, first + count, which);
    std::size_t outside = 0;
    for (std::size_t k = 0; k < doubtful; ++k)
      if (where_in(data.envelope, speed[which[k]], torque[which[k]]) != Where::inside)
        which[outside++] = which[k];
    if (outside > 0) bounded_points<method>(data, speed, torque, out, which, outside);
  }
}

const char* where_text(Where where) {
  switch (where) {
    case Where::below: return "below the lowest measured torque at its speed";
    case Where::above: return "above the highest measured torque at its speed";
    case Where::nan: return "a coordinate is not a number";
    default: return "beyond the measured speeds";
  }
}

// The points before the first one outside are evaluated (their values are in
// out), then that one raises the Error.
template <Evaluate method>
void evaluate_or_raise(const FuelMap::Data& data, std::span<const double> speed,
                       std::span<const double> torque, std::span<double> out) {
  std::size_t i = 0;
  Where where = Where::inside;
  for (; i < speed.size(); ++i)
    if ((where = where_in(data.envelope, speed[i], torque[i])) != Where::inside) break;
  method(data, speed.first(i), torque.first(i), out.first(i));
  if (i == speed.size()) return;
  std::string message = "the point at speed " + number_text(speed[i]) + ", torque " +
                        number_text(torque[i]) +
                        " lies outside the measured map: " + where_text(where);
  if (speed.size() > 1) message = "point " + std::to_string(i) + ": " + message;
  throw std::move(Error(ErrorKind::outside, std::move(message)).with_index(i));
}

template <Evaluate method>
Evaluate policy_of(Outside outside) {
  switch (outside) {
    case Outside::clamp: return evaluate_clamped<method>;
    case Outside::nan: return evaluate_or_nan<method>;
    case Outside::error: return evaluate_or_raise<method>;
    case Outside::bounded: return evaluate_bounded<method>;
    default: return method;
  }
}

}  // namespace

Evaluate with_policy(Evaluate method, Outside outside) {
  if (method == evaluate_grid) return policy_of<evaluate_grid>(outside);
  return policy_of<evaluate_direct>(outside);
}

}  // namespace fuelcalc
