// Fuzz target: the whole batch run, in process.
//
// Input: the map file's bytes, a form feed (0x0C), then the input file's
// bytes. Without a form feed the whole input is the map and the input file is
// empty. The run is made twice, evaluating points by the precomputed path and
// by the literal procedure, each into its own output file; the execution
// aborts when the exit statuses or the output files differ. Then the input's
// records are moved to the end of the first block of the record loop (after
// 1024 - 16 + the input size % 32 plain records) and the run is made on one
// thread and on two; the execution aborts when they differ.
//
// The program's console lines go to standard output and error: run the target
// with -close_fd_mask=3 to send them to /dev/null.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "driver/batch_driver.h"
#include "memory_file.h"
#include "report.h"

namespace {

constexpr char kFormFeed = '\x0C';

struct Result {
  int status;
  std::string output;
};

Result run(const fuzzing::MemoryFile& map, const fuzzing::MemoryFile& input,
           driver::Evaluation evaluation, const char* threads = "1") {
  ::setenv("FUELCALC_THREADS", threads, 1);
  const fuzzing::MemoryFile output;
  const char* const argv[] = {"fuelcalc", map.path.c_str(), input.path.c_str(), output.path.c_str(),
                              nullptr};
  const int status = driver::run_program(4, argv, evaluation);
  return {status, output.contents()};
}

void expect_same(const Result& a, const Result& b, const char* what) {
  if (a.status != b.status || a.output != b.output) {
    const auto differs =
        std::mismatch(a.output.begin(), a.output.end(), b.output.begin(), b.output.end()).first;
    fuzzing::fault(
        "whole run: %s: exit %d, %zu output bytes against exit %d, %zu output bytes; first "
        "difference at byte %td",
        what, a.status, a.output.size(), b.status, b.output.size(), differs - a.output.begin());
  }
}

// The input with plain records put after its first line, so that its own
// records fall around the end of the record loop's first block.
std::string behind_plain_records(std::string_view input) {
  const std::size_t first_line = std::min(input.find('\n'), input.size());
  std::string moved(input.substr(0, first_line));
  moved += '\n';
  for (std::size_t i = 0; i < 1024 - 16 + input.size() % 32; ++i)
    moved += std::to_string(600 + i % 1800) + "." + std::to_string(i % 10) + " " +
             std::to_string(i % 700) + "\n";
  moved += input.substr(std::min(first_line + 1, input.size()));
  return moved;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t split = std::min(bytes.find(kFormFeed), bytes.size());
  const fuzzing::MemoryFile map(bytes.substr(0, split));
  const fuzzing::MemoryFile input(bytes.substr(std::min(split + 1, bytes.size())));

  const Result precomputed = run(map, input, driver::Evaluation::Precomputed);
  const Result literal = run(map, input, driver::Evaluation::Literal);
  expect_same(precomputed, literal, "precomputed path against the literal procedure");

  const fuzzing::MemoryFile moved(
      behind_plain_records(bytes.substr(std::min(split + 1, bytes.size()))));
  expect_same(run(map, moved, driver::Evaluation::Precomputed, "1"),
              run(map, moved, driver::Evaluation::Precomputed, "2"), "one thread against two");
  return 0;
}
