#pragma once
// A fuel map loaded once and evaluated many times: the measured points, the
// 20 x 20 grid resampled from them, and the fuel value at any operating point,
// bit for bit the double the console program edits for the same map and point.
//
// A FuelMap is immutable once built; copies share its data. Its const
// functions may be called from many threads at once.
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "fuelcalc/error.hpp"
#include "fuelcalc/export.hpp"
#include "fuelcalc/map_table.hpp"

namespace fuelcalc {

inline constexpr std::size_t kGridSize = 20;

// How fuel values are computed: from the 20 x 20 grid (the program's method),
// or by the same two passes evaluated at the point itself over the measured
// points: along torque at each measured speed, with the slopes the grid
// construction estimates there, then across the measured speeds. The direct
// method gives every measured point its measured fuel value exactly, and
// extrapolates outside as the grid does.
enum class Method { grid, direct };

// What a point outside the measured envelope (see where()) gives: the
// method's extrapolated value (the program's behaviour); the value at the
// point moved onto the envelope (its speed into the measured speeds, then its
// torque between the lowest and the highest measured torque at that speed);
// a quiet NaN; an Error of kind outside with index() the first such point;
// or a value bounded as fuel is: never below 0, the envelope's value below
// the lowest measured torque, and above the highest one the envelope's value
// plus the rise along the top chord (bounded, see docs/outside-policies.md).
// Points inside give the same bits under every policy, except that bounded
// gives 0 for a value below 0 (or not a number) there.
enum class Outside { extrapolate, clamp, nan, error, bounded };

// Where an operating point stands against the measured envelope.
enum class Where : std::int8_t {
  inside = 0,        // within the measured torques at its speed (a bound counts as inside)
  below = 1,         // below the lowest measured torque at its speed
  above = 2,         // above the highest measured torque at its speed
  beyond_speed = 3,  // outside the range of measured speeds (an infinite speed too)
  nan = 4,           // a speed or a torque that is not a number: no value
};

// The names options, documents and Python give the values: "grid",
// "direct"; "extrapolate", "clamp", "nan", "error", "bounded"; every name in
// the enum's order; the value of a name, empty for none. Where's names are
// where_name's (cycle.hpp).
FUELCALC_API std::string_view to_string(Method method);
FUELCALC_API std::string_view to_string(Outside outside);
FUELCALC_API std::span<const std::string_view> method_names();
FUELCALC_API std::span<const std::string_view> outside_names();
FUELCALC_API std::optional<Method> parse_method(std::string_view name);
FUELCALC_API std::optional<Outside> parse_outside(std::string_view name);

// The resampled grid: fuel[i][j] is the fuel value at (speed[i], torque[j]).
struct Grid {
  std::array<double, kGridSize> speed{};
  std::array<double, kGridSize> torque{};
  std::array<std::array<double, kGridSize>, kGridSize> fuel{};
};

// The measured torque range at one measured speed. Between two measured
// speeds the bounds are interpolated linearly.
struct EnvelopeRow {
  double speed = 0.0;
  double lowest_torque = 0.0;
  double highest_torque = 0.0;
};

class FUELCALC_API FuelMap {
 public:
  // A map file by the program's reading rules (two header records, then
  // groups of three numbers), ordered and resampled as the program does.
  // Throws Error: open, read, interpolation (the map cannot give a grid;
  // line() is the first line of the points involved), invalid_argument (a
  // method or policy not available).
  static FuelMap load(const std::filesystem::path& file, Method method = Method::grid,
                      Outside outside = Outside::extrapolate);
  // The text of a map file held in memory, by the same rules; throws as load
  // does, except open.
  static FuelMap parse(std::string_view text, Method method = Method::grid,
                       Outside outside = Outside::extrapolate);
  // Measured points in any order; the three arrays have one length, not
  // zero (else Error invalid_argument); throws as parse does otherwise.
  static FuelMap from_points(std::span<const double> speed, std::span<const double> torque,
                             std::span<const double> fuel, Method method = Method::grid,
                             Outside outside = Outside::extrapolate);
  // The points of a map table (map_table.hpp), read and built as
  // from_points builds them; throws as read_map_table and from_points do,
  // a grid that cannot be built with line() the first line of the points
  // involved (MapTable::lines).
  static FuelMap from_table(const std::filesystem::path& file, const MapTableOptions& options = {},
                            Method method = Method::grid, Outside outside = Outside::extrapolate);
  static FuelMap from_table(const MapTable& table, Method method = Method::grid,
                            Outside outside = Outside::extrapolate);

  // The fuel value at one point by the map's method; with Method::grid bit
  // for bit the double the program edits for this map and point. A point
  // outside the envelope gives what the map's Outside policy says
  // (extrapolated by default). A point with a coordinate that is not a
  // number has no value: NaN under every policy but Outside::error, under
  // which it is outside (the program stops on it instead).
  double fuel(double speed, double torque) const;
  // out[i] = fuel(speed[i], torque[i]); the three spans have one length
  // (else Error invalid_argument) and out overlaps neither input. A failing
  // point throws Error with index() its position; the values before it are
  // in out.
  void fuel(std::span<const double> speed, std::span<const double> torque,
            std::span<double> out) const;

  // The grid's deviation at each measured point: the grid's value there
  // (Method::grid, extrapolating) minus the measured fuel value, in the order
  // of point_speeds(), whatever the map's method and policy. Throws as
  // fuel() does where the grid cannot be evaluated.
  std::vector<double> grid_deviation() const;

  // Whether the point lies within the measured envelope (a bound counts as inside).
  bool inside(double speed, double torque) const;
  // Where the point stands against the measured envelope.
  Where where(double speed, double torque) const;
  // out[i] = where(speed[i], torque[i]); the three spans have one length.
  void where(std::span<const double> speed, std::span<const double> torque,
             std::span<Where> out) const;
  // How many of the points lie outside the measured envelope (their fuel
  // values are extrapolated).
  std::size_t count_outside(std::span<const double> speed, std::span<const double> torque) const;

  // The 20 x 20 grid resampled from the measured points.
  const Grid& grid() const;
  // One row per measured speed, ascending.
  std::span<const EnvelopeRow> envelope() const;
  // The measured points in the program's sorted order.
  std::span<const double> point_speeds() const;
  std::span<const double> point_torques() const;
  std::span<const double> point_fuels() const;
  // The number of measured points.
  std::size_t size() const;

  // The method and the outside policy the map was built with.
  Method method() const;
  Outside outside() const;

  // What a map holds; defined inside the library.
  struct Data;

 private:
  explicit FuelMap(std::shared_ptr<const Data> data);
  std::shared_ptr<const Data> data_;
};

}  // namespace fuelcalc
