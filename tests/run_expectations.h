#pragma once
// What the end-to-end tests expect of the fuelcalc binary: its own texts
// (result header, closing messages, failure and run-time error reports) and
// a folder holding one run's map, input and output files.
#include <string>
#include <vector>

#include "test_support.h"

namespace testing_support {

inline const std::string kHeader = " A\tB\tC\r\n";

inline RunOptions in_folder(const std::string& cwd, const std::string& typed = "") {
  RunOptions options;
  options.cwd = cwd;
  options.input = typed;
  return options;
}

inline RunOptions unprivileged() {
  RunOptions options;
  options.drop_privileges = true;
  return options;
}

inline const std::string kBilinearMap =
    "bilinear test map\nSPEED TORQUE FUEL\n1000 10 1\n1000 20 2\n2000 10 3\n2000 20 5\n";

inline std::string complete(long count) {
  std::string field = std::to_string(count);
  return "  complete. " + std::string(22 - field.size(), ' ') + field +
         " \x83\x66\x81[\x83^\x89\x89\x8E\x5A\x8F\x49\x97\xB9\r\n";
}

inline std::string read_error(long ordinal) {
  std::string field = std::to_string(ordinal);
  return "  \x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x83\x47\x83\x89\x81[ at " +
         std::string(22 - field.size(), ' ') + field +
         " \x94\xD4\x96\xDA\x83\x66\x81[\x83^. \x8F\x49\x97\xB9\x81\x44\r\n";
}

inline std::string failure_report(const std::string& message, int ierr) {
  std::string value = std::to_string(ierr);
  return message + std::string(1024 - message.size(), ' ') + "\r\n" +
         "ierr = " + std::string(12 - value.size(), ' ') + value + "\r\n" +
         " Terminated by error of Hermite function. Check input fuel map.\r\n";
}

inline const std::string kTraceHeading =
    "Image              PC        Routine            Line        Source             \r\n";

inline std::string trace_line(const std::string& routine) {
  return "fuelcalc          Unknown  " + routine + std::string(17 - routine.size(), ' ') +
         "    Unknown Unknown\r\n";
}

// First line of a run-time error report and the trace of the given routines,
// innermost first.
inline std::string runtime_report(const std::string& first_lines,
                                  const std::vector<std::string>& trace) {
  std::string report = first_lines + kTraceHeading;
  for (const auto& routine : trace) report += trace_line(routine);
  return report;
}

struct RunFolder {
  TempDir dir;
  RunResult result;
  std::string map, input, output;

  RunFolder()
      : map(dir.file("map.dat")), input(dir.file("input.dat")), output(dir.file("out.dat")) {}

  void go(const std::string& map_text, const std::string& input_text) {
    write_file(map, map_text);
    write_file(input, input_text);
    result = run_fuelcalc({map, input, output});
  }
  std::string out_file() const { return read_file(output); }
};

}  // namespace testing_support
