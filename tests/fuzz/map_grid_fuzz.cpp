// Fuzz target: map loader, fuel grid and point evaluation.
//
// Input: the map file, whole. When the grid is built, a block of points is
// evaluated: the map's own points, grid corners, nodes and midpoints, points
// outside the grid, infinities, a NaN, and doubles taken bit for bit from the
// input's last bytes. Each execution aborts when the precomputed path gives,
// for a point it takes, other bits than the literal procedure (or takes a
// point on which the literal procedure ends the run), or when the one-point
// evaluation differs from the literal procedure.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "fuelmap/point_evaluator.h"
#include "memory_file.h"
#include "report.h"
#include "textio/endings.h"
#include "textio/units.h"

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
  } catch (const textio::RunEnd& end) {
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
  std::vector<Point> points = {
      {gx[0], gy[0]},         {gx[last], gy[0]},       {gx[0], gy[last]},
      {gx[last], gy[last]},   {gx[0] - width, mid_y},  {gx[last] + width, mid_y},
      {mid_x, gy[0] - height}, {mid_x, gy[last] + height}, {-kInf, mid_y},
      {mid_x, kInf},          {mid_x, std::numeric_limits<double>::quiet_NaN()},
      {1e300, -1e300},        {-0.0, 0.0}};
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
    const Outcome literal = outcome_of([&](double& fc) { fuelmap::CALCFC(x, y, fc, grid); });
    const Outcome single =
        outcome_of([&](double& fc) { fuelmap::evaluate_point(evaluator, x, y, fc, grid); });
    const bool taken = fuelmap::takes_point(evaluator, x, y);
    const Outcome from_block{false, 0, std::bit_cast<std::uint64_t>(block[i])};
    if ((taken && from_block != literal) || single != literal)
      fuzzing::fault("point (%a, %a): literal %s %a, block %a (%s), single %s %a", x, y,
                     literal.ended ? "ended" : "gives", std::bit_cast<double>(literal.bits),
                     block[i], taken ? "taken" : "not taken", single.ended ? "ended" : "gives",
                     std::bit_cast<double>(single.bits));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzzing::MemoryFile file({reinterpret_cast<const char*>(data), size});
  fuelmap::MAP map;
  fuelmap::GRID grid;
  bool built = false;
  try {
    fuelmap::LOADMAP(kMapUnit, file.path, map);
    fuelmap::FCGRID(grid, map);
    built = true;
  } catch (const textio::RunEnd&) {
    // An unreadable map or a failed interpolation ends the run; nothing to evaluate.
  }
  if (built) check_points(grid, probes(map, grid, data, size));
  textio::close_all_units();
  return 0;
}
