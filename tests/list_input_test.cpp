#include "textio/list_input.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using namespace std::string_literals;
using textio::kConversionError;
using textio::kReadEnd;
using textio::kReadFailure;
using textio::kReadOk;
using textio::kSyntaxError;

// The value every double item holds before a statement: an expected value
// of kKept means the statement left the item unchanged.
constexpr double kKept = -12345.5;
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string quoted(const std::string& body) { return std::string("'") + body + "'"; }

// One statement of double items over `input`. `next` is the record the
// following statement starts at (nullptr: the data is exhausted).
struct NumbersRow {
  std::string input;
  int status;
  std::vector<double> expected;
  const char* next = nullptr;
};

void expect_next_record(textio::RecordSource& source, const char* next) {
  std::string_view record;
  const textio::RecordStatus status = textio::next_record(source, record);
  if (next == nullptr) {
    EXPECT_EQ(status, textio::RecordStatus::End) << "left over: " << record;
  } else {
    ASSERT_EQ(status, textio::RecordStatus::Record);
    EXPECT_EQ(record, next);
  }
}

void check_numbers(const std::vector<NumbersRow>& rows) {
  for (const NumbersRow& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.input));
    textio::RecordSource source = textio::source_from_bytes(row.input);
    std::vector<double> values(row.expected.size(), kKept);
    std::vector<double*> items;
    for (double& v : values) items.push_back(&v);
    int stored = -1;
    EXPECT_EQ(textio::read_list_numbers(source, items, &stored), row.status);
    int expected_stored = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
      expected_stored += row.expected[i] != kKept;
      if (std::isnan(row.expected[i])) {
        EXPECT_TRUE(std::isnan(values[i])) << "item " << i << ": " << values[i];
      } else {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(values[i]),
                  std::bit_cast<std::uint64_t>(row.expected[i]))
            << "item " << i << ": " << values[i] << " expected " << row.expected[i];
      }
    }
    EXPECT_EQ(stored, expected_stored);
    expect_next_record(source, row.next);
  }
}

TEST(ListInputNumbers, SeparatorsAndRecords) {
  check_numbers({
      {"1500 45.5", kReadOk, {1500, 45.5}},
      {"1500,45.5", kReadOk, {1500, 45.5}},
      {"1500 , 45.5", kReadOk, {1500, 45.5}},
      {"1500\t45.5", kReadOk, {1500, 45.5}},
      {"1500\t,\t45.5", kReadOk, {1500, 45.5}},
      {"1500,45.5\r\nNEXT", kReadOk, {1500, 45.5}, "NEXT"},
      {"1500 45.5\r\r\nNEXT", kReadOk, {1500, 45.5}, "NEXT"},
      {"1500 \r 45.5", kReadOk, {1500, 45.5}},  // a carriage return between values is a blank
      {"1500\n45.5\nNEXT", kReadOk, {1500, 45.5}, "NEXT"},
      {"1500\n\n  \n45.5\nNEXT", kReadOk, {1500, 45.5}, "NEXT"},
      {"1 2 3\nNEXT", kReadOk, {1, 2}, "NEXT"},
      {"\n \t\n1 2\nNEXT", kReadOk, {1, 2}, "NEXT"},
      {"  1500   45.5  ", kReadOk, {1500, 45.5}},
      {"1500,\n45.5\nNEXT", kReadOk, {1500, 45.5}, "NEXT"},   // separator ends the record
      {"1500\n, 45.5\nNEXT", kReadOk, {1500, 45.5}, "NEXT"},  // separator opens the next record
      {"1500\n\n ,45.5", kReadOk, {1500, 45.5}},
  });
}

TEST(ListInputNumbers, EndOfFile) {
  check_numbers({
      {"", kReadEnd, {kKept, kKept}},
      {"\n \n\t\n", kReadEnd, {kKept, kKept}},
      {"1500", kReadEnd, {1500, kKept}},  // what was stored stays stored
      {"1500\n\n", kReadEnd, {1500, kKept}},
      {"1500,", kReadEnd, {1500, kKept}},
      {"'open quote\nstill open", kReadEnd, {kKept, kKept}},
      {"(1.5,\n", kReadEnd, {kKept, kKept}},
  });
}

TEST(ListInputNumbers, NullsAndSlash) {
  check_numbers({
      {",7", kReadOk, {kKept, 7}},
      {"5,,7\nNEXT", kReadOk, {5, kKept}, "NEXT"},
      {"5,,,7", kReadOk, {5, kKept, kKept, 7}},
      {",,7", kReadOk, {kKept, kKept, 7}},
      {", ,7", kReadOk, {kKept, kKept, 7}},
      {",\n,7", kReadOk, {kKept, kKept, 7}},  // a comma opening a record after a null
      {"1500,\n,45.5\nNEXT", kReadOk, {1500, kKept}, "NEXT"},
      {"5/", kReadOk, {5, kKept}},
      {"5 / 9\nNEXT", kReadOk, {5, kKept}, "NEXT"},
      {"/", kReadOk, {kKept, kKept}},
      {"5,/", kReadOk, {5, kKept}},
      {",/ 9", kReadOk, {kKept, kKept}},
      {"\n\n/\nNEXT", kReadOk, {kKept, kKept}, "NEXT"},
  });
}

TEST(ListInputNumbers, RepeatCounts) {
  check_numbers({
      {"2*3.5", kReadOk, {3.5, 3.5}},
      {"2*", kReadOk, {kKept, kKept}},
      {"3*1.5\nNEXT", kReadOk, {1.5, 1.5}, "NEXT"},  // unused copies are dropped
      {"2*1.5 9", kReadOk, {1.5, 1.5, 9}},
      {"2*1.5,9", kReadOk, {1.5, 1.5, 9}},
      {"1*7 2*8", kReadOk, {7, 8, 8}},
      {"2*,7", kReadOk, {kKept, kKept, 7}},  // the comma after r* is consumed
      {"2* ,7", kReadOk, {kKept, kKept, 7}},
      {"2*,,7", kReadOk, {kKept, kKept, kKept, 7}},
      {"2*\n,7", kReadOk, {kKept, kKept, 7}},
      {"1*5 3\n4", kReadOk, {5, 3, 4}},
      {"2*5/", kReadOk, {5, 5, kKept}},
      {"2*(1,9)", kReadOk, {1, 1}},
      {"2*-inf", kReadOk, {-kInf, -kInf}},
      {"007*2", kReadOk, {2, 2}},
      {"2147483647*1", kReadOk, {1, 1}},
      {"0*5", kSyntaxError, {kKept, kKept}},
      {"00*5", kSyntaxError, {kKept, kKept}},
      {"2147483648*1", kConversionError, {kKept, kKept}},
      {"99999999999999999999*1", kConversionError, {kKept, kKept}},
      {"2*/", kSyntaxError, {kKept, kKept}},
      {"2*3*4", kReadOk, {3, 3}},  // an asterisk ends the repeated number
      {"2*'x'", kConversionError, {kKept, kKept}},
      {"1.5*2", kSyntaxError, {1.5, kKept}},  // only digits form a count: 1.5, then an
      {"-2*3", kSyntaxError, {-2, kKept}},    // empty value at the asterisk
      {"2 *3", kSyntaxError, {2, kKept}},
  });
}

TEST(ListInputNumbers, NumberSyntax) {
  check_numbers({
      {"1.5x", kSyntaxError, {kKept}},
      {"1.5;2", kSyntaxError, {kKept}},
      {"abc", kSyntaxError, {kKept}},
      {"-", kSyntaxError, {kKept}},
      {"+", kSyntaxError, {kKept}},
      {".", kSyntaxError, {kKept}},
      {"1E+", kSyntaxError, {kKept}},
      {"5-", kSyntaxError, {kKept}},
      {"1.2.3", kSyntaxError, {kKept}},
      {".E5", kSyntaxError, {kKept}},
      {"E5", kSyntaxError, {kKept}},
      {"1E5E2", kSyntaxError, {kKept}},
      {"1+3E2", kSyntaxError, {kKept}},
      {"1E5.2", kSyntaxError, {kKept}},
      {"1+3+2", kSyntaxError, {kKept}},
      {"+-1", kSyntaxError, {kKept}},
      {"1E+-3", kSyntaxError, {kKept}},
      {"1N", kSyntaxError, {kKept}},
      {"1I", kSyntaxError, {kKept}},
      {"+T", kSyntaxError, {kKept}},
      {"1500\r45.5", kSyntaxError, {kKept, kKept}},  // a carriage return inside a token
      {"12\"", kSyntaxError, {kKept}},
      {"1(2", kSyntaxError, {kKept}},
      {"*5", kSyntaxError, {kKept}},
      {")", kSyntaxError, {kKept}},
      {"1) 2", kSyntaxError, {1, kKept}},
      {"\x83\x65", kSyntaxError, {kKept}},
      {"1"s + '\0', kSyntaxError, {kKept}},
      {"1 2x", kSyntaxError, {1, kKept}},
      {"1 2x", kReadOk, {1}},  // never reached
  });
}

TEST(ListInputNumbers, NumberValues) {
  check_numbers({
      {"1.5+3", kReadOk, {1500}},
      {"2.5-2", kReadOk, {0.025}},
      {"1.+3", kReadOk, {1000}},
      {"1D2", kReadOk, {100}},
      {"1q2", kReadOk, {100}},
      {"1d-2", kReadOk, {0.01}},
      {"1.5E", kReadOk, {1.5}},
      {"1.5q", kReadOk, {1.5}},
      {"+7.", kReadOk, {7}},
      {"-.5", kReadOk, {-0.5}},
      {"-0", kReadOk, {-0.0}},
      {"0.1", kReadOk, {0.1}},
      {"1E0000000000000000000000001", kReadOk, {10}},
      {"1.7976931348623158e308", kReadOk, {DBL_MAX}},
      {"4.9406564584124654e-324", kReadOk, {std::numeric_limits<double>::denorm_min()}},
      {"1e-400", kReadOk, {0.0}},
      {"-1e-400", kReadOk, {-0.0}},
      {"1e-99999999999999999999999", kReadOk, {0.0}},
      {"0e99999999999999999999999", kReadOk, {0.0}},
      {"1e999", kConversionError, {kKept}},
      {"1.8e308", kConversionError, {kKept}},
      {"-1.8e308", kConversionError, {kKept}},
      {"1e99999999999999999999999", kConversionError, {kKept}},
      {"T", kReadOk, {-1.0}},
      {"F", kReadOk, {0.0}},
      {".TRUE. .false.", kReadOk, {-1.0, 0.0}},
      {"true TORQUE", kReadOk, {-1.0, -1.0}},
      {"FUEL f", kReadOk, {0.0, 0.0}},
      {"T*2", kReadOk, {-1.0}},
      {"-inf +Infinity", kReadOk, {-kInf, kInf}},
      {"INF,1", kReadOk, {kInf, 1}},
      {"NaN -nan", kReadOk, {kNaN, kNaN}},
      {"INFO", kConversionError, {kKept}},
      {"NONE", kConversionError, {kKept}},
      {"infinityx", kConversionError, {kKept}},
      {"N", kConversionError, {kKept}},
      {"-INF*2", kConversionError, {kKept}},
  });
}

// A number token ends at an asterisk; the rest of the record is dropped once
// the statement has its values. Words and logical tokens run on past it.
TEST(ListInputNumbers, AsteriskEndsANumber) {
  check_numbers({
      {"1500 1.5*2\nNEXT", kReadOk, {1500, 1.5}, "NEXT"},
      {"1500 -2*3", kReadOk, {1500, -2}},
      {"1500 1e2*", kReadOk, {1500, 100}},
      {"1500 1.5E*", kReadOk, {1500, 1.5}},
      {"1000 10 1.5*2", kReadOk, {1000, 10, 1.5}},
      {"1.5*2 15", kSyntaxError, {1.5, kKept}},  // the second value is empty
      {"1500 5-*", kSyntaxError, {1500, kKept}},
      {"1500 inf*2", kConversionError, {1500, kKept}},
      {"1500 T*2", kReadOk, {1500, -1.0}},
  });
}

TEST(ListInputNumbers, PairsAndQuotedValues) {
  check_numbers({
      {"(1.5, 2.5) 7", kReadOk, {1.5, 7}},
      {"(1.5,2.5),7", kReadOk, {1.5, 7}},
      {"( 1.5 ,\n 2.5\n)\n7\nNEXT", kReadOk, {1.5, 7}, "NEXT"},
      {"(1.5)", kSyntaxError, {kKept}},
      {"(1.5 2.5)", kSyntaxError, {kKept}},
      {"((1,2),3)", kSyntaxError, {kKept}},
      {"(,2)", kSyntaxError, {kKept}},
      {"(1,)", kSyntaxError, {kKept}},
      {"(1.5, 1e999)", kConversionError, {kKept}},
      {"'12'", kConversionError, {kKept}},
      {"1 '12' 3\nNEXT", kConversionError, {1, kKept, kKept}, "NEXT"},
      {"'a\nb' 3\nNEXT", kConversionError, {kKept, kKept}, "NEXT"},  // read whole, then refused
      {quoted(std::string(2049, 'a')), kConversionError, {kKept}},
      {quoted(std::string(2050, 'a')), kSyntaxError, {kKept}},
  });
}

// The value a text item holds before a statement.
const std::string kOldText = "old value";

// One statement of a single text item; `expected` is the value before padding.
struct TextRow {
  std::string input;
  int status;
  std::string expected;
  const char* next = nullptr;
};

void check_text(const std::vector<TextRow>& rows) {
  for (const TextRow& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.input));
    textio::RecordSource source = textio::source_from_bytes(row.input);
    textio::FixedText item;
    textio::assign_text(item, kOldText);
    EXPECT_EQ(textio::read_list_text(source, item), row.status);
    textio::FixedText expected;
    textio::assign_text(expected, row.expected);
    EXPECT_EQ(textio::whole(item), textio::whole(expected));
    expect_next_record(source, row.next);
  }
}

TEST(ListInputText, UndelimitedValues) {
  check_text({
      {"map.dat", kReadOk, "map.dat"},
      {"my map.dat", kReadOk, "my"},
      {"C:/data/map.dat", kReadOk, "C:"},
      {"a,b", kReadOk, "a"},
      {"a\tb", kReadOk, "a"},
      {"  \tname  ", kReadOk, "name"},
      {"X Y FC\nNEXT", kReadOk, "X", "NEXT"},
      {"\n\nX Y FC\nNEXT", kReadOk, "X", "NEXT"},  // blank records before the value
      {"ab\rcd ef", kReadOk, "ab\rcd"},
      {"ab"s + '\0' + "cd", kReadOk, "ab"},
      {'\0' + "ab"s, kReadOk, ""},
      {"(abc)*2", kReadOk, "(abc)*2"},
      {"12abc", kReadOk, "12abc"},
      {"\x83\x65\x83\x58\x83\x67", kReadOk, "\x83\x65\x83\x58\x83\x67"},
      {"1.5", kReadOk, "1.5"},
  });
}

TEST(ListInputText, QuotedValues) {
  check_text({
      {"'my map.dat'", kReadOk, "my map.dat"},
      {"\"C:/data/map.dat\" rest", kReadOk, "C:/data/map.dat"},
      {"'it''s'", kReadOk, "it's"},
      {"\"say \"\"hi\"\"\"", kReadOk, "say \"hi\""},
      {"'a\"b'", kReadOk, "a\"b"},
      {"''", kReadOk, ""},
      {"''''", kReadOk, "'"},
      {"'abc\ndef'\nNEXT", kReadOk, "abcdef", "NEXT"},  // records joined with nothing
      {"'abc\n\ndef' x\nNEXT", kReadOk, "abcdef", "NEXT"},
      {"'abc'\n'def'", kReadOk, "abc", "'def'"},  // a closing quote at record end closes
      {"'abc\r\ndef'", kReadOk, "abcdef"},
      {"'abc", kReadEnd, kOldText},
      {"'abc\n", kReadEnd, kOldText},
  });
}

TEST(ListInputText, NullsSlashRepeatAndEnd) {
  check_text({
      {",", kReadOk, kOldText},
      {"/", kReadOk, kOldText},
      {" , name", kReadOk, kOldText},
      {"\nname", kReadOk, "name"},
      {"", kReadEnd, kOldText},
      {"\n \n", kReadEnd, kOldText},
      {"2*abc", kReadOk, "abc"},
      {"3*'a b'", kReadOk, "a b"},
      {"2*", kReadOk, kOldText},
      {"2* abc", kReadOk, kOldText},
      {"0*abc", kSyntaxError, kOldText},
      {"99999999999*a", kConversionError, kOldText},
      {"2*/", kSyntaxError, kOldText},
  });
}

TEST(ListInputText, LengthLimit) {
  const std::string longest(2049, 'x');
  const std::string kept(1024, 'x');
  // 2049 characters over two records, one of them a doubled quote.
  const std::string quoted_longest =
      quoted(std::string(1000, 'q') + "\n" + std::string(1000, 'q') + "''" + std::string(48, 'q'));
  check_text({
      {longest, kReadOk, kept},
      {longest + "x", kSyntaxError, kOldText},
      {quoted(longest), kReadOk, kept},
      {quoted(longest + "x"), kSyntaxError, kOldText},
      {quoted_longest, kReadOk, std::string(1024, 'q')},
      {quoted(std::string(2000, 'q') + "\n" + std::string(50, 'q')), kSyntaxError, kOldText},
      {std::string(1000, 'a') + std::string(30, 'b'), kReadOk,
       std::string(1000, 'a') + std::string(24, 'b')},
  });
}

TEST(ListInput, RefusedReadIsReadFailure) {
  const int fd = ::open("/", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  textio::RecordSource numbers = textio::source_from_descriptor(fd, false);
  double x = kKept;
  double* const items[] = {&x};
  EXPECT_EQ(textio::read_list_numbers(numbers, items), kReadFailure);
  textio::RecordSource text = textio::source_from_descriptor(fd, false);
  textio::FixedText item = textio::blank_text();
  EXPECT_EQ(textio::read_list_text(text, item), kReadFailure);
  ::close(fd);
}

// A quoted value whose records straddle a refill of a descriptor source's
// buffer: the first record nearly fills the buffer, the value's first record
// comes from what is left, and taking its second record moves the bytes and
// reads new ones over the place where the first record stood.
TEST(ListInput, QuotedValueAcrossBufferRefill) {
  testing_support::TempDir dir;
  const std::string path = dir.file("long.txt");
  std::string bytes((std::size_t{2} << 20) - 1000, ' ');
  bytes[0] = 'x';
  bytes += '\n';
  bytes += quoted(std::string(500, 'a') + "\n" + std::string(1000, 'b'));
  bytes += "\nNEXT\n";
  bytes += std::string(std::size_t{3} << 20, 'z') + "\n";
  testing_support::write_file(path, bytes);
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  textio::RecordSource source = textio::source_from_descriptor(fd, false);
  textio::FixedText item = textio::blank_text();
  ASSERT_EQ(textio::read_list_text(source, item), kReadOk);
  ASSERT_EQ(textio::read_list_text(source, item), kReadOk);
  EXPECT_EQ(textio::trim_trailing_blanks(item), std::string(500, 'a') + std::string(524, 'b'));
  expect_next_record(source, "NEXT");
  ::close(fd);
}

// Records cut by the source against a plain split at line feeds, with the
// carriage returns at the end of each record dropped (also on a last line
// without a line feed): records of every length around the short-record
// search, with carriage returns inside and at their ends, a last line with
// and without its line feed, from bytes in memory and through a descriptor.
TEST(RecordSource, CutsRecordsAsASplitAtLineFeeds) {
  std::mt19937_64 rng(41);
  testing_support::TempDir dir;
  for (int document = 0; document < 200; ++document) {
    std::string bytes;
    std::vector<std::string> expected;
    const int lines = static_cast<int>(rng() % 40);
    for (int i = 0; i < lines; ++i) {
      std::string record;
      const std::size_t length = rng() % 4 == 0 ? rng() % 200 : rng() % 48;
      for (std::size_t k = 0; k < length; ++k)
        record += rng() % 8 == 0 ? '\r' : static_cast<char>('a' + rng() % 26);
      bytes += record;
      const bool line_feed = i + 1 < lines || rng() % 2;
      if (line_feed) bytes += std::string(rng() % 3, '\r') + '\n';
      if (!line_feed && record.empty()) break;  // nothing after the last line feed: no record
      while (!record.empty() && record.back() == '\r') record.pop_back();
      expected.push_back(record);
    }
    const std::string path = dir.file("records.txt");
    testing_support::write_file(path, bytes);
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    textio::RecordSource sources[] = {textio::source_from_bytes(bytes),
                                      textio::source_from_descriptor(fd, false)};
    for (textio::RecordSource& source : sources) {
      for (const std::string& record : expected) {
        std::string_view taken;
        ASSERT_EQ(textio::next_record(source, taken), textio::RecordStatus::Record);
        ASSERT_EQ(taken, record) << testing::PrintToString(bytes);
      }
      std::string_view taken;
      EXPECT_EQ(textio::next_record(source, taken), textio::RecordStatus::End)
          << testing::PrintToString(bytes);
    }
    ::close(fd);
  }
}

}  // namespace
