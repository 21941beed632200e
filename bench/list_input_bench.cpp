// Reading input records of two doubles from memory with the list-directed
// reader; items per second are records per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

#include "textio/list_input.h"

namespace {

constexpr int kRecords = 100'000;

enum class Layout { Blanks, CommaCrLf, LongDigits };

// Records like "1234.56 78.901", "1234.56,78.901\r\n", or with 20 significant
// digits per value, which the exact shortcut cannot take.
std::string make_records(Layout layout) {
  std::mt19937_64 rng(3);
  std::string bytes;
  char line[96];
  for (int i = 0; i < kRecords; ++i) {
    const auto a = static_cast<unsigned long long>(rng() % 1'000'000);
    const auto b = static_cast<unsigned long long>(rng() % 1'000'000);
    switch (layout) {
      case Layout::Blanks:
        std::snprintf(line, sizeof line, "%llu.%02llu %llu.%03llu\n", a / 100, a % 100, b / 1000, b % 1000);
        break;
      case Layout::CommaCrLf:
        std::snprintf(line, sizeof line, "%llu.%02llu,%llu.%03llu\r\n", a / 100, a % 100, b / 1000, b % 1000);
        break;
      case Layout::LongDigits: {
        const auto a_fraction = static_cast<unsigned long long>(rng() % 10'000'000'000'000'000);
        const auto b_fraction = static_cast<unsigned long long>(rng() % 100'000'000'000'000'000);
        std::snprintf(line, sizeof line, "%llu.%016llu %llu.%017llu\n", a % 10'000, a_fraction, b % 1000,
                      b_fraction);
        break;
      }
    }
    bytes += line;
  }
  return bytes;
}

void read_records(benchmark::State& state, Layout layout) {
  textio::RecordSource source = textio::source_from_bytes(make_records(layout));
  double x = 0;
  double y = 0;
  double* const items[] = {&x, &y};
  for (auto _ : state) {
    textio::rewind_source(source);
    int records = 0;
    while (textio::read_list_numbers(source, items) == textio::kReadOk) ++records;
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(y);
    if (records != kRecords) state.SkipWithError("not every record was read");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_read_blank_separated(benchmark::State& state) { read_records(state, Layout::Blanks); }
void BM_read_comma_crlf(benchmark::State& state) { read_records(state, Layout::CommaCrLf); }
void BM_read_long_digits(benchmark::State& state) { read_records(state, Layout::LongDigits); }

BENCHMARK(BM_read_blank_separated);
BENCHMARK(BM_read_comma_crlf);
BENCHMARK(BM_read_long_digits);

}  // namespace
