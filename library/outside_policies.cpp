// What a point outside the measured envelope gives, for either method: the
// value at the point moved onto the envelope, a quiet NaN, or an Error of
// kind outside. Points inside go to the method unchanged, so they give the
// same bits under every policy.
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
// then the torque between the bounds there. A coordinate that is not a
// number stays, and the method fails on it as it does without the policy.
void clamp_onto(std::span<const EnvelopeRow> envelope, double& speed, double& torque) {
  if (envelope.empty()) return;
  if (speed < envelope.front().speed) speed = envelope.front().speed;
  if (speed > envelope.back().speed) speed = envelope.back().speed;
  double lowest = 0.0, highest = 0.0;
  if (!torque_bounds(envelope, speed, lowest, highest)) return;
  if (torque < lowest) torque = lowest;
  if (torque > highest) torque = highest;
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
      clamp_onto(data.envelope, s[k], t[k]);
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

const char* where_text(Where where) {
  switch (where) {
    case Where::below: return "below the lowest measured torque at its speed";
    case Where::above: return "above the highest measured torque at its speed";
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
    default: return method;
  }
}

}  // namespace

Evaluate with_policy(Evaluate method, Outside outside) {
  if (method == evaluate_grid) return policy_of<evaluate_grid>(outside);
  return policy_of<evaluate_direct>(outside);
}

}  // namespace fuelcalc
