// The failure report: its three lines on the error output and its exit status.
#include <gtest/gtest.h>

#include <string>

#include "driver/reporting.h"
#include "test_support.h"

namespace {

// Calls HERMERR and returns what reached standard error and the exit status
// the run would end with.
testing_support::Ending run_hermerr(int icall, int ierr) {
  return testing_support::capture_ending([&] { driver::HERMERR(icall, ierr); });
}

std::string expected_report(const std::string& message, const std::string& ierr_field) {
  return message + std::string(1024 - message.size(), ' ') + "\r\n" + "ierr = " + ierr_field +
         "\r\n" + " Terminated by error of Hermite function. Check input fuel map.\r\n";
}

struct Case {
  int icall;
  int ierr;
  const char* message;
  const char* ierr_field;  // 12 columns, right-justified
};

TEST(Hermerr, WritesThreeLinesAndEndsWithStatusOne) {
  const Case cases[] = {
      {1, -3, "Error : DPCHIM ( called from FCGRID, 1st )", "          -3"},
      {2, -5, "Error : DPCHFE ( called from FCGRID, 1st )", "          -5"},
      {3, -1, "Error : DPCHIM ( called from FCGRID, 2nd )", "          -1"},
      {4, -4, "Error : DPCHFE ( called from FCGRID, 2nd )", "          -4"},
      {5, -2, "Error : DPCHIM ( called from CALCFC, 1st )", "          -2"},
      {6, -5, "Error : DPCHFE ( called from CALCFC, 1st )", "          -5"},
      {7, -3, "Error : DPCHIM ( called from CALCFC, 2nd )", "          -3"},
      {8, -2147483647 - 1, "Error : DPCHFE ( called from CALCFC, 2nd )", " -2147483648"},
  };
  for (const Case& c : cases) {
    const auto report = run_hermerr(c.icall, c.ierr);
    EXPECT_EQ(report.err, expected_report(c.message, c.ierr_field)) << "code " << c.icall;
    // A failed interpolation must not look like success to the calling script.
    EXPECT_EQ(report.status, 1) << "code " << c.icall;
  }
}

TEST(Hermerr, UnknownCodeWritesABlankFirstLine) {
  const auto report = run_hermerr(9, -1);
  EXPECT_EQ(report.err, expected_report("", "          -1"));
  EXPECT_EQ(report.status, 1);
}

}  // namespace
