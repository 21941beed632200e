// Fuzz target: map loader, fuel grid, point evaluation and the direct
// evaluation without the grid, in the program and through the library.
//
// Input: the map file, whole. When the grid is built, a block of points is
// evaluated: the map's own points, grid corners, nodes and midpoints, points
// outside the grid, infinities, a NaN, and doubles taken bit for bit from the
// input's last bytes. Each execution aborts when the precomputed path gives,
// for a point it takes, other bits than the literal procedure (or takes a
// point on which the literal procedure ends the run), or when the one-point
// evaluation differs from the literal procedure.
//
// The direct evaluation must fail on the loaded map only where the grid
// construction fails, and must not fail where that fails on the runs' slopes
// alone. When it accepts the map, the same kinds of points (and every
// measured point, which must give its measured fuel value unless the map
// holds a not-a-number) are evaluated by the literal procedure, the
// precomputed blocks and the one-point evaluation, which must agree bit for
// bit, failures included.
//
// The library's map, built from the text and from the points' arrays in file
// order, must fail where the program fails (with the same call and status)
// and otherwise give the program's grid and the literal procedure's value at
// every point, bit for bit, but NaN at a point with a coordinate that is not
// a number. Under Outside::bounded, by either method, no point with finite
// coordinates may give a value below 0 or not a number, and an array must
// give what its points give one by one.
//
// With a not-a-number in the map, the ordering must give the exact Shell
// sorts' arrangement bit for bit.
//
// The map check (fuelcalc/check.hpp) must find errors in every map the
// program refuses (when it loads the map, builds the grid, or evaluates the
// grid's corner, as it does for any input point) and in no other.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "driver/reporting.h"
#include "fuelcalc/check.hpp"
#include "fuelcalc/fuelcalc.hpp"
#include "fuelmap/direct.h"
#include "fuelmap/direct_evaluator.h"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "fuelmap/map_reader.h"
#include "fuelmap/point_evaluator.h"
#include "memory_file.h"
#include "report.h"
#include "runtime/endings.h"
#include "runtime/units.h"

namespace {

constexpr int kMapUnit = 17;
constexpr std::size_t kMapPointsProbed = 12;
constexpr std::size_t kRawPointsProbed = 8;
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Point {
  double x, y;
};

// The fuel value at a point, or how the run ended there.
struct Outcome {
  bool ended = false;
  int status = 0;
  std::uint64_t bits = 0;
  bool operator==(const Outcome&) const = default;
};

template <class Evaluate>
Outcome outcome_of(Evaluate evaluate) {
  Outcome outcome;
  try {
    double fc = 0.0;
    evaluate(fc);
    outcome.bits = std::bit_cast<std::uint64_t>(fc);
  } catch (const runtime::RunEnd& end) {
    outcome.ended = true;
    outcome.status = end.status;
  }
  return outcome;
}

std::vector<Point> probes(const fuelmap::MAP& map, const fuelmap::GRID& grid,
                          const std::uint8_t* data, std::size_t size) {
  const auto& gx = grid.GX;
  const auto& gy = grid.GY;
  const int last = fuelmap::kGridPoints - 1;
  const double mid_x = gx[0] / 2 + gx[last] / 2, mid_y = gy[0] / 2 + gy[last] / 2;
  const double width = gx[last] - gx[0], height = gy[last] - gy[0];
  std::vector<Point> points = {{gx[0], gy[0]},
                               {gx[last], gy[0]},
                               {gx[0], gy[last]},
                               {gx[last], gy[last]},
                               {gx[0] - width, mid_y},
                               {gx[last] + width, mid_y},
                               {mid_x, gy[0] - height},
                               {mid_x, gy[last] + height},
                               {-kInf, mid_y},
                               {mid_x, kInf},
                               {mid_x, std::numeric_limits<double>::quiet_NaN()},
                               {1e300, -1e300},
                               {-0.0, 0.0}};
  for (int i = 0; i < last; ++i)
    points.push_back({gx[i] / 2 + gx[i + 1] / 2, gy[last - i] / 2 + gy[last - i - 1] / 2});
  for (int i = 0; i <= last; i += 3) points.push_back({gx[i], gy[i]});
  for (std::size_t i = 0; i < std::min<std::size_t>(map.XMAP.size(), kMapPointsProbed); ++i)
    points.push_back({map.XMAP[i], map.YMAP[i]});
  for (std::size_t i = 0; i < kRawPointsProbed && (i + 1) * sizeof(Point) <= size; ++i) {
    Point raw;
    std::memcpy(&raw, data + size - (i + 1) * sizeof(Point), sizeof raw);
    points.push_back(raw);
  }
  return points;
}

void check_points(const fuelmap::GRID& grid, const std::vector<Point>& points) {
  const fuelmap::PointEvaluator evaluator = fuelmap::prepare_evaluator(grid);
  std::vector<double> xs, ys, block(points.size());
  for (const Point& p : points) {
    xs.push_back(p.x);
    ys.push_back(p.y);
  }
  for (std::size_t first = 0; first < points.size(); first += fuelmap::kBlockPoints) {
    const auto count = std::min<std::size_t>(fuelmap::kBlockPoints, points.size() - first);
    fuelmap::evaluate_points(evaluator, static_cast<int>(count), &xs[first], &ys[first],
                             &block[first], grid);
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    const double& x = xs[i];
    const double& y = ys[i];
    const Outcome literal = outcome_of([&](double& fc) { driver::CALCFC(x, y, fc, grid); });
    // The program reports a failure of the literal procedure and ends with status 1.
    const Outcome single = outcome_of([&](double& fc) {
      if (fuelmap::evaluate_point(evaluator, x, y, fc, grid)) throw runtime::RunEnd{1};
    });
    const bool taken = fuelmap::takes_point(evaluator, x, y);
    const Outcome from_block{false, 0, std::bit_cast<std::uint64_t>(block[i])};
    if ((taken && from_block != literal) || single != literal)
      fuzzing::fault("point (%a, %a): literal %s %a, block %a (%s), single %s %a", x, y,
                     literal.ended ? "ended" : "gives", std::bit_cast<double>(literal.bits),
                     block[i], taken ? "taken" : "not taken", single.ended ? "ended" : "gives",
                     std::bit_cast<double>(single.bits));
  }
}

// What a direct evaluation gives: the value's bits, or the failing call and
// its status.
struct DirectOutcome {
  int icall = 0, ierr = 0;
  std::uint64_t bits = 0;
  bool operator==(const DirectOutcome&) const = default;
};

bool holds_not_a_number(const fuelmap::MAP& map) {
  for (int i = 0; i < map.NMAP; ++i)
    if (std::isnan(map.XMAP[i]) || std::isnan(map.YMAP[i])) return true;
  return false;
}

// Points around the measured ranges, the measured points themselves, and raw doubles.
std::vector<Point> direct_probes(const fuelmap::MAP& map, const std::uint8_t* data,
                                 std::size_t size) {
  const auto [x_lo, x_hi] = std::minmax_element(map.XMAP.begin(), map.XMAP.end());
  const auto [y_lo, y_hi] = std::minmax_element(map.YMAP.begin(), map.YMAP.end());
  const double width = *x_hi - *x_lo, height = *y_hi - *y_lo;
  const double mid_x = *x_lo / 2 + *x_hi / 2, mid_y = *y_lo / 2 + *y_hi / 2;
  std::vector<Point> points = {{*x_lo, *y_lo},
                               {*x_hi, *y_hi},
                               {mid_x, mid_y},
                               {*x_lo - width, mid_y},
                               {*x_hi + width, mid_y},
                               {mid_x, *y_lo - height},
                               {mid_x, *y_hi + height},
                               {-kInf, mid_y},
                               {mid_x, kInf},
                               {mid_x, std::numeric_limits<double>::quiet_NaN()},
                               {std::numeric_limits<double>::quiet_NaN(), mid_y},
                               {1e300, -1e300},
                               {-0.0, 0.0}};
  for (int i = 1; i < 8; ++i) points.push_back({*x_lo + width * i / 7.0, *y_hi - height * i / 7.0});
  for (std::size_t i = 0; i < kRawPointsProbed && (i + 1) * sizeof(Point) <= size; ++i) {
    Point raw;
    std::memcpy(&raw, data + size - (i + 1) * sizeof(Point), sizeof raw);
    points.push_back(raw);
  }
  return points;
}

void check_direct(const fuelmap::MAP& map, const std::uint8_t* data, std::size_t size) {
  const fuelmap::DirectEvaluator evaluator = fuelmap::prepare_direct(map);
  std::vector<Point> points = direct_probes(map, data, size);
  const std::size_t measured = points.size();
  for (int i = 0; i < map.NMAP; ++i) points.push_back({map.XMAP[i], map.YMAP[i]});
  const bool exact = !holds_not_a_number(map);
  double block[fuelmap::kDirectBlockPoints];
  for (std::size_t first = 0; first < points.size(); first += fuelmap::kDirectBlockPoints) {
    const auto count = std::min<std::size_t>(fuelmap::kDirectBlockPoints, points.size() - first);
    double xs[fuelmap::kDirectBlockPoints], ys[fuelmap::kDirectBlockPoints];
    for (std::size_t i = 0; i < count; ++i) {
      xs[i] = points[first + i].x;
      ys[i] = points[first + i].y;
    }
    fuelmap::evaluate_direct_points(evaluator, static_cast<int>(count), xs, ys, block);
    for (std::size_t i = 0; i < count; ++i) {
      const double& x = xs[i];
      const double& y = ys[i];
      double fc = 0.0;
      fuelmap::HermiteFailure failure = fuelmap::literal_direct_fuel(x, y, fc, map);
      const DirectOutcome literal{failure.code, failure.ierr, std::bit_cast<std::uint64_t>(fc)};
      fc = 0.0;
      failure = fuelmap::evaluate_direct_point(evaluator, map, x, y, fc);
      const DirectOutcome single{failure.code, failure.ierr, std::bit_cast<std::uint64_t>(fc)};
      const bool taken = fuelmap::takes_direct_point(evaluator, x, y);
      const DirectOutcome from_block{0, 0, std::bit_cast<std::uint64_t>(block[i])};
      if ((taken && from_block != literal) || single != literal)
        fuzzing::fault("direct (%a, %a): literal %a (%d, %d), block %a (%s), single %a (%d, %d)", x,
                       y, std::bit_cast<double>(literal.bits), literal.icall, literal.ierr,
                       block[i], taken ? "taken" : "not taken", std::bit_cast<double>(single.bits),
                       single.icall, single.ierr);
      const std::size_t index = first + i;
      if (exact && index >= measured &&
          literal != DirectOutcome{0, 0, std::bit_cast<std::uint64_t>(map.FCMAP[index - measured])})
        fuzzing::fault("direct (%a, %a): %a, measured %a", x, y,
                       std::bit_cast<double>(literal.bits), map.FCMAP[index - measured]);
    }
  }
}

// A library map, or the Error building it gave.
struct Built {
  std::optional<fuelcalc::FuelMap> map;
  std::optional<fuelcalc::Error> error;
};

template <class Build>
Built built_by(Build build) {
  Built result;
  try {
    result.map = build();
  } catch (const fuelcalc::Error& e) {
    result.error = e;
  }
  return result;
}

// The library's map against the program's: the same failure, or the same grid
// and the literal procedure's values at the points.
void check_library(const char* how, const Built& library, const fuelmap::HermiteFailure& failure,
                   const fuelmap::GRID& grid, const std::vector<Point>& points) {
  if (failure) {
    if (!library.error || library.error->kind() != fuelcalc::ErrorKind::interpolation ||
        library.error->code() != failure.code || library.error->ierr() != failure.ierr)
      fuzzing::fault("%s: the program fails with code %d, ierr %d; the library %s", how,
                     failure.code, failure.ierr, library.error ? library.error->what() : "builds");
    return;
  }
  if (!library.map) fuzzing::fault("%s: the library fails: %s", how, library.error->what());
  const fuelcalc::Grid& g = library.map->grid();
  for (std::size_t i = 0; i < fuelcalc::kGridSize; ++i)
    for (std::size_t j = 0; j < fuelcalc::kGridSize; ++j)
      if (std::bit_cast<std::uint64_t>(g.fuel[i][j]) !=
              std::bit_cast<std::uint64_t>(grid.GFC[i + fuelcalc::kGridSize * j]) ||
          std::bit_cast<std::uint64_t>(g.speed[i]) != std::bit_cast<std::uint64_t>(grid.GX[i]) ||
          std::bit_cast<std::uint64_t>(g.torque[j]) != std::bit_cast<std::uint64_t>(grid.GY[j]))
        fuzzing::fault("%s: grid (%zu, %zu) differs", how, i, j);
  std::vector<double> xs, ys, fuel(points.size());
  std::optional<std::size_t> first_failure;
  for (std::size_t i = 0; i < points.size(); ++i) {
    xs.push_back(points[i].x);
    ys.push_back(points[i].y);
    double literal = 0.0;
    fuelmap::HermiteFailure at = fuelmap::literal_fuel(points[i].x, points[i].y, literal, grid);
    if (std::isnan(points[i].x) || std::isnan(points[i].y)) {  // no value
      at = {};
      literal = std::numeric_limits<double>::quiet_NaN();
    }
    if (at && !first_failure) first_failure = i;
    try {
      const double value = library.map->fuel(points[i].x, points[i].y);
      if (at || std::bit_cast<std::uint64_t>(value) != std::bit_cast<std::uint64_t>(literal))
        fuzzing::fault("%s: point (%a, %a): library %a, literal %a (code %d)", how, points[i].x,
                       points[i].y, value, literal, at.code);
    } catch (const fuelcalc::Error& e) {
      if (e.code() != at.code || e.ierr() != at.ierr)
        fuzzing::fault("%s: point (%a, %a): library fails (%s), literal code %d", how, points[i].x,
                       points[i].y, e.what(), at.code);
    }
  }
  try {
    library.map->fuel(xs, ys, fuel);
    if (first_failure) fuzzing::fault("%s: the array passes a failing point", how);
  } catch (const fuelcalc::Error& e) {
    if (e.index() != first_failure) fuzzing::fault("%s: the array fails at the wrong point", how);
  }
}

// The library's map by the direct method: the grid's failure, or the literal
// procedure's values (and failures) at the points.
void check_library_direct(const Built& library, const fuelmap::HermiteFailure& failure,
                          const fuelmap::MAP& map, const std::vector<Point>& points) {
  if (failure) {
    if (!library.error || library.error->code() != failure.code)
      fuzzing::fault("direct: the grid fails with code %d; the library %s", failure.code,
                     library.error ? library.error->what() : "builds");
    return;
  }
  if (!library.map) fuzzing::fault("direct: the library fails: %s", library.error->what());
  for (const Point& p : points) {
    double literal = 0.0;
    fuelmap::HermiteFailure at = fuelmap::literal_direct_fuel(p.x, p.y, literal, map);
    if (std::isnan(p.x) || std::isnan(p.y)) {  // no value
      at = {};
      literal = std::numeric_limits<double>::quiet_NaN();
    }
    try {
      const double value = library.map->fuel(p.x, p.y);
      if (at || std::bit_cast<std::uint64_t>(value) != std::bit_cast<std::uint64_t>(literal))
        fuzzing::fault("direct: point (%a, %a): library %a, literal %a (code %d)", p.x, p.y, value,
                       literal, at.code);
    } catch (const fuelcalc::Error& e) {
      if (e.code() != at.code || e.ierr() != at.ierr)
        fuzzing::fault("direct: point (%a, %a): library fails (%s), literal code %d", p.x, p.y,
                       e.what(), at.code);
    }
  }
}

// Bounded values: never below 0 nor NaN at a point with finite coordinates,
// NaN at one that is not a number, an array's values its points' one by one.
void check_bounded(std::string_view text, fuelcalc::Method method,
                   const std::vector<Point>& points) {
  const Built built =
      built_by([&] { return fuelcalc::FuelMap::parse(text, method, fuelcalc::Outside::bounded); });
  if (!built.map) return;
  std::vector<double> xs, ys, fuel(points.size());
  for (const Point& p : points) {
    xs.push_back(p.x);
    ys.push_back(p.y);
  }
  try {
    built.map->fuel(xs, ys, fuel);
  } catch (const fuelcalc::Error&) {
    return;  // the method fails on a point (a grid it cannot take), as without the policy
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    const double x = points[i].x, y = points[i].y, value = fuel[i];
    const bool finite = std::isfinite(x) && std::isfinite(y);
    if ((finite && !(value >= 0.0)) || (std::isnan(x) || std::isnan(y)) != std::isnan(value))
      fuzzing::fault("bounded %d: point (%a, %a) gives %a", static_cast<int>(method), x, y, value);
    if (std::bit_cast<std::uint64_t>(built.map->fuel(x, y)) != std::bit_cast<std::uint64_t>(value))
      fuzzing::fault("bounded %d: point (%a, %a): array %a, one point %a", static_cast<int>(method),
                     x, y, value, built.map->fuel(x, y));
  }
}

// With a not-a-number the ordering finds the Shell sorts' arrangement chain
// by chain: the sorts' own exchanges must give the same bits. (Without one,
// points equal in both coordinates may stand in either order.)
void check_ordering(const fuelmap::MAP& raw, const fuelmap::MAP& ordered) {
  const auto nan = [](double v) { return std::isnan(v); };
  if (std::none_of(raw.XMAP.begin(), raw.XMAP.end(), nan) &&
      std::none_of(raw.YMAP.begin(), raw.YMAP.end(), nan))
    return;
  fuelmap::MAP shell = raw;
  fuelmap::order_map_by_shell_sorts(shell);
  const auto same = [](const std::vector<double>& a, const std::vector<double>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](double x, double y) {
      return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
    });
  };
  if (!same(shell.XMAP, ordered.XMAP) || !same(shell.YMAP, ordered.YMAP) ||
      !same(shell.FCMAP, ordered.FCMAP))
    fuzzing::fault("ordering: %d points with a not-a-number differ from the Shell sorts", raw.NMAP);
}

// The library from the map's text and from its points' arrays in file order.
void check_library_maps(std::string_view text, const std::vector<Point>& points) {
  textio::RecordSource source = textio::source_from_bytes(text);
  fuelmap::MAP raw;
  const fuelmap::MapReading reading = fuelmap::read_map(source, raw);
  const Built parsed = built_by([&] { return fuelcalc::FuelMap::parse(text); });
  if (reading.status != fuelmap::MapReadStatus::ok) {
    if (!parsed.error || parsed.error->kind() != fuelcalc::ErrorKind::read)
      fuzzing::fault("an unreadable map gives no read error");
    return;
  }
  fuelmap::MAP map = raw;
  fuelmap::order_map(map);
  check_ordering(raw, map);
  fuelmap::GRID grid;
  const fuelmap::HermiteFailure failure = fuelmap::build_grid(grid, map);
  check_library("text", parsed, failure, grid, points);
  check_library_direct(
      built_by([&] { return fuelcalc::FuelMap::parse(text, fuelcalc::Method::direct); }), failure,
      map, points);
  if (!failure)
    for (const fuelcalc::Method method : {fuelcalc::Method::grid, fuelcalc::Method::direct})
      check_bounded(text, method, points);
  if (raw.NMAP == 0) return;  // no arrays to build from
  check_library("arrays", built_by([&] {
                  return fuelcalc::FuelMap::from_points(raw.XMAP, raw.YMAP, raw.FCMAP);
                }),
                failure, grid, points);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzzing::MemoryFile file({reinterpret_cast<const char*>(data), size});
  fuelmap::MAP map;
  fuelmap::GRID grid;
  bool loaded = false, built = false;
  try {
    driver::LOADMAP(kMapUnit, file.path, map);
    loaded = true;
    driver::FCGRID(grid, map);
    built = true;
  } catch (const runtime::RunEnd&) {
    // An unreadable map or a failed interpolation ends the run; nothing to evaluate.
  }
  bool runs = built;
  std::vector<Point> points;
  if (built) {
    points = probes(map, grid, data, size);
    check_points(grid, points);
    runs = !outcome_of([&](double& fc) { driver::CALCFC(grid.GX[0], grid.GY[0], fc, grid); }).ended;
  }
  if (loaded) {
    const fuelmap::HermiteFailure failure = fuelmap::direct_check(map);
    if (failure && built)
      fuzzing::fault("direct check fails (%d, %d), the grid is built", failure.code, failure.ierr);
    if (!failure) check_direct(map, data, size);
  }
  runtime::close_all_units();
  check_library_maps({reinterpret_cast<const char*>(data), size}, points);

  const fuelcalc::MapCheck checked = fuelcalc::check_map(file.path);
  if (fuelcalc::has_errors(checked.findings) == runs)
    fuzzing::fault("map check: %s, but the program %s", runs ? "errors" : "no error",
                   runs ? "runs" : "refuses the map");
  return 0;
}
