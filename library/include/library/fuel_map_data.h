#pragma once
// What a FuelMap holds, built once and shared read-only by its copies.
// Internal to the library.
#include <memory>
#include <span>
#include <vector>

#include "fuelcalc/fuel_map.hpp"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "fuelmap/point_evaluator.h"

namespace fuelcalc {

struct FuelMap::Data {
  Method method = Method::grid;
  Outside outside = Outside::extrapolate;
  fuelmap::MAP map;                   // the measured points in the program's order
  fuelmap::GRID grid;                 // the program's grid, column by column
  Grid public_grid;                   // the same values, [speed][torque]
  fuelmap::PointEvaluator evaluator;  // precomputed coefficients of the grid
  std::vector<EnvelopeRow> envelope;  // one row per run of equal speeds, in map order

  // The fuel values of an array of points (the spans have one length) by the
  // map's method under its outside policy: out[i] for every i, or an Error
  // with index() the first failing point. Chosen when the map is built
  // (choose_evaluation), so that a method or a policy adds a function, not a
  // branch in every call.
  using Evaluate = void (*)(const Data& data, std::span<const double> speed,
                            std::span<const double> torque, std::span<double> out);
  Evaluate evaluate = nullptr;

  // What a method other than the grid precomputes at build time (its own
  // type, known to its evaluation function); empty for the grid.
  std::shared_ptr<const void> method_state;
};

// Fills data.evaluate (and data.method_state) for data.method and
// data.outside once the grid and the envelope are built; throws Error of
// kind invalid_argument for a method or a policy that does not exist.
void choose_evaluation(FuelMap::Data& data);

// The grid method with the program's extrapolation: the precomputed path for
// the points it takes, the literal procedure for the others.
void evaluate_grid(const FuelMap::Data& data, std::span<const double> speed,
                   std::span<const double> torque, std::span<double> out);

// The direct method (no grid), extrapolating as the grid does; its
// precomputed state (fuelmap::DirectEvaluator) is data.method_state.
std::shared_ptr<const void> prepare_direct_state(const fuelmap::MAP& map);
void evaluate_direct(const FuelMap::Data& data, std::span<const double> speed,
                     std::span<const double> torque, std::span<double> out);

// A method's evaluation under an outside policy other than extrapolate.
FuelMap::Data::Evaluate with_policy(FuelMap::Data::Evaluate method, Outside outside);

// The envelope rows of an ordered map: per run of equal speeds, the lowest
// and the highest torque measured there.
std::vector<EnvelopeRow> measured_envelope(const fuelmap::MAP& map);

// Where (speed, torque) stands against the envelope rows.
Where where_in(std::span<const EnvelopeRow> envelope, double speed, double torque);

// The measured torque bounds at a speed within the measured speeds: a
// measured speed's own, between two the bounds interpolated linearly. False
// for a speed beyond them (or not a number).
bool torque_bounds(std::span<const EnvelopeRow> envelope, double speed, double& lowest,
                   double& highest);

}  // namespace fuelcalc
