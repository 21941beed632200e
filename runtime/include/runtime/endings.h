#pragma once
// How a run ends: normal end, stop, or run-time error report. Every ending
// unwinds to the program's entry point as a RunEnd carrying the exit status,
// where all units are flushed and closed.
#include <string_view>

namespace runtime {

struct RunEnd {
  int status;  // process exit status
};

// Writes message (if not empty) to the error output as one record, then ends
// the run with the given exit status.
[[noreturn]] void stop(std::string_view message, int status);

// Writes the run-time error report for message `number` and ends the run with
// that number as exit status. os_text, when given, is written first as its own
// "sysrun: " line. The unit fills the report's unit and file insertions.
[[noreturn]] void runtime_error(int number, int unit, std::string_view os_text = {});

// Run-time errors whose text names no unit (storage).
[[noreturn]] void runtime_error(int number);

// Marks a routine as active for the stack trace of a run-time error report.
struct RoutineFrame {
  explicit RoutineFrame(const char* name);
  ~RoutineFrame();
  RoutineFrame(const RoutineFrame&) = delete;
  RoutineFrame& operator=(const RoutineFrame&) = delete;
};

}  // namespace runtime
