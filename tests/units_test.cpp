// Unit rules: names shown in messages, reading a stream that cannot seek
// twice, the end-of-file inquiry, and the cut of an existing output file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "runtime/formats.h"
#include "runtime/units.h"
#include "test_support.h"

namespace {

using runtime::OpenStatus;
using runtime::StatusReturn;
using testing_support::TempDir;

std::string cwd() {
  char buffer[4096];
  return ::getcwd(buffer, sizeof buffer);
}

TEST(Units, FullPathNames) {
  const std::string here = cwd();
  const std::string long_name(300, 'n');
  const struct {
    std::string name, shown;
  } cases[] = {
      {"map.dat", here + "/map.dat"},
      {"  map.dat   ", here + "/map.dat"},
      {"./data//map.dat", here + "/data/map.dat"},
      {"/tmp/a/../b/./c.dat", "/tmp/b/c.dat"},
      {"/", "/"},
      {std::string("out.dat") + '\0' + "  ", here + "/out.dat"},
      {long_name, long_name},  // the full path would pass 256 characters
  };
  for (const auto& c : cases) EXPECT_EQ(runtime::full_path_name(c.name), c.shown) << c.name;
}

TEST(Units, RewindReplaysAStreamThatCannotSeek) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string text = "title\ncolumns\n1 2 3\n4 5 6\n";
  ASSERT_EQ(::write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(fds[1]);
  const int unit = 17;
  ASSERT_EQ(runtime::open_unit(unit, "/proc/self/fd/" + std::to_string(fds[0]), OpenStatus::Old,
                               StatusReturn::Error, true),
            0);
  for (int pass = 0; pass < 2; ++pass) {
    textio::FixedText header = textio::blank_text();
    EXPECT_EQ(runtime::read_text(unit, StatusReturn::Error, header), 0);
    EXPECT_EQ(textio::trim_trailing_blanks(header), "title");
    EXPECT_EQ(runtime::read_text(unit, StatusReturn::Error, header), 0);
    double a = 0, b = 0, c = 0;
    double* const items[] = {&a, &b, &c};
    EXPECT_EQ(runtime::read_numbers(unit, StatusReturn::ErrorAndEnd, items), 0);
    EXPECT_EQ(a + b + c, 6.0);
    EXPECT_EQ(runtime::read_numbers(unit, StatusReturn::ErrorAndEnd, items), 0);
    EXPECT_EQ(a + b + c, 15.0);
    EXPECT_EQ(runtime::read_numbers(unit, StatusReturn::ErrorAndEnd, items), -1);
    EXPECT_TRUE(runtime::at_end_of_file(unit));
    runtime::rewind_unit(unit);
    EXPECT_FALSE(runtime::at_end_of_file(unit));
  }
  runtime::close_unit(unit);
  ::close(fds[0]);
}

TEST(Units, EndOfFileInquiryAfterAFailedRead) {
  TempDir dir;
  const struct {
    std::string text;
    bool at_end;
  } cases[] = {{"1 2\nabc\n", true},
               {"1 2\nabc", true},
               {"1 2\nabc\n3 4\n", false},
               {"1 2\nabc\n\n", false},
               {"1 2\nabc\r\n", true}};
  const int unit = 10;
  for (const auto& c : cases) {
    testing_support::write_file(dir.file("in"), c.text);
    ASSERT_EQ(runtime::open_unit(unit, dir.file("in"), OpenStatus::Old, StatusReturn::None), 0);
    double x = 0, y = 0;
    double* const items[] = {&x, &y};
    EXPECT_EQ(runtime::read_numbers(unit, StatusReturn::ErrorAndEnd, items), 0);
    EXPECT_EQ(runtime::read_numbers(unit, StatusReturn::ErrorAndEnd, items), 59);
    EXPECT_EQ(runtime::at_end_of_file(unit), c.at_end) << c.text;
    runtime::close_unit(unit);
  }
}

TEST(Units, OutputFileHoldsExactlyThisRunsRecords) {
  TempDir dir;
  const std::string path = dir.file("out");
  testing_support::write_file(path, std::string(10000, 'x'));
  const int unit = 11;
  ASSERT_EQ(runtime::open_unit(unit, path + "   ", OpenStatus::Unknown, StatusReturn::None), 0);
  runtime::write_formatted(unit, runtime::RESULT_FMT, {1.0, "\t", 2.0, "\t", -0.0004});
  runtime::write_list(unit, {" complete. ", std::int64_t{0}, "x"});
  runtime::close_unit(unit);
  EXPECT_EQ(testing_support::read_file(path),
            "1.00\t2.000\t0.000\r\n  complete.                      0 x\r\n");
}

}  // namespace
