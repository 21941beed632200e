// Fuel value at one point: the literal two-pass procedure against the
// precomputed evaluation, on a grid built from a smooth engine-like map.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "driver/reporting.h"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "fuelmap/point_evaluator.h"

namespace {

fuelmap::GRID engine_grid() {
  fuelmap::MAP map;
  for (int s = 0; s < 12; ++s) {
    const double speed = 600.0 + 150.0 * s;
    for (int t = 0; t < 10; ++t) {
      const double torque = 120.0 * t + 3.0 * s;
      map.XMAP.push_back(speed);
      map.YMAP.push_back(torque);
      map.FCMAP.push_back((torque + 40.0 + 0.02 * speed) * speed * 0.0205 + 600.0);
    }
  }
  map.NMAP = static_cast<int>(map.XMAP.size());
  fuelmap::GRID grid;
  driver::FCGRID(grid, map);
  return grid;
}

struct Points {
  std::vector<double> x, y;
};

Points operating_points() {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> speed(550.0, 2400.0), torque(-100.0, 1300.0);
  Points p;
  for (int i = 0; i < 4096; ++i) {
    p.x.push_back(speed(rng));
    p.y.push_back(torque(rng));
  }
  return p;
}

void BM_LiteralProcedure(benchmark::State& state) {
  const fuelmap::GRID grid = engine_grid();
  const Points p = operating_points();
  std::size_t i = 0;
  for (auto _ : state) {
    double fc = 0.0;
    driver::CALCFC(p.x[i], p.y[i], fc, grid);
    benchmark::DoNotOptimize(fc);
    i = (i + 1) % p.x.size();
  }
}
BENCHMARK(BM_LiteralProcedure);

void BM_PrecomputedEvaluation(benchmark::State& state) {
  const fuelmap::GRID grid = engine_grid();
  const fuelmap::PointEvaluator evaluator = fuelmap::prepare_evaluator(grid);
  const Points p = operating_points();
  std::size_t i = 0;
  for (auto _ : state) {
    double fc = 0.0;
    fuelmap::evaluate_point(evaluator, p.x[i], p.y[i], fc, grid);
    benchmark::DoNotOptimize(fc);
    i = (i + 1) % p.x.size();
  }
}
BENCHMARK(BM_PrecomputedEvaluation);

// Blocks of points, as the record loop hands them over; time per point.
void BM_PrecomputedBlocks(benchmark::State& state) {
  const fuelmap::GRID grid = engine_grid();
  const fuelmap::PointEvaluator evaluator = fuelmap::prepare_evaluator(grid);
  const Points p = operating_points();
  std::vector<double> fc(p.x.size());
  std::size_t i = 0;
  for (auto _ : state) {
    fuelmap::evaluate_points(evaluator, fuelmap::kBlockPoints, &p.x[i], &p.y[i], &fc[i], grid);
    benchmark::DoNotOptimize(fc.data());
    i = (i + fuelmap::kBlockPoints) % p.x.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * fuelmap::kBlockPoints);
}
BENCHMARK(BM_PrecomputedBlocks);

}  // namespace
