// The library: fuel values of arrays of points inside the map, by the grid
// and by the direct method, on one thread and on two threads sharing one map; and building a
// FuelMap from a one-million-point map against the program's load and grid.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "driver/reporting.h"
#include "fuelcalc/fuelcalc.hpp"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "runtime/units.h"

namespace {

// A smooth engine-like map: 12 speeds of 10 torques each.
fuelcalc::FuelMap engine_map(fuelcalc::Method method = fuelcalc::Method::grid,
                             fuelcalc::Outside outside = fuelcalc::Outside::extrapolate) {
  std::vector<double> s, t, f;
  for (int i = 0; i < 12; ++i) {
    for (int j = 0; j < 10; ++j) {
      s.push_back(600.0 + 150.0 * i);
      t.push_back(120.0 * j + 3.0 * i);
      f.push_back((t.back() + 40.0 + 0.02 * s.back()) * s.back() * 0.0205 + 600.0);
    }
  }
  return fuelcalc::FuelMap::from_points(s, t, f, method, outside);
}

struct Points {
  std::vector<double> speed, torque;
};

// n points drawn at random inside the measured envelope.
Points inside_points(const fuelcalc::FuelMap& map, std::size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> speed(600.0, 2250.0), torque(0.0, 1120.0);
  Points p;
  while (p.speed.size() < n) {
    const double s = speed(rng), t = torque(rng);
    if (!map.inside(s, t)) continue;
    p.speed.push_back(s);
    p.torque.push_back(t);
  }
  return p;
}

constexpr std::size_t kArray = 1 << 16;

void fuel_arrays(benchmark::State& state, const fuelcalc::FuelMap& map, unsigned seed) {
  const Points p = inside_points(map, kArray, seed);
  std::vector<double> out(kArray);
  for (auto _ : state) {
    map.fuel(p.speed, p.torque, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kArray));
}

// Points a second on one thread.
void BM_FuelArray(benchmark::State& state) { fuel_arrays(state, engine_map(), 1); }
BENCHMARK(BM_FuelArray)->UseRealTime();

// The same points by the direct method, and with the policy that moves
// outside points onto the envelope (all of them inside here: the cost of the
// test alone).
void BM_FuelArrayDirect(benchmark::State& state) {
  fuel_arrays(state, engine_map(fuelcalc::Method::direct), 1);
}
BENCHMARK(BM_FuelArrayDirect)->UseRealTime();
void BM_FuelArrayDirectClamp(benchmark::State& state) {
  fuel_arrays(state, engine_map(fuelcalc::Method::direct, fuelcalc::Outside::clamp), 1);
}
BENCHMARK(BM_FuelArrayDirectClamp)->UseRealTime();

// One map shared by the threads, each with its own points; items_per_second
// is the sum over the threads.
const fuelcalc::FuelMap& shared_map() {
  static const fuelcalc::FuelMap map = engine_map();
  return map;
}
void BM_FuelArraySharedMap(benchmark::State& state) {
  fuel_arrays(state, shared_map(), 10 + static_cast<unsigned>(state.thread_index()));
}
BENCHMARK(BM_FuelArraySharedMap)->Threads(1)->Threads(2)->UseRealTime();

// The throughput script's large map: 1000 speeds of 1000 torques each, in
// random order, as text.
const std::string& million_point_text() {
  static const std::string text = [] {
    std::mt19937_64 rng(1);
    std::vector<std::string> lines;
    std::vector<int> torques(120000);
    for (int i = 0; i < 120000; ++i) torques[i] = i;
    char line[96];
    for (int i = 0; i < 1000; ++i) {
      const double n = 600.0 + 1800.0 * i / 999;
      std::shuffle(torques.begin(), torques.end(), rng);
      for (int k = 0; k < 1000; ++k) {
        const double t = torques[k] / 100.0;
        std::snprintf(line, sizeof line, "%.1f %.2f %.3f\n", n, t,
                      (t + 40.0 + 0.02 * n) * n * 0.0205 + 600.0);
        lines.emplace_back(line);
      }
    }
    std::shuffle(lines.begin(), lines.end(), rng);
    std::string all = "large generated map\nSPEED[rpm] TORQUE[Nm] FUEL[g/h]\n";
    for (const std::string& l : lines) all += l;
    return all;
  }();
  return text;
}

// The same text in a file, removed when the benchmarks end. Both are made
// before the first timed iteration.
struct MillionPointFile {
  std::string path = "/tmp/fuelcalc_library_bench_" + std::to_string(::getpid()) + ".dat";
  MillionPointFile() {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(million_point_text().data(), 1, million_point_text().size(), file);
    std::fclose(file);
  }
  ~MillionPointFile() { std::remove(path.c_str()); }
};

const std::string& million_point_file() {
  static const MillionPointFile file;
  return file.path;
}

void BM_ProgramLoadAndGrid(benchmark::State& state) {
  const std::string& file = million_point_file();
  for (auto _ : state) {
    fuelmap::MAP map;
    fuelmap::GRID grid;
    driver::LOADMAP(17, file, map);
    driver::FCGRID(grid, map);
    benchmark::DoNotOptimize(grid.GFC.data());
  }
}
BENCHMARK(BM_ProgramLoadAndGrid)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FuelMapLoad(benchmark::State& state) {
  const std::string& file = million_point_file();
  for (auto _ : state) benchmark::DoNotOptimize(fuelcalc::FuelMap::load(file));
}
BENCHMARK(BM_FuelMapLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FuelMapParse(benchmark::State& state) {
  const std::string& text = million_point_text();
  for (auto _ : state) benchmark::DoNotOptimize(fuelcalc::FuelMap::parse(text));
}
BENCHMARK(BM_FuelMapParse)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
