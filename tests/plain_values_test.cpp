// The plain reading of common records against the general statement: the
// reader (which tries the plain reading first) and the general statement
// alone read the same bytes, and every statement must end alike: returned
// status, items stored, the bits of every item, and where the next
// statement starts.
#include "textio/plain_values.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"
#include "textio/fixed_edit.h"
#include "textio/list_input.h"
#include "textio/list_input_general.h"

namespace {

using namespace std::string_literals;

constexpr int kCountDivisor = testing_support::kSanitized ? 10 : 1;

// --- What the plain reading takes and what it leaves to the general rules.

constexpr double kOld = -12345.5;

struct PlainRow {
  std::string record;
  std::vector<double> expected;  // empty: declined, nothing stored
  std::size_t items = 2;
};

void check_plain(const std::vector<PlainRow>& rows) {
  for (const PlainRow& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.record));
    // The record in a buffer that can be read well past it, and at the very
    // end of readable memory (the copied case).
    const std::string padded = row.record + std::string(64, '9');
    const std::string_view records[] = {std::string_view(padded).substr(0, row.record.size()),
                                        row.record};
    const char* const readable_ends[] = {padded.data() + padded.size(),
                                         row.record.data() + row.record.size()};
    for (int i = 0; i < 2; ++i) {
      std::vector<double> values(row.items, kOld);
      std::vector<double*> items;
      for (double& v : values) items.push_back(&v);
      const bool taken = textio::read_plain_values(records[i], readable_ends[i], items);
      EXPECT_EQ(taken, !row.expected.empty());
      const std::vector<double> expected =
          row.expected.empty() ? std::vector<double>(row.items, kOld) : row.expected;
      for (std::size_t k = 0; k < values.size(); ++k) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(values[k]),
                  std::bit_cast<std::uint64_t>(expected[k]))
            << "item " << k << ": " << values[k];
      }
    }
  }
}

TEST(PlainValues, TakesCommonRecords) {
  check_plain({
      {"1500.00 45.5", {1500, 45.5}},
      {"1523.4\t312.75", {1523.4, 312.75}},
      {"1500,45.5", {1500, 45.5}},
      {"  623.2   39.5", {623.2, 39.5}},
      {"1500 , 45.5", {1500, 45.5}},
      {"\t1500\t,\t45.5\t", {1500, 45.5}},
      {"-12.125 +3", {-12.125, 3}},
      {"-0 .5", {-0.0, 0.5}},
      {"5. -.25", {5, -0.25}},
      {"1 2 3", {1, 2}},
      {"1 2 x/*'", {1, 2}},  // what follows the last value is not looked at
      {"1,2,", {1, 2}},
      {"1 2", {1}, 1},
      {"1 2 3", {1, 2, 3}, 3},
      {"1234567.1234567 0.1", {1234567.1234567, 0.1}},  // fifteen characters of mantissa
      {"123456789012345 9", {123456789012345.0, 9}},
      {"-0.0000000000001 1", {-1e-13, 1}},
  });
}

// A declined record leaves every item as it was, also when its first
// values are plain.
TEST(PlainValues, DeclinesWithoutStoring) {
  check_plain({
      {"", {}},
      {"1500", {}},  // the list goes on in the next record
      {"1500,", {}},
      {",7 1", {}},  // a null value
      {"5,,7", {}},
      {"5 / 7", {}},
      {"2*3.5", {}},
      {"1500 1.5*2", {}},  // an asterisk ends a number, for the general rules
      {"1500 -2*3", {}},
      {"1.5E3 1", {}},
      {"1500\r45.5", {}},  // a carriage return inside the record
      {"1 2 1.2.3", {}, 3},
      {"1234567890123456 1", {}},  // sixteen characters of mantissa
      {"1 2", {}, textio::kPlainItemsMax + 1},
  });
}

// --- Differential runs over generated records.

// Statements of double items over the same bytes, read by the reader and
// by the general statement alone.
struct Pair {
  textio::RecordSource reader;
  textio::RecordSource general;
};

struct Tally {
  long statements = 0;
  long plain = 0;  // statements whose first record the plain reading took
  int mismatches = 0;
};

// The record that starts at `offset` in the source's buffer, as the record
// source cuts it (without line feed and trailing carriage returns).
std::string_view record_at(const textio::RecordSource& source, std::size_t offset) {
  const std::string_view data(source.buffer.data(), source.filled);
  std::size_t end = data.find('\n', offset);
  if (end == std::string_view::npos) end = data.size();
  std::size_t length = end - offset;
  while (length > 0 && data[offset + length - 1] == '\r') --length;
  return data.substr(offset, length);
}

// Runs statements with item counts drawn from rng until the data ends (or
// a read fails), comparing each outcome. The items start each statement
// with the same random bits on both sides.
void compare_statements(Pair& pair, std::mt19937_64& rng, Tally& tally) {
  for (;;) {
    const std::size_t count = rng() % 16 == 0 ? rng() % 10 : 1 + rng() % 3;
    std::vector<double> reader_values(count);
    for (double& v : reader_values) v = std::bit_cast<double>(rng());
    std::vector<double> general_values = reader_values;
    std::vector<double*> reader_items;
    std::vector<double*> general_items;
    for (std::size_t i = 0; i < count; ++i) {
      reader_items.push_back(&reader_values[i]);
      general_items.push_back(&general_values[i]);
    }

    // The statement's first record, and whether the plain reading takes it;
    // only for bytes held whole, whose buffer never moves.
    const std::size_t start = pair.general.next;
    const bool whole = pair.general.fd < 0;
    const std::string_view first_record =
        whole ? record_at(pair.general, start) : std::string_view();
    if (whole && start < pair.general.filled) {
      std::vector<double> plain_values(count);
      std::vector<double*> plain_items;
      for (double& v : plain_values) plain_items.push_back(&v);
      const char* const readable_end = pair.general.buffer.data() + pair.general.buffer.size();
      if (textio::read_plain_values(first_record, readable_end, plain_items)) ++tally.plain;
    }
    int reader_stored = -1;
    int general_stored = -1;
    const int reader_status = textio::read_list_numbers(pair.reader, reader_items, &reader_stored);
    const int general_status =
        textio::read_list_numbers_general(pair.general, general_items, &general_stored);
    ++tally.statements;

    bool same = reader_status == general_status && reader_stored == general_stored &&
                pair.reader.next == pair.general.next;
    for (std::size_t i = 0; i < count; ++i) {
      same = same && std::bit_cast<std::uint64_t>(reader_values[i]) ==
                         std::bit_cast<std::uint64_t>(general_values[i]);
    }
    if (!same) {
      ++tally.mismatches;
      ADD_FAILURE() << "statement of " << count << " items at offset " << start << ": "
                    << testing::PrintToString(std::string(first_record)) << "\nreader:  status "
                    << reader_status << ", stored " << reader_stored << ", next "
                    << pair.reader.next << "\ngeneral: status " << general_status << ", stored "
                    << general_stored << ", next " << pair.general.next;
      if (tally.mismatches >= 10) return;
    }
    if (general_status == textio::kReadEnd || general_status == textio::kReadFailure) return;
  }
}

// Pieces of generated records.

std::string digits(std::mt19937_64& rng, std::size_t count) {
  std::string s;
  for (std::size_t i = 0; i < count; ++i) s += static_cast<char>('0' + rng() % 10);
  return s;
}

std::size_t digit_count(std::mt19937_64& rng) {
  switch (rng() % 8) {
    case 0: return 0;
    case 1: return 8 + rng() % 14;  // around and past what the plain reading takes
    default: return 1 + rng() % 5;
  }
}

std::string plain_number(std::mt19937_64& rng) {
  std::string s;
  switch (rng() % 8) {
    case 0: s += '-'; break;
    case 1: s += '+'; break;
    default: break;
  }
  s += digits(rng, digit_count(rng));
  if (rng() % 5 != 0) s += '.' + digits(rng, digit_count(rng));
  if (s.empty() || s == "-" || s == "+") s += '7';
  return s;
}

// Whole tokens the general rules read some other way, or refuse.
std::string unusual_token(std::mt19937_64& rng) {
  static const char* const kTokens[] = {
      "1.5E3", "1.5e-3", "2D2", "3q-1",  "4E",    "1.5+3", "2.5-2",   "1e999",    "1e-400",
      "INF",   "-inf",   "NaN", "INFO",  "NONE",  "T",     ".TRUE.",  "false",    "FUEL",
      "2*3.5", "2*",     "3*,", "0*5",   "2*'x'", "'12'",  "\"a b\"", "'open",    "(1.5, 2.5)",
      "(1,2",  ")",      "*",   "/",     "1/",    "1.2.3", "+-1",     "--2",      "5-",
      ".",     "-",      ".E5", "1.5x",  "1.5;2", "12\"",  "1(2",     "\x83\x65", "1\x83",
      "007",   "-0",     "+.5", "5.",    "1\r2",  "1.5*2", "-2*3",    "1e2*",     "2*3*4",
      "5.*",   "1.5E*",  "5-*", "inf*2", "T*2",   "2*-3*",
  };
  return kTokens[rng() % std::size(kTokens)];
}

std::string plain_separator(std::mt19937_64& rng) {
  static const char* const kSeparators[] = {" ", " ", "\t", ",", " , ", ", ", "   ", "\t\t"};
  return kSeparators[rng() % std::size(kSeparators)];
}

std::string separator(std::mt19937_64& rng) {
  static const char* const kSeparators[] = {" ",    " ",  " ",   "\t",   ",",    " , ",
                                            ", ",   " ,", "   ", "\t\t", " \t",  ",,",
                                            " ,, ", "/",  " / ", "\r",   " \r ", ",\t"};
  return kSeparators[rng() % 8 == 0 ? rng() % std::size(kSeparators) : rng() % 7];
}

// A character from every class that matters around a number.
char odd_character(std::mt19937_64& rng) {
  static const char kCharacters[] = {'0',  '9', '.', '+', '-',  'E', 'e', 'D',  'd',    'Q',
                                     'q',  ',', '/', '*', '\'', '"', '(', ')',  ' ',    '\t',
                                     '\r', 'T', 'F', 'I', 'N',  'x', ';', '\0', '\x83', '\xff'};
  return kCharacters[rng() % std::size(kCharacters)];
}

std::string line(std::mt19937_64& rng) {
  switch (rng() % 20) {
    case 0: return "";
    case 1: return std::string(1 + rng() % 3, rng() % 2 ? ' ' : '\t');
    default: break;
  }
  std::string s = rng() % 4 == 0 ? std::string(1 + rng() % 4, ' ') : "";
  if (rng() % 40 == 0) s += ',';
  const std::size_t values = rng() % 6 == 0 ? rng() % 2 : 1 + rng() % 4;
  for (std::size_t i = 0; i < values; ++i) {
    if (i > 0) s += separator(rng);
    s += rng() % 10 == 0 ? unusual_token(rng) : plain_number(rng);
  }
  if (rng() % 6 == 0) s += separator(rng);
  // Now and then one character replaced or put in anywhere.
  if (rng() % 4 == 0 && !s.empty()) {
    const std::size_t at = rng() % (s.size() + 1);
    if (rng() % 2 == 0 && at < s.size()) {
      s[at] = odd_character(rng);
    } else {
      s.insert(s.begin() + static_cast<std::ptrdiff_t>(at), odd_character(rng));
    }
  }
  if (rng() % 200 == 0)
    s = std::string(250 + rng() % 20, ' ') + s;  // around the copied-record limit
  return s;
}

std::string line_end(std::mt19937_64& rng) {
  switch (rng() % 10) {
    case 0: return "\r\n";
    case 1: return rng() % 2 ? "\r\r\n" : "\r\n";
    default: return "\n";
  }
}

std::string document(std::mt19937_64& rng, int lines) {
  std::string bytes;
  for (int i = 0; i < lines; ++i) {
    bytes += line(rng);
    if (i + 1 < lines || rng() % 2) bytes += line_end(rng);  // the last line may have no line feed
  }
  return bytes;
}

TEST(PlainValues, SameOutcomesAsTheGeneralStatement) {
  std::mt19937_64 rng(20250531);
  Tally tally;
  const int documents = 6000 / kCountDivisor;
  for (int d = 0; d < documents && tally.mismatches < 10; ++d) {
    const std::string bytes = document(rng, 1 + static_cast<int>(rng() % 1000));
    Pair pair{textio::source_from_bytes(bytes), textio::source_from_bytes(bytes)};
    compare_statements(pair, rng, tally);
  }
  // The plain reading must carry a good share of these statements, or the
  // comparison says little about it.
  EXPECT_GT(tally.plain * 4, tally.statements) << tally.plain << " of " << tally.statements;
  RecordProperty("statements", std::to_string(tally.statements));
  RecordProperty("plain", std::to_string(tally.plain));
}

// Only plain records, in the shapes real inputs have: nearly all of them go
// the plain way, and every one must read as the general statement reads it.
TEST(PlainValues, SameOutcomesOnPlainRecords) {
  std::mt19937_64 rng(77);
  Tally tally;
  const int documents = 400 / kCountDivisor;
  for (int d = 0; d < documents && tally.mismatches < 10; ++d) {
    std::string bytes;
    for (int i = 0; i < 5000; ++i) {
      const std::size_t values = 2 + rng() % 2;
      for (std::size_t v = 0; v < values; ++v) {
        if (v > 0) bytes += plain_separator(rng);
        std::string number = plain_number(rng);
        if (number.size() > 12) number.resize(12);
        bytes += number;
      }
      bytes += line_end(rng);
    }
    Pair pair{textio::source_from_bytes(bytes), textio::source_from_bytes(bytes)};
    compare_statements(pair, rng, tally);
  }
  EXPECT_GT(tally.plain * 4, tally.statements * 3) << tally.plain << " of " << tally.statements;
  RecordProperty("statements", std::to_string(tally.statements));
  RecordProperty("plain", std::to_string(tally.plain));
}

// --- Records taken a run at a time (read_plain_pairs), and the result
// fields written from their texts.

struct PairTally {
  long pairs = 0;
  long edited_from_text = 0;
  int mismatches = 0;
};

// A run of records taken at once must read as that many statements of two
// items of the general rules, and F0.2 and F0.3 from each value's text must
// be what the editor gives the value (or be declined).
void compare_pairs(textio::RecordSource& reader, textio::RecordSource& general,
                   std::mt19937_64& rng, PairTally& tally) {
  for (;;) {
    const int max = 1 + static_cast<int>(rng() % 80);
    std::vector<double> xs(max), ys(max);
    std::vector<textio::PlainText> x_texts(max), y_texts(max);
    const int taken =
        textio::read_plain_pairs(reader, max, xs.data(), ys.data(), x_texts.data(), y_texts.data());
    int status = textio::kReadOk;
    for (int i = 0; i <= taken && i < max; ++i) {
      double x = kOld, y = kOld;
      double* const items[] = {&x, &y};
      const std::size_t start = general.next;
      status = textio::read_list_numbers_general(general, items);
      if (i == taken) {  // the record the run stopped at: both go on by the general rules
        double rx = kOld, ry = kOld;
        double* const reader_items[] = {&rx, &ry};
        const int reader_status = textio::read_list_numbers(reader, reader_items);
        if (reader_status != status || reader.next != general.next ||
            std::bit_cast<std::uint64_t>(x) != std::bit_cast<std::uint64_t>(rx) ||
            std::bit_cast<std::uint64_t>(y) != std::bit_cast<std::uint64_t>(ry)) {
          ++tally.mismatches;
          ADD_FAILURE() << "after a run of " << taken << ": statement at offset " << start;
        }
        break;
      }
      ++tally.pairs;
      if (status != textio::kReadOk ||
          std::bit_cast<std::uint64_t>(x) != std::bit_cast<std::uint64_t>(xs[i]) ||
          std::bit_cast<std::uint64_t>(y) != std::bit_cast<std::uint64_t>(ys[i])) {
        ++tally.mismatches;
        ADD_FAILURE() << "record " << i << " of a run, at offset " << start << ": status " << status
                      << ", " << x << " " << y << " against " << xs[i] << " " << ys[i];
      }
      const std::pair<const textio::PlainText*, double> fields[] = {{&x_texts[i], xs[i]},
                                                                    {&y_texts[i], ys[i]}};
      for (const auto& [text, value] : fields) {
        for (const int decimals : {2, 3}) {
          std::vector<char> from_text(textio::fixed_field_capacity(decimals));
          std::vector<char> edited(textio::fixed_field_capacity(decimals));
          const std::size_t n =
              textio::edit_fixed_from_text(*text, value, decimals, from_text.data());
          const std::size_t m = textio::edit_fixed(value, decimals, edited.data());
          if (n == 0) continue;
          ++tally.edited_from_text;
          if (std::string_view(from_text.data(), n) != std::string_view(edited.data(), m)) {
            ++tally.mismatches;
            ADD_FAILURE() << "F0." << decimals << " of " << value
                          << " from its text: " << std::string_view(from_text.data(), n)
                          << ", editor: " << std::string_view(edited.data(), m);
          }
        }
      }
    }
    if (tally.mismatches >= 10 || status == textio::kReadEnd || status == textio::kReadFailure)
      return;
    if (taken == max && reader.next != general.next) {
      ++tally.mismatches;
      ADD_FAILURE() << "a full run ends at " << reader.next << ", the statements at "
                    << general.next;
      return;
    }
  }
}

TEST(PlainValues, RunsOfPairsReadAsStatements) {
  std::mt19937_64 rng(1717);
  PairTally tally;
  for (int d = 0; d < 3000 / kCountDivisor && tally.mismatches < 10; ++d) {
    std::string bytes;
    if (d % 2 == 0) {
      bytes = document(rng, 1 + static_cast<int>(rng() % 1000));
    } else {
      for (int i = 0; i < 500; ++i) {  // plain records, now and then another one
        bytes += rng() % 50 == 0 ? line(rng)
                                 : plain_number(rng) + plain_separator(rng) + plain_number(rng);
        bytes += line_end(rng);
      }
    }
    textio::RecordSource reader = textio::source_from_bytes(bytes);
    textio::RecordSource general = textio::source_from_bytes(bytes);
    compare_pairs(reader, general, rng, tally);
  }
  EXPECT_GT(tally.edited_from_text * 4, tally.pairs)
      << tally.edited_from_text << " of " << tally.pairs;
  RecordProperty("pairs", std::to_string(tally.pairs));
}

// Fields written from texts: declined where the text does not give them.
TEST(PlainValues, FieldsFromTexts) {
  struct Row {
    std::string record;
    std::string x2, y3;  // empty: declined
  } rows[] = {
      {"1181.7 327.79", "1181.70", "327.790"},
      {"-12 -0.5", "-12.00", "-0.500"},
      {"+5 0", "5.00", "0.000"},
      {"12345678.12 1.125", "12345678.12", "1.125"},
      {"123456789 1.1234", "", ""},  // nine integer digits; four decimals
      {"007 .5", "", ""},            // leading zeros; no integer digit
      {"-0 -0.000", "", ""},         // negative zeros lose their sign
      {"0.999 5.", "", "5.000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.record);
    const std::string bytes =
        row.record + "\n" + std::string(64, ' ');  // the run stops short of the end
    textio::RecordSource source = textio::source_from_bytes(bytes);
    double x, y;
    textio::PlainText x_text, y_text;
    ASSERT_EQ(textio::read_plain_pairs(source, 1, &x, &y, &x_text, &y_text), 1);
    char field[textio::fixed_field_capacity(3)];
    EXPECT_EQ(std::string(field, textio::edit_fixed_from_text(x_text, x, 2, field)), row.x2);
    EXPECT_EQ(std::string(field, textio::edit_fixed_from_text(y_text, y, 3, field)), row.y3);
  }
}

// Through descriptors: records cut from a buffer that is refilled, moved and
// read past its filled part.
TEST(PlainValues, SameOutcomesThroughBufferRefills) {
  testing_support::TempDir dir;
  const std::string path = dir.file("records.txt");
  std::mt19937_64 rng(5);
  std::string bytes;
  const std::size_t size = (std::size_t{5} << 20) / kCountDivisor;
  while (bytes.size() < size) bytes += document(rng, 1000);
  testing_support::write_file(path, bytes);
  const int reader_fd = ::open(path.c_str(), O_RDONLY);
  const int general_fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(reader_fd, 0);
  ASSERT_GE(general_fd, 0);
  Pair pair{textio::source_from_descriptor(reader_fd, false),
            textio::source_from_descriptor(general_fd, false)};
  Tally tally;
  compare_statements(pair, rng, tally);
  ::close(reader_fd);
  ::close(general_fd);
}

}  // namespace
