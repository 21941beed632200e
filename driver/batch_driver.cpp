#include "driver/batch_driver.h"

#include <csignal>
#include <cstdint>
#include <string_view>

#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "fuelmap/point_evaluator.h"
#include "textio/endings.h"
#include "textio/fixed_text.h"
#include "textio/formats.h"
#include "textio/interrupts.h"
#include "textio/units.h"

namespace driver {
namespace {

using textio::StatusReturn;

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
    textio::write_formatted(textio::kConsoleOutput, textio::PROMPT_FMT, {prompt});
    textio::read_text(textio::kConsoleInput, StatusReturn::None, name);
  }
}

}  // namespace

int run_batch(int argc, const char* const* argv, Evaluation evaluation) {
  const textio::RoutineFrame frame("FUELCALC");
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
  fuelmap::LOADMAP(kMapUnit, textio::trim_trailing_blanks(TORQUE_FILE), map);
  fuelmap::GRID grid;
  fuelmap::FCGRID(grid, map);
  const fuelmap::PointEvaluator evaluator = evaluation == Evaluation::Precomputed
                                                ? fuelmap::prepare_evaluator(grid)
                                                : fuelmap::PointEvaluator{};

  // The input is opened and its header consumed before the output file is
  // touched, so a missing or empty input leaves any existing output intact.
  textio::open_unit(kInputUnit, textio::trim_trailing_blanks(INPUT_FILE),
                    textio::OpenStatus::Old, StatusReturn::None);
  textio::read_text(kInputUnit, StatusReturn::None, HEADER);
  textio::open_unit(kOutputUnit, textio::whole(OUTPUT_FILE), textio::OpenStatus::Unknown,
                    StatusReturn::None);
  textio::write_list(kOutputUnit, {"A", TAB, "B", TAB, "C"});

  // Records are read a block at a time so that their points are evaluated
  // together. Lines are still written in record order, and a point the
  // precomputed path does not take is evaluated by the literal procedure in
  // its turn, so a failure there comes after every line before it.
  double X = 0.0, Y = 0.0;
  double* const point[] = {&X, &Y};
  double xs[fuelmap::kBlockPoints], ys[fuelmap::kBlockPoints], fcs[fuelmap::kBlockPoints];
  // The texts X and Y were read from, for their fields of the result line;
  // none (no integer digits) for a statement of the general rules.
  textio::PlainText x_texts[fuelmap::kBlockPoints], y_texts[fuelmap::kBlockPoints];
  std::int64_t records = 0;
  const auto write_lines = [&](int count) {
    fuelmap::evaluate_points(evaluator, count, xs, ys, fcs, grid);
    for (int i = 0; i < count; ++i) {
      if (!fuelmap::takes_point(evaluator, xs[i], ys[i])) fuelmap::CALCFC(xs[i], ys[i], fcs[i], grid);
      textio::write_result(kOutputUnit, xs[i], ys[i], fcs[i], x_texts[i], y_texts[i]);
      ++records;
    }
  };
  int status = 0;
  while (status == 0) {
    int count = 0;
    try {
      while (count < fuelmap::kBlockPoints) {
        // Plain records at once; a statement of the general rules for the
        // rest. A null value there leaves X or Y as the last record set it.
        const int taken = textio::read_number_pairs(kInputUnit, fuelmap::kBlockPoints - count,
                                                    xs + count, ys + count, x_texts + count,
                                                    y_texts + count);
        if (taken > 0) {
          count += taken;
          X = xs[count - 1];
          Y = ys[count - 1];
          if (count == fuelmap::kBlockPoints) break;
        }
        status = textio::read_numbers(kInputUnit, StatusReturn::ErrorAndEnd, point);
        if (status != 0) break;
        xs[count] = X;
        ys[count] = Y;
        x_texts[count].integer_digits = y_texts[count].integer_digits = 0;
        ++count;
      }
    } catch (const textio::RunEnd&) {
      // An interrupt while waiting for input: the records already read still
      // become lines before the run ends.
      write_lines(count);
      throw;
    }
    write_lines(count);
  }

  const bool ended_normally = textio::at_end_of_file(kInputUnit);
  if (ended_normally)
    textio::write_list(textio::kConsoleOutput, {kComplete, records, kCompleteTail});
  else
    textio::write_list(textio::kConsoleOutput, {kReadError, records + 1, kReadErrorTail});

  textio::close_unit(kInputUnit);
  textio::close_unit(kOutputUnit);
  return ended_normally ? 0 : 1;
}

int run_program(int argc, const char* const* argv, Evaluation evaluation) {
  // A closed output pipe or a file size limit is reported as a write error,
  // not a silent death that leaves part of a line behind.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  textio::watch_interrupts();
  textio::hold_standard_streams();
  int status = 0;
  try {
    status = run_batch(argc, argv, evaluation);
  } catch (const textio::RunEnd& end) {
    status = end.status;
  }
  const int flush_failure = textio::close_all_units();
  return status == 0 ? flush_failure : status;
}

}  // namespace driver
