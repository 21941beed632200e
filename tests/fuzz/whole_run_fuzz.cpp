// Fuzz target: the whole batch run, in process.
//
// Input: the map file's bytes, a form feed (0x0C), then the input file's
// bytes. Without a form feed the whole input is the map and the input file is
// empty. The run is made twice, evaluating points by the precomputed path and
// by the literal procedure, each into its own output file; the execution
// aborts when the exit statuses or the output files differ.
//
// The program's console lines go to standard output and error: run the target
// with -close_fd_mask=3 to send them to /dev/null.
#include <algorithm>
#include <cstdint>
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
           driver::Evaluation evaluation) {
  const fuzzing::MemoryFile output;
  const char* const argv[] = {"fuelcalc", map.path.c_str(), input.path.c_str(), output.path.c_str(),
                              nullptr};
  const int status = driver::run_program(4, argv, evaluation);
  return {status, output.contents()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t split = std::min(bytes.find(kFormFeed), bytes.size());
  const fuzzing::MemoryFile map(bytes.substr(0, split));
  const fuzzing::MemoryFile input(bytes.substr(std::min(split + 1, bytes.size())));

  const Result precomputed = run(map, input, driver::Evaluation::Precomputed);
  const Result literal = run(map, input, driver::Evaluation::Literal);
  if (precomputed.status != literal.status || precomputed.output != literal.output) {
    const auto differs = std::mismatch(precomputed.output.begin(), precomputed.output.end(),
                                       literal.output.begin(), literal.output.end()).first;
    fuzzing::fault("whole run: precomputed path exit %d, %zu output bytes; literal procedure "
                   "exit %d, %zu output bytes; first difference at byte %td",
                   precomputed.status, precomputed.output.size(), literal.status,
                   literal.output.size(), differs - precomputed.output.begin());
  }
  return 0;
}
