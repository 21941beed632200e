#pragma once
// What a FuelMap holds, built once and shared read-only by its copies.
// Internal to the library.
#include <cstddef>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include <emmintrin.h>

#include "fuelcalc/fuel_map.hpp"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "fuelmap/point_evaluator.h"

namespace fuelcalc {

// Torque bands surely inside the measured envelope over equal slices of the
// measured speeds: a point of a slice with a torque within [low, high] is
// inside by where_in, with a margin for the rounding of the interpolated
// bounds. A quick test for the common case; any other point takes where_in.
struct InsideBands {
  double first_speed = 0.0;
  double last_speed = 0.0;
  double slices_per_speed = 0.0;
  std::vector<double> low, high;  // per slice; empty: no point is surely inside
};

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

  // Outside::bounded only (empty otherwise): per envelope row, the chord
  // slope of its two highest measured points (fuel per torque, raised to 0
  // when negative).
  std::vector<double> top_slopes;
  // The torque bands surely inside the envelope (every policy: the classes
  // of arrays of points use them too).
  InsideBands inside_bands;
};

// The map of points in file order (the spans have one length), built as
// FuelMap::from_points builds it; with each point's line (lines, else
// empty), an Error of the grid's construction carries the first line of the
// points involved.
std::shared_ptr<const FuelMap::Data> build_from_points(std::span<const double> speed,
                                                       std::span<const double> torque,
                                                       std::span<const double> fuel, Method method,
                                                       Outside outside,
                                                       std::span<const std::size_t> lines);

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

// Where a speed within the measured speeds stands between the envelope rows:
// the row at or above it and, between two measured speeds, the fraction of
// the way from the row before.
struct SpeedPlace {
  std::size_t row = 0;
  bool between = false;
  double fraction = 0.0;
};

// False for a speed beyond the measured speeds (or not a number).
bool speed_place(std::span<const EnvelopeRow> envelope, double speed, SpeedPlace& place);

// A quantity given per envelope row at a speed's place: the row's own on a
// measured speed, between two interpolated linearly.
inline double at_place(double before, double row, const SpeedPlace& place) {
  return place.between ? before + (row - before) * place.fraction : row;
}

// The measured torque bounds at a speed within the measured speeds: a
// measured speed's own, between two the bounds interpolated linearly. False
// for a speed beyond them (or not a number).
bool torque_bounds(std::span<const EnvelopeRow> envelope, double speed, double& lowest,
                   double& highest);
bool torque_bounds(std::span<const EnvelopeRow> envelope, const SpeedPlace& place, double& lowest,
                   double& highest);

// Per run of equal speeds of an ordered map (an envelope row), the chord
// slope of its two highest points, raised to 0 when negative or not a number.
std::vector<double> top_slopes(const fuelmap::MAP& map);

// The bands of the envelope rows, and whether points lie surely inside by them.
InsideBands inside_bands(std::span<const EnvelopeRow> envelope);

// The bands' figures in the vector unit's form, taken once for a loop over
// points. Without bands, one slice that no torque lies within.
struct BandTest {
  __m128d first_speed, last_speed, slices_per_speed, slices, last_slice;
  const double* low;
  const double* high;
};
inline BandTest band_test(const InsideBands& bands) {
  static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  const bool none = bands.low.empty();
  const double slices = none ? 1.0 : static_cast<double>(bands.low.size());
  return {_mm_set1_pd(bands.first_speed),      _mm_set1_pd(bands.last_speed),
          _mm_set1_pd(bands.slices_per_speed), _mm_set1_pd(slices),
          _mm_set1_pd(slices - 1.0),           none ? &kNone : bands.low.data(),
          none ? &kNone : bands.high.data()};
}

// The two points of the lanes (speed, torque): bit k of the result is set
// when lane k lies surely inside. The tests join without branches on the
// points, so that points near the bands' edges cost no mispredictions; a
// speed beyond the slices (or not a number) looks up an end slice and fails.
inline int surely_inside(const BandTest& test, __m128d speed, __m128d torque) {
  const __m128d at = _mm_mul_pd(_mm_sub_pd(speed, test.first_speed), test.slices_per_speed);
  const __m128d within = _mm_and_pd(
      _mm_and_pd(_mm_cmpge_pd(speed, test.first_speed), _mm_cmple_pd(speed, test.last_speed)),
      _mm_cmplt_pd(at, test.slices));
  // The slice: the place moved into [0, last slice] (a NaN onto the last), truncated.
  const __m128i slice =
      _mm_cvttpd_epi32(_mm_max_pd(_mm_min_pd(at, test.last_slice), _mm_setzero_pd()));
  const int lane0 = _mm_cvtsi128_si32(slice);
  const int lane1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(slice, 1));
  const __m128d low = _mm_loadh_pd(_mm_load_sd(test.low + lane0), test.low + lane1);
  const __m128d high = _mm_loadh_pd(_mm_load_sd(test.high + lane0), test.high + lane1);
  const __m128d in =
      _mm_and_pd(within, _mm_and_pd(_mm_cmpge_pd(torque, low), _mm_cmple_pd(torque, high)));
  return _mm_movemask_pd(in);
}
inline bool surely_inside(const InsideBands& bands, double speed, double torque) {
  return (surely_inside(band_test(bands), _mm_set1_pd(speed), _mm_set1_pd(torque)) & 1) != 0;
}

// The points [first, end) of the arrays not surely inside, listed ascending
// in which; returns how many. Two points at a time.
std::size_t list_not_surely_inside(const InsideBands& bands, std::span<const double> speed,
                                   std::span<const double> torque, std::size_t first,
                                   std::size_t end, std::size_t* which);

}  // namespace fuelcalc
