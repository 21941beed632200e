// The library: fuel values of arrays of points inside the map, by the grid
// and by the direct method, on one thread and on two threads sharing one map;
// the bounded policy against extrapolation, points inside and outside; and
// building a FuelMap from a one-million-point map against the program's load
// and grid.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
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

// n points drawn at random inside the measured envelope (or outside it, in
// a box of three times its size).
Points inside_points(const fuelcalc::FuelMap& map, std::size_t n, unsigned seed,
                     bool inside = true) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> speed(600.0, 2250.0), torque(0.0, 1120.0);
  std::uniform_real_distribution<double> wide_speed(-1050.0, 3900.0), wide_torque(-1120.0, 2240.0);
  Points p;
  while (p.speed.size() < n) {
    const double s = inside ? speed(rng) : wide_speed(rng);
    const double t = inside ? torque(rng) : wide_torque(rng);
    if (map.inside(s, t) != inside) continue;
    p.speed.push_back(s);
    p.torque.push_back(t);
  }
  return p;
}

constexpr std::size_t kArray = 1 << 16;

void fuel_arrays(benchmark::State& state, const fuelcalc::FuelMap& map, unsigned seed,
                 bool inside = true) {
  const Points p = inside_points(map, kArray, seed, inside);
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

// The bounded policy against extrapolation, by either method, on the same
// points inside (the cost of the policy's test and of raising values below
// 0: at most 10 % over extrapolation) and outside (the points moved onto the
// envelope, the rise above it).
void BM_FuelArrayPolicy(benchmark::State& state) {
  const auto method = static_cast<fuelcalc::Method>(state.range(0));
  const auto outside = static_cast<fuelcalc::Outside>(state.range(1));
  fuel_arrays(state, engine_map(method, outside), 1, state.range(2) != 0);
}
BENCHMARK(BM_FuelArrayPolicy)
    ->ArgNames({"direct", "policy", "inside"})
    ->ArgsProduct({{static_cast<int>(fuelcalc::Method::grid),
                    static_cast<int>(fuelcalc::Method::direct)},
                   {static_cast<int>(fuelcalc::Outside::extrapolate),
                    static_cast<int>(fuelcalc::Outside::bounded)},
                   {1, 0}})
    ->UseRealTime();

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

// Ordering a map of N points whose speeds are all not-a-numbers, random
// torques: the exact Shell sorts' arrangement, which their own exchanges take
// up to N^2 steps to reach (80,000 points took 16 s).
void BM_OrderNaNSpeeds(benchmark::State& state) {
  std::mt19937_64 rng(3);
  fuelmap::MAP file;
  file.NMAP = static_cast<int>(state.range(0));
  for (int i = 0; i < file.NMAP; ++i) {
    file.XMAP.push_back(std::numeric_limits<double>::quiet_NaN());
    file.YMAP.push_back(static_cast<double>(rng() % 1000000));
    file.FCMAP.push_back(i);
  }
  for (auto _ : state) {
    fuelmap::MAP map = file;
    fuelmap::order_map(map);
    benchmark::DoNotOptimize(map.YMAP.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OrderNaNSpeeds)
    ->Arg(80000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
