// Direct fuel values (no grid): the literal procedure against the
// precomputed evaluation, one point at a time and in blocks, on an
// engine-like map with a motoring corner and a full-load curve that varies
// with speed, at operating points inside the measured torques.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "fuelmap/direct.h"
#include "fuelmap/direct_evaluator.h"
#include "fuelmap/map.h"

namespace {

double full_load(double speed) {
  return std::min(1200.0, 300.0 + 0.9 * (speed - 500.0)) - 0.25 * std::max(0.0, speed - 1600.0);
}

double motoring(double speed) { return -(45.0 + 0.035 * speed); }

// 14 speeds of 12 points: motoring (fuel 0), 0 Nm, nine part loads, full load.
fuelmap::MAP engine_map() {
  fuelmap::MAP map;
  for (int s = 0; s < 14; ++s) {
    const double speed = 600.0 + 125.0 * s;
    const double top = full_load(speed);
    std::vector<double> torques = {motoring(speed), 0.0};
    for (int t = 1; t <= 10; ++t) torques.push_back(top * (t - 0.3 * (s % 3) / 10.0) / 10.0);
    torques.back() = top;
    for (const double t : torques) {
      map.XMAP.push_back(speed);
      map.YMAP.push_back(t);
      map.FCMAP.push_back(t < 0.0 ? 0.0 : (t + 40.0 + 0.02 * speed) * speed * 0.0205 + 600.0);
    }
  }
  map.NMAP = static_cast<int>(map.XMAP.size());
  return map;
}

struct Points {
  std::vector<double> x, y;
};

// Random operating points between the motoring torque and full load.
Points operating_points() {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> speed(600.0, 2225.0), unit(0.0, 1.0);
  Points p;
  for (int i = 0; i < 4096; ++i) {
    const double x = speed(rng);
    p.x.push_back(x);
    p.y.push_back(motoring(x) + (full_load(x) - motoring(x)) * unit(rng));
  }
  return p;
}

void BM_DirectLiteral(benchmark::State& state) {
  const fuelmap::MAP map = engine_map();
  const Points p = operating_points();
  std::size_t i = 0;
  for (auto _ : state) {
    double fc = 0.0;
    benchmark::DoNotOptimize(fuelmap::literal_direct_fuel(p.x[i], p.y[i], fc, map));
    benchmark::DoNotOptimize(fc);
    i = (i + 1) % p.x.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_DirectLiteral);

void BM_DirectPoint(benchmark::State& state) {
  const fuelmap::MAP map = engine_map();
  const fuelmap::DirectEvaluator evaluator = fuelmap::prepare_direct(map);
  const Points p = operating_points();
  std::size_t i = 0;
  for (auto _ : state) {
    double fc = 0.0;
    benchmark::DoNotOptimize(fuelmap::evaluate_direct_point(evaluator, map, p.x[i], p.y[i], fc));
    benchmark::DoNotOptimize(fc);
    i = (i + 1) % p.x.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_DirectPoint);

// Blocks of points, as a caller with many points hands them over.
void BM_DirectBlocks(benchmark::State& state) {
  const fuelmap::DirectEvaluator evaluator = fuelmap::prepare_direct(engine_map());
  const Points p = operating_points();
  std::vector<double> fc(p.x.size());
  std::size_t i = 0;
  for (auto _ : state) {
    fuelmap::evaluate_direct_points(evaluator, fuelmap::kDirectBlockPoints, &p.x[i], &p.y[i],
                                    &fc[i]);
    benchmark::DoNotOptimize(fc.data());
    i = (i + fuelmap::kDirectBlockPoints) % p.x.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          fuelmap::kDirectBlockPoints);
}
BENCHMARK(BM_DirectBlocks);

}  // namespace
