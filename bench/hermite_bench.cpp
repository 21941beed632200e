// Cost of the interpolation routines at the sizes the fuel grid uses: 20
// data points, evaluated at one point (a fuel value) or at 20 ascending
// points (a grid line). Callers validate on every call, so CHECK is true.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "hermite/hermite.h"

namespace {

constexpr int kN = 20;

struct Table {
  std::vector<double> x, f, d;
};

// A fuel-like curve over 20 engine speeds: rising, flattening, then turning.
Table make_table() {
  Table t;
  for (int i = 0; i < kN; ++i) {
    const double x = 800.0 + 250.0 * i;
    t.x.push_back(x);
    t.f.push_back(200.0 + 0.05 * x - 1.2e-5 * x * x + 3.0 * std::sin(0.7 * i));
  }
  t.d.resize(kN);
  int ierr = 0;
  hermite::DPCHIM(kN, t.x.data(), t.f.data(), t.d.data(), 1, ierr);
  return t;
}

void BM_Dpchim20(benchmark::State& state) {
  Table t = make_table();
  int ierr = 0;
  for (auto _ : state) {
    hermite::DPCHIM(kN, t.x.data(), t.f.data(), t.d.data(), 1, ierr);
    benchmark::DoNotOptimize(t.d.data());
    benchmark::DoNotOptimize(ierr);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Dpchim20);

void BM_Dpchfe1(benchmark::State& state) {
  const Table t = make_table();
  const double xe = t.x[kN / 2] + 100.0;  // halfway along the table
  double fe = 0.0;
  int ierr = 0;
  for (auto _ : state) {
    bool check = true;
    hermite::DPCHFE(kN, t.x.data(), t.f.data(), t.d.data(), 1, check, 1, &xe, &fe, ierr);
    benchmark::DoNotOptimize(fe);
    benchmark::DoNotOptimize(ierr);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Dpchfe1);

void BM_Dpchfe20Ascending(benchmark::State& state) {
  const Table t = make_table();
  std::vector<double> xe(kN), fe(kN);
  for (int j = 0; j < kN; ++j) xe[j] = t.x[0] + (t.x[kN - 1] - t.x[0]) * j / (kN - 1);
  int ierr = 0;
  for (auto _ : state) {
    bool check = true;
    hermite::DPCHFE(kN, t.x.data(), t.f.data(), t.d.data(), 1, check, kN, xe.data(), fe.data(),
                    ierr);
    benchmark::DoNotOptimize(fe.data());
    benchmark::DoNotOptimize(ierr);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Dpchfe20Ascending);

}  // namespace
