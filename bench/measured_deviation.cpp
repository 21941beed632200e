// The grid's and the direct method's deviation at the measured points of
// maps, and the sign of their values inside the measured region, as a
// Markdown table (the README's section on the direct method).
//
// usage: measured_deviation MAP...
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "fuelcalc/fuelcalc.hpp"

namespace {

using fuelcalc::FuelMap;
using fuelcalc::Method;

// The value at fraction q of the sorted values (nearest rank).
double quantile(std::vector<double> values, double q) {
  if (values.empty()) return std::nan("");
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size())));
  return values[rank == 0 ? 0 : rank - 1];
}

struct Deviation {
  double median, p95, max;  // of |value - measured| / |measured| over nonzero measured fuel, %
  double max_gph;           // largest |value - measured|, g/h
  double max_at_zero;       // largest |value| where the measured fuel is 0, g/h
};

Deviation deviation(const FuelMap& map, const std::vector<double>& difference) {
  const auto fuels = map.point_fuels();
  std::vector<double> relative;
  Deviation d{0, 0, 0, 0, 0};
  for (std::size_t i = 0; i < fuels.size(); ++i) {
    const double gap = std::fabs(difference[i]);
    d.max_gph = std::max(d.max_gph, gap);
    if (fuels[i] == 0.0)
      d.max_at_zero = std::max(d.max_at_zero, gap);
    else
      relative.push_back(100.0 * gap / std::fabs(fuels[i]));
  }
  d.median = quantile(relative, 0.5);
  d.p95 = quantile(relative, 0.95);
  d.max = quantile(relative, 1.0);
  return d;
}

// Operating points on a 400 x 400 lattice over the measured ranges that lie
// inside the measured envelope.
fuelcalc::OperatingPoints inside_points(const FuelMap& map) {
  const auto speeds = map.point_speeds();
  const auto torques = map.point_torques();
  const auto [s_lo, s_hi] = std::minmax_element(speeds.begin(), speeds.end());
  const auto [t_lo, t_hi] = std::minmax_element(torques.begin(), torques.end());
  constexpr int kSteps = 400;
  fuelcalc::OperatingPoints points;
  for (int i = 0; i <= kSteps; ++i) {
    for (int j = 0; j <= kSteps; ++j) {
      const double s = *s_lo + (*s_hi - *s_lo) * i / kSteps;
      const double t = *t_lo + (*t_hi - *t_lo) * j / kSteps;
      if (!map.inside(s, t)) continue;
      points.speed.push_back(s);
      points.torque.push_back(t);
    }
  }
  return points;
}

struct Sign {
  std::size_t negative = 0, count = 0;
  double lowest = 0.0;
};

Sign sign_inside(const FuelMap& map, const fuelcalc::OperatingPoints& points) {
  std::vector<double> fuel(points.speed.size());
  map.fuel(points.speed, points.torque, fuel);
  Sign sign;
  sign.count = fuel.size();
  sign.lowest = *std::min_element(fuel.begin(), fuel.end());
  sign.negative = static_cast<std::size_t>(
      std::count_if(fuel.begin(), fuel.end(), [](double v) { return v < 0.0; }));
  return sign;
}

void row(const std::string& name, const char* method, const Deviation& d, const Sign& s) {
  std::printf(
      "| %s | %s | %.3f %% | %.3f %% | %.3f %% | %.1f | %.1f | %zu of %zu (lowest %.1f) |\n",
      name.c_str(), method, d.median, d.p95, d.max, d.max_gph, d.max_at_zero, s.negative, s.count,
      s.lowest);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: measured_deviation MAP...\n");
    return 2;
  }
  std::printf(
      "| map | method | median | p95 | max | max g/h | max at fuel 0, g/h | "
      "negative inside |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  try {
    for (int a = 1; a < argc; ++a) {
      const std::string name = argv[a];
      const FuelMap grid = FuelMap::load(name, Method::grid);
      const FuelMap direct = FuelMap::load(name, Method::direct);
      const fuelcalc::OperatingPoints inside = inside_points(grid);

      std::vector<double> direct_gap(direct.size());
      direct.fuel(direct.point_speeds(), direct.point_torques(), direct_gap);
      for (std::size_t i = 0; i < direct_gap.size(); ++i) direct_gap[i] -= direct.point_fuels()[i];

      row(name, "grid", deviation(grid, grid.grid_deviation()), sign_inside(grid, inside));
      row(name, "direct", deviation(direct, direct_gap), sign_inside(direct, inside));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "measured_deviation: %s\n", e.what());
    return 1;
  }
  return 0;
}
