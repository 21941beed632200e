#include "runtime/endings.h"

#include <unistd.h>

#include <algorithm>
#include <string>

#include "runtime/unit_table.h"
#include "runtime/units.h"

namespace runtime {
namespace {

// Message texts; %d is the unit number, %s the unit's file name.
std::string_view message_text(int number) {
  switch (number) {
    case 9: return "permission to access file denied, unit %d, file %s";
    case 24: return "end-of-file during read, unit %d, file %s";
    case 29: return "file not found, unit %d, file %s";
    case 30: return "open failure, unit %d, file %s";
    case 38: return "error during write, unit %d, file %s";
    case 39: return "error during read, unit %d, file %s";
    case 41: return "insufficient virtual memory";
    case 42: return "no such device, unit %d, file %s";
    case 43: return "file name specification error, unit %d, file %s";
    case 47: return "write to READONLY file, unit %d, file %s";
    case 59: return "syntax error in list-directed input, unit %d, file %s";
    case 64: return "conversion error in list-directed input, unit %d, file %s";
    case 179: return "Cannot allocate array - overflow on array size calculation.";
    default: return "unexpected error, unit %d, file %s";
  }
}

void pad_right(std::string& line, std::string_view field, std::size_t width) {
  line += field;
  if (field.size() < width) line.append(width - field.size(), ' ');
}

void pad_left(std::string& line, std::string_view field, std::size_t width) {
  if (field.size() < width) line.append(width - field.size(), ' ');
  line += field;
}

// The stack trace: a heading, then the active routines, innermost first. The
// program keeps no code addresses, line numbers or source names, so those
// fields say Unknown.
void append_stack_trace(std::string& report) {
  pad_right(report, "Image", 19);
  pad_right(report, "PC", 10);
  pad_right(report, "Routine", 19);
  pad_right(report, "Line", 12);
  pad_right(report, "Source", 19);
  report += "\r\n";
  const auto& routines = unit_table().routines;
  for (auto it = routines.rbegin(); it != routines.rend(); ++it) {
    pad_right(report, "fuelcalc", 17);
    report += ' ';
    pad_right(report, "Unknown", 8);
    report += ' ';
    pad_right(report, *it, 17);
    report += ' ';
    pad_left(report, "Unknown", 10);
    report += ' ';
    report += "Unknown";
    report += "\r\n";
  }
}

[[noreturn]] void report_and_end(int number, const std::string* unit_insertions,
                                 std::string_view os_text) {
  std::string report;
  if (!os_text.empty()) {
    report += "sysrun: ";
    report += os_text;
    report += "\r\n";
  }
  report += "sysrun: severe (" + std::to_string(number) + "): ";
  const std::string_view text = message_text(number);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (unit_insertions && text[i] == '%' && i + 1 < text.size()) {
      report += unit_insertions[text[i + 1] == 'd' ? 0 : 1];
      ++i;
    } else {
      report += text[i];
    }
  }
  report += "\r\n";
  append_stack_trace(report);

  // Whatever the error output still holds goes out first, in order.
  if (Unit* errors = find_unit(kErrorOutput)) flush_unit(*errors);
  std::size_t done = 0;
  while (done < report.size()) {
    const ssize_t n = ::write(2, report.data() + done, report.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  throw RunEnd{number};
}

}  // namespace

void stop(std::string_view message, int status) {
  if (!message.empty()) {
    char* record = begin_record(kErrorOutput, message.size());
    end_record(kErrorOutput, std::copy(message.begin(), message.end(), record), true);
  }
  throw RunEnd{status};
}

void runtime_error(int number, int unit, std::string_view os_text) {
  const std::string insertions[2] = {std::to_string(unit), unit_file_name(unit)};
  report_and_end(number, insertions, os_text);
}

void runtime_error(int number) { report_and_end(number, nullptr, {}); }

RoutineFrame::RoutineFrame(const char* name) { unit_table().routines.push_back(name); }

RoutineFrame::~RoutineFrame() { unit_table().routines.pop_back(); }

}  // namespace runtime
