#include "driver/batch_driver.h"

#include <csignal>
#include <cstdint>
#include <string_view>

#include "driver/record_loop.h"
#include "driver/reporting.h"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "fuelmap/point_evaluator.h"
#include "runtime/endings.h"
#include "runtime/formats.h"
#include "runtime/interrupts.h"
#include "runtime/storage.h"
#include "runtime/units.h"
#include "textio/fixed_text.h"

namespace driver {
namespace {

using runtime::StatusReturn;

constexpr int kMapUnit = 17;
constexpr int kInputUnit = 10;
constexpr int kOutputUnit = 11;
constexpr std::string_view TAB = "\t";

// Closing texts, as code page 932 bytes.
constexpr std::string_view kComplete = " complete. ";
constexpr std::string_view kCompleteTail =
    "\x83\x66\x81[\x83^\x89\x89\x8E\x5A\x8F\x49\x97\xB9";  // データ演算終了
constexpr std::string_view kReadError =
    " \x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x83\x47\x83\x89\x81[ at ";  // " 読み込みエラー at "
constexpr std::string_view kReadErrorTail =
    "\x94\xD4\x96\xDA\x83\x66\x81[\x83^. \x8F\x49\x97\xB9\x81\x44";  // 番目データ. 終了．

// Asks on the console until the name is not blank. An empty answer line
// moves on to the next line; "," or "/" leaves the name blank and asks again.
void settle_name(textio::FixedText& name, std::string_view prompt) {
  while (textio::is_blank(name)) {
    runtime::write_formatted(runtime::kConsoleOutput, runtime::PROMPT_FMT, {prompt});
    runtime::read_text(runtime::kConsoleInput, StatusReturn::None, name);
  }
}

int batch(int argc, const char* const* argv, Evaluation evaluation) {
  textio::FixedText TORQUE_FILE = textio::blank_text();
  textio::FixedText INPUT_FILE = textio::blank_text();
  textio::FixedText OUTPUT_FILE = textio::blank_text();
  textio::FixedText HEADER = textio::blank_text();
  if (argc > 1) textio::assign_text(TORQUE_FILE, argv[1]);
  if (argc > 2) textio::assign_text(INPUT_FILE, argv[2]);
  if (argc > 3) textio::assign_text(OUTPUT_FILE, argv[3]);

  settle_name(TORQUE_FILE, "TYPE FILENAME FOR TORQUEMAP : ");
  settle_name(INPUT_FILE, "TYPE FILENAME FOR INPUT : ");
  settle_name(OUTPUT_FILE, "TYPE FILENAME FOR OUTPUT : ");

  fuelmap::MAP map;
  driver::LOADMAP(kMapUnit, textio::trim_trailing_blanks(TORQUE_FILE), map);
  fuelmap::GRID grid;
  driver::FCGRID(grid, map);
  const fuelmap::PointEvaluator evaluator = evaluation == Evaluation::Precomputed
                                                ? fuelmap::prepare_evaluator(grid)
                                                : fuelmap::PointEvaluator{};

  // The input is opened and its header consumed before the output file is
  // touched, so a missing or empty input leaves any existing output intact.
  runtime::open_unit(kInputUnit, textio::trim_trailing_blanks(INPUT_FILE), runtime::OpenStatus::Old,
                     StatusReturn::None);
  runtime::read_text(kInputUnit, StatusReturn::None, HEADER);
  runtime::open_unit(kOutputUnit, textio::whole(OUTPUT_FILE), runtime::OpenStatus::Unknown,
                     StatusReturn::None);
  runtime::write_list(kOutputUnit, {"A", TAB, "B", TAB, "C"});

  const std::int64_t records =
      run_record_loop(kInputUnit, kOutputUnit, evaluator, grid, record_loop_threads());

  const bool ended_normally = runtime::at_end_of_file(kInputUnit);
  if (ended_normally)
    runtime::write_list(runtime::kConsoleOutput, {kComplete, records, kCompleteTail});
  else
    runtime::write_list(runtime::kConsoleOutput, {kReadError, records + 1, kReadErrorTail});

  runtime::close_unit(kInputUnit);
  runtime::close_unit(kOutputUnit);
  return ended_normally ? 0 : 1;
}

}  // namespace

int run_batch(int argc, const char* const* argv, Evaluation evaluation) {
  const runtime::RoutineFrame frame("FUELCALC");
  // Storage that cannot be had outside the map and grid routines (a record
  // too long to hold, met in the header or in the record loop) ends the run
  // as for those arrays, once the lines of the records before it are written.
  return runtime::reporting_storage_failures([&] { return batch(argc, argv, evaluation); });
}

int run_program(int argc, const char* const* argv, Evaluation evaluation) {
  // A closed output pipe or a file size limit is reported as a write error,
  // not a silent death that leaves part of a line behind.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  runtime::watch_interrupts();
  runtime::hold_standard_streams();
  int status = 0;
  try {
    status = run_batch(argc, argv, evaluation);
  } catch (const runtime::RunEnd& end) {
    status = end.status;
  }
  const int flush_failure = runtime::close_all_units();
  return status == 0 ? flush_failure : status;
}

}  // namespace driver
