// Reading input records of two doubles from memory with the list-directed
// reader; items per second are records per second. The general_ variants
// read the same records with the general statement alone, the runs_ variants
// take runs of plain records at once (read_plain_pairs), as the program does.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

#include "textio/list_input.h"
#include "textio/list_input_general.h"
#include "textio/plain_values.h"

namespace {

constexpr int kRecords = 100'000;

enum class Layout { Blanks, CommaCrLf, Tabs, Aligned, SignedDecimals, ThreeValues, LongDigits };

// Records like "1234.56 78.901", "1234.56,78.901\r\n", "1234.56\t78.901",
// right-aligned columns "  1234.6    78.9", "-1234.5678 -98.76543", three
// values "1234.56 78.901 5.5" of which two are read, or 20 significant
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
        std::snprintf(line, sizeof line, "%llu.%02llu %llu.%03llu\n", a / 100, a % 100, b / 1000,
                      b % 1000);
        break;
      case Layout::CommaCrLf:
        std::snprintf(line, sizeof line, "%llu.%02llu,%llu.%03llu\r\n", a / 100, a % 100, b / 1000,
                      b % 1000);
        break;
      case Layout::Tabs:
        std::snprintf(line, sizeof line, "%llu.%02llu\t%llu.%03llu\n", a / 100, a % 100, b / 1000,
                      b % 1000);
        break;
      case Layout::Aligned:
        std::snprintf(line, sizeof line, "%8.1f%8.1f\n", static_cast<double>(a) / 100,
                      static_cast<double>(b) / 1000);
        break;
      case Layout::SignedDecimals:
        std::snprintf(line, sizeof line, "-%llu.%04llu -%llu.%05llu\n", a / 100, a % 10'000,
                      b / 10'000, b % 100'000);
        break;
      case Layout::ThreeValues:
        std::snprintf(line, sizeof line, "%llu.%02llu %llu.%03llu %llu.5\n", a / 100, a % 100,
                      b / 1000, b % 1000, a % 100);
        break;
      case Layout::LongDigits: {
        const auto a_fraction = static_cast<unsigned long long>(rng() % 10'000'000'000'000'000);
        const auto b_fraction = static_cast<unsigned long long>(rng() % 100'000'000'000'000'000);
        std::snprintf(line, sizeof line, "%llu.%016llu %llu.%017llu\n", a % 10'000, a_fraction,
                      b % 1000, b_fraction);
        break;
      }
    }
    bytes += line;
  }
  return bytes;
}

// general: read with the general statement alone.
void read_records(benchmark::State& state, Layout layout, bool general = false) {
  textio::RecordSource source = textio::source_from_bytes(make_records(layout));
  double x = 0;
  double y = 0;
  double* const items[] = {&x, &y};
  for (auto _ : state) {
    textio::rewind_source(source);
    int records = 0;
    while ((general ? textio::read_list_numbers_general(source, items)
                    : textio::read_list_numbers(source, items)) == textio::kReadOk) {
      ++records;
    }
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(y);
    if (records != kRecords) state.SkipWithError("not every record was read");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

// Runs of up to 1024 records at once, a statement for each record a run
// stops at.
void read_runs(benchmark::State& state, Layout layout) {
  textio::RecordSource source = textio::source_from_bytes(make_records(layout));
  constexpr int kRun = 1024;
  static double xs[kRun], ys[kRun];
  static textio::PlainText x_texts[kRun], y_texts[kRun];
  double* const items[] = {&xs[0], &ys[0]};
  for (auto _ : state) {
    textio::rewind_source(source);
    int records = 0;
    for (;;) {
      records += textio::read_plain_pairs(source, kRun, xs, ys, x_texts, y_texts);
      if (textio::read_list_numbers(source, items) != textio::kReadOk) break;
      ++records;
    }
    benchmark::DoNotOptimize(xs);
    if (records != kRecords) state.SkipWithError("not every record was read");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_read_blank_separated(benchmark::State& state) { read_records(state, Layout::Blanks); }
void BM_runs_blank_separated(benchmark::State& state) { read_runs(state, Layout::Blanks); }
void BM_runs_comma_crlf(benchmark::State& state) { read_runs(state, Layout::CommaCrLf); }
void BM_read_comma_crlf(benchmark::State& state) { read_records(state, Layout::CommaCrLf); }
void BM_read_tabs(benchmark::State& state) { read_records(state, Layout::Tabs); }
void BM_read_aligned(benchmark::State& state) { read_records(state, Layout::Aligned); }
void BM_read_signed_decimals(benchmark::State& state) {
  read_records(state, Layout::SignedDecimals);
}
void BM_read_three_values(benchmark::State& state) { read_records(state, Layout::ThreeValues); }
void BM_read_long_digits(benchmark::State& state) { read_records(state, Layout::LongDigits); }
void BM_general_blank_separated(benchmark::State& state) {
  read_records(state, Layout::Blanks, true);
}
void BM_general_comma_crlf(benchmark::State& state) {
  read_records(state, Layout::CommaCrLf, true);
}

BENCHMARK(BM_read_blank_separated);
BENCHMARK(BM_read_comma_crlf);
BENCHMARK(BM_read_tabs);
BENCHMARK(BM_read_aligned);
BENCHMARK(BM_read_signed_decimals);
BENCHMARK(BM_read_three_values);
BENCHMARK(BM_read_long_digits);
BENCHMARK(BM_general_blank_separated);
BENCHMARK(BM_general_comma_crlf);
BENCHMARK(BM_runs_blank_separated);
BENCHMARK(BM_runs_comma_crlf);

}  // namespace
