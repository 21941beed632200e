// F0.d editing of result-line values: edit_fixed against std::to_chars with
// the same precision, for d = 2 and d = 3.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "textio/fixed_edit.h"

namespace {

// Values spread evenly over the decades 1e-3 to 1e6, a tenth of them negative.
std::vector<double> realistic_values() {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> decade(-3.0, 6.0);
  std::vector<double> values(4096);
  for (auto& v : values) {
    v = std::pow(10.0, decade(rng));
    if (rng() % 10 == 0) v = -v;
  }
  return values;
}

void BM_edit_fixed(benchmark::State& state) {
  const auto values = realistic_values();
  const int decimals = static_cast<int>(state.range(0));
  char buffer[textio::fixed_field_capacity(17)];
  for (auto _ : state) {
    for (double v : values) {
      benchmark::DoNotOptimize(textio::edit_fixed(v, decimals, buffer));
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}

void BM_to_chars(benchmark::State& state) {
  const auto values = realistic_values();
  const int decimals = static_cast<int>(state.range(0));
  char buffer[textio::fixed_field_capacity(17)];
  for (auto _ : state) {
    for (double v : values) {
      benchmark::DoNotOptimize(
          std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals).ptr);
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}

}  // namespace

BENCHMARK(BM_edit_fixed)->Arg(2)->Arg(3);
BENCHMARK(BM_to_chars)->Arg(2)->Arg(3);
