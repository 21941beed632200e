// Tables of delimited text, their units, and maps read from them, through
// the library's public face.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fuelcalc/fuelcalc.hpp"
#include "test_support.h"
#include "textio/table_cells.h"

namespace {

using namespace testing_support;
using fuelcalc::ColumnChoice;
using fuelcalc::Delimiter;
using fuelcalc::Error;
using fuelcalc::ErrorKind;
using fuelcalc::TableOptions;
using fuelcalc::TableReader;

// A double as its shortest text.
std::string number(double value) {
  char buffer[64];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// Every row of a table held in memory, read a few rows at a time.
fuelcalc::TableBlock read_all(TableReader& reader) {
  fuelcalc::TableBlock all, block;
  while (const std::size_t n = reader.read(block, 3)) {
    all.numbers.resize(block.numbers.size());
    for (std::size_t k = 0; k < block.numbers.size(); ++k)
      all.numbers[k].insert(all.numbers[k].end(), block.numbers[k].begin(), block.numbers[k].end());
    all.lines.insert(all.lines.end(), block.lines.begin(), block.lines.end());
    all.rows += n;
  }
  return all;
}

struct BadTable {
  const char* text;
  ErrorKind kind;
  std::size_t line;  // 0: none
  const char* says;
};

TEST(Tables, BadTablesAreErrorsAtTheirLine) {
  const BadTable cases[] = {
      {"a,b\n1,2\n1,2,3\n", ErrorKind::read, 3, "line 3: 3 cells where the header has 2 (a, b)"},
      {"a,b\n1,2\n1\n", ErrorKind::read, 3, "1 cell where the header has 2"},
      {"a,b\n1,x\n", ErrorKind::read, 2, "line 2: column 2 (b): 'x' is not a number"},
      {"a;b\n1;1,5\n", ErrorKind::read, 2, "'1,5' is not a number"},
      {"a,b\n1,1e999\n", ErrorKind::read, 2, "'1e999' is beyond the range of a double"},
      {"a,b\n1,+-1\n", ErrorKind::read, 2, "'+-1' is not a number"},
      {"a,b\n1,1e\n", ErrorKind::read, 2, "'1e' is not a number"},
      {"a,b\n1,0x10\n", ErrorKind::read, 2, "'0x10' is not a number"},
      {"n,Me,N [rpm]\n1,2,3\n", ErrorKind::read, 1,
       "the column name 'N' is repeated (columns 1 and 3); columns: n, Me, N"},
      {"", ErrorKind::read, 0, "is empty: it has no header line"},
      {"# only a comment\n\n   \n", ErrorKind::read, 0, "is empty"},
      {"a,b\n", ErrorKind::read, 1, "has a header (line 1) and no rows"},
      {"a,b\n# [s],[rpm]\n# more\n", ErrorKind::read, 1, "and no rows"},
      {"a,b\n[s],[rpm],[Nm]\n1,2\n", ErrorKind::read, 2,
       "line 2: the unit line has 3 cells where the header has 2 (a, b)"},
      {"a [s],b\n# [min],\n1,2\n", ErrorKind::read, 2,
       "column 1 (a): the unit line says [min] where the header says [s]"},
  };
  for (const BadTable& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      TableReader reader = TableReader::from_text(c.text);
      read_all(reader);
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), c.kind);
      EXPECT_EQ(error.line().value_or(0), c.line);
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

TEST(Tables, ColumnsTheFileDoesNotHaveAreNamedWithTheColumnsFound) {
  const char* text = "t [s],n [rpm]\n1,2\n";
  for (const ColumnChoice& choice : {ColumnChoice::named("Me"), ColumnChoice::at(3)}) {
    TableOptions options;
    options.columns = {choice};
    try {
      TableReader::from_text(text, options);
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), ErrorKind::invalid_argument);
      EXPECT_NE(std::string(error.what()).find("; columns: t, n"), std::string::npos)
          << error.what();
    }
  }
}

// A row in error ends the rows: those before it come first, then the error,
// and values never move to another row.
TEST(Tables, RowsBeforeAnErrorAreHandedOverFirst) {
  TableReader reader = TableReader::from_text("a,b\n1,2\n3,4\n5\n7,8\n");
  fuelcalc::TableBlock block;
  ASSERT_EQ(reader.read(block, 10), 2u);
  EXPECT_EQ(block.numbers[1], (std::vector<double>{2, 4}));
  EXPECT_EQ(block.lines, (std::vector<std::size_t>{2, 3}));
  for (int call = 0; call < 2; ++call) {
    try {
      reader.read(block, 10);
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.line(), 4u);
    }
  }
  EXPECT_EQ(reader.rows(), 2u);

  // The empty cells of a row in error are not counted.
  TableReader counted = TableReader::from_text("a,b\n1,\n,x\n");
  EXPECT_EQ(counted.read(block, 10), 1u);
  EXPECT_EQ(block.empty, (std::vector<std::size_t>{0, 1}));
  EXPECT_THROW(counted.read(block, 10), Error);
  EXPECT_EQ(counted.empty_cells(), (std::vector<std::size_t>{0, 1}));
}

struct Header {
  const char* text;
  Delimiter delimiter;
  std::vector<std::string> names, units;
};

TEST(Tables, NamesUnitsAndDelimitersOfHeaders) {
  const Header cases[] = {
      {"engine speed [rpm],torque [Nm],fuel consumption [g/h]\n1,2,3\n",
       Delimiter::comma,
       {"engine speed", "torque", "fuel consumption"},
       {"rpm", "Nm", "g/h"}},
      {"n (1/min); Me (N m) ;FC\n1;2;3\n",
       Delimiter::semicolon,
       {"n", "Me", "FC"},
       {"1/min", "N m", ""}},
      {"SPEED[rpm]\tTQ[Nm]\tfuel, g/h\n1\t2\t3\n",
       Delimiter::tab,
       {"SPEED", "TQ", "fuel, g/h"},
       {"rpm", "Nm", ""}},
      {"  n [rpm]  Me [Nm] fc\n 1 2   3\n",
       Delimiter::blanks,
       {"n", "Me", "fc"},
       {"rpm", "Nm", ""}},
      {"t,n,Me\n# [s],[rpm],[Nm]\n1,2,3\n", Delimiter::comma, {"t", "n", "Me"}, {"s", "rpm", "Nm"}},
      {"t n Me\n[s] (rpm) [Nm]\n1 2 3\n", Delimiter::blanks, {"t", "n", "Me"}, {"s", "rpm", "Nm"}},
      {"t,n,Me\n,[rpm],\n1,2,3\n", Delimiter::comma, {"t", "n", "Me"}, {"", "rpm", ""}},
      {"\xEF\xBB\xBF\"t [s]\",\"n\"\r\n# (a remark)\r\n1,2\r\n",
       Delimiter::comma,
       {"t", "n"},
       {"s", ""}},
  };
  for (const Header& c : cases) {
    SCOPED_TRACE(c.text);
    TableReader reader = TableReader::from_text(c.text);
    EXPECT_EQ(reader.delimiter(), c.delimiter);
    std::vector<std::string> names, units;
    for (const auto& column : reader.columns()) {
      names.push_back(column.name);
      units.push_back(column.unit);
    }
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(units, c.units);
    const auto rows = read_all(reader);
    ASSERT_EQ(rows.rows, 1u);
    EXPECT_EQ(rows.numbers[0][0], 1.0);
  }
}

TEST(Tables, CellsReadToTheNearestDouble) {
  std::string text = "x\n";
  std::vector<double> expected;
  std::mt19937_64 random(24);
  for (int i = 0; i < 20000; ++i) {
    double v = std::bit_cast<double>(random());
    if (!std::isfinite(v)) continue;
    if (i % 2) v = std::ldexp(v, -std::ilogb(v) + static_cast<int>(random() % 40) - 20);
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
    text += std::string(buffer, end) + "\n";
    expected.push_back(v);
  }
  const std::pair<const char*, double> special[] = {
      {"inf", kInf},     {"-Infinity", -kInf}, {"+1.5", 1.5},
      {" 2 ", 2.0},      {"\"3\"", 3.0},       {"1e-400", 0.0},
      {"-1e-400", -0.0}, {"4.9e-324", 5e-324}, {"1.", 1.0},
      {".5", 0.5},       {"0.1", 0.1},         {"-0", -0.0},
      {"1E+3", 1000.0},  {"NaN", kNaN},        {"2.4703282292062328e-324", 5e-324}};
  for (const auto& [cell, value] : special) {
    text += std::string(cell) + "\n";
    expected.push_back(value);
  }
  TableReader reader = TableReader::from_text(text);
  const auto rows = read_all(reader);
  ASSERT_EQ(rows.rows, expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    ASSERT_EQ(bits(rows.numbers[0][i]), bits(expected[i])) << "line " << rows.lines[i];
}

// The shortcut for short decimals against from_chars alone, bit for bit.
TEST(Tables, NumberCellShortcutGivesTheReferenceBits) {
  std::vector<std::string> cells = {"",
                                    "0",
                                    "-0",
                                    "+0.0",
                                    "9007199254740992",
                                    "9007199254740993",
                                    "1234567890123456789",
                                    "12345678901234567890",
                                    "0.000000000000000000001",
                                    "1e22",
                                    "1e23",
                                    "1.5e-22",
                                    "123e-25",
                                    "1e0000",
                                    "1e00001",
                                    "-.5E+3",
                                    "5.",
                                    ".",
                                    "-",
                                    "+",
                                    "e5",
                                    "1e+",
                                    "1e-",
                                    "1.2.3",
                                    "--1",
                                    "1 2",
                                    "0x1p3",
                                    "infinity",
                                    "-nan"};
  std::mt19937_64 random(7);
  for (int i = 0; i < 50000; ++i) {
    std::string cell = (random() % 3 == 0) ? "-" : "";
    const int before = static_cast<int>(random() % 21), after = static_cast<int>(random() % 21);
    for (int d = 0; d < before; ++d) cell += static_cast<char>('0' + random() % 10);
    if (random() % 2) cell += ".";
    for (int d = 0; d < after; ++d) cell += static_cast<char>('0' + random() % 10);
    if (random() % 2) cell.append("e").append(std::to_string(static_cast<int>(random() % 61) - 30));
    cells.push_back(cell);
  }
  for (const std::string& cell : cells) {
    double fast = 1, reference = 2;
    const auto a = textio::read_number_cell(cell, fast);
    const auto b = textio::read_number_cell_reference(cell, reference);
    ASSERT_EQ(a, b) << cell;
    if (a == textio::CellNumber::number) {
      ASSERT_EQ(bits(fast), bits(reference)) << cell;
    }
  }
}

// The row fast path against split_cells and the reference reading of each
// cell read: when it takes a line, the same values to the bit.
struct PlainRow {
  const char* line;  // ',' stands for the separator
  std::vector<int> slot;
  bool taken;
};

void expect_plain_row_agrees(const std::string& line, textio::Separator separator,
                             const std::vector<int>& slot, bool taken) {
  std::vector<double> fast(slot.size(), 0.0), reference(slot.size(), 0.0);
  const bool took = textio::read_plain_row(line, separator, slot, fast.data());
  if (taken) {
    EXPECT_TRUE(took) << line;
  }
  if (!took) return;
  std::vector<std::string_view> cells;
  textio::split_cells(line, separator, cells);
  ASSERT_EQ(cells.size(), slot.size()) << line;
  for (std::size_t i = 0; i < slot.size(); ++i) {
    if (slot[i] < 0) continue;
    const auto k = static_cast<std::size_t>(slot[i]);
    ASSERT_EQ(textio::read_number_cell_reference(cells[i], reference[k]),
              textio::CellNumber::number)
        << line;
    EXPECT_EQ(bits(fast[k]), bits(reference[k])) << line;
  }
}

TEST(Tables, PlainRowFastPathGivesTheReferenceBits) {
  const std::vector<PlainRow> rows = {
      {"0,1181.7,327.79", {0, 1, 2}, true},
      {"-0,+5,.5e-3", {2, 0, 1}, true},
      {"1e22,1e-22,9007199254740992", {0, 1, 2}, true},
      {"x y,\"q\",7", {-1, -1, 0}, true},  // cells skipped may hold anything
      {"1,2", {0, 1, 2}, false},           // too few cells
      {"1,2,3,4", {0, 1, 2}, false},       // too many
      {"1,,3", {0, 1, 2}, false},          // an empty cell read
      {"1, 2,3", {0, 1, 2}, false},        // blanks around a cell
      {"1,\"2\",3", {0, 1, 2}, false},     // quotes
      {"1,inf,nan", {0, 1, 2}, false},
      {"1,2e,3", {0, 1, 2}, false},
      {"1,2e12345,3", {0, 1, 2}, false},               // an exponent of five digits
      {"1,12345678901234567890,3", {0, 1, 2}, false},  // 20 significant digits
      {"1,1e23,3", {0, 1, 2}, false},                  // beyond the exact powers of ten
      {"1,2x,3", {0, 1, 2}, false},
      {"1,2,3\r", {0, 1, 2}, false},
      {"-,2,3", {0, 1, 2}, false},
  };
  const std::pair<textio::Separator, char> separators[] = {{textio::Separator::comma, ','},
                                                           {textio::Separator::semicolon, ';'},
                                                           {textio::Separator::tab, '\t'}};
  for (const PlainRow& row : rows)
    for (const auto& [separator, c] : separators) {
      std::string line = row.line;
      for (char& ch : line)
        if (ch == ',') ch = c;
      expect_plain_row_agrees(line, separator, row.slot, row.taken);
    }
  std::vector<double> values(1);
  EXPECT_FALSE(
      textio::read_plain_row("1", textio::Separator::blanks, std::vector<int>{0}, values.data()));

  // Random lines of numbers and a few other cells.
  const char* others[] = {"", " 1", "\"2\"", "inf", "1e", "abc", "1e30", "0.1234567890123456789"};
  std::mt19937_64 random(11);
  for (int i = 0; i < 20000; ++i) {
    const std::size_t width = 1 + random() % 4;
    std::vector<int> slot(width, -1);
    std::string line;
    int next = 0;
    for (std::size_t c = 0; c < width; ++c) {
      if (random() % 3 != 0) slot[c] = next++;
      if (c > 0) line += ',';
      if (random() % 8 == 0) {
        line += others[random() % std::size(others)];
        continue;
      }
      const double v = std::ldexp(static_cast<double>(random() % 2000001) - 1e6,
                                  static_cast<int>(random() % 40) - 20);
      line += number(random() % 2 ? v : std::round(v * 100.0) / 100.0);
    }
    if (random() % 16 == 0) line += ",1";
    expect_plain_row_agrees(line, textio::Separator::comma, slot, false);
  }
}

// Whole tables read by the fast path and with every cell kept (which takes
// the reference path for every row): the same numbers, empty cells, lines
// and errors.
TEST(Tables, RowsReadAlikeWithAndWithoutTheFastPath) {
  const char* cells[] = {"1.5", "-2", "", " 3 ", "\"4\"", "nan", "1e400", "x", "7e-3", "0"};
  std::mt19937_64 random(5);
  for (int t = 0; t < 300; ++t) {
    std::string text = "a,b,c\n";
    const int rows = 1 + static_cast<int>(random() % 12);
    for (int r = 0; r < rows; ++r) {
      const int width = random() % 20 == 0 ? 2 : 3;
      for (int c = 0; c < width; ++c) text.append(c ? "," : "").append(cells[random() % 10]);
      text += random() % 10 == 0 ? "\n# note\n" : "\n";
    }
    const auto read = [&](bool keep) {
      TableOptions options;
      options.keep_cells = keep;
      options.columns = {ColumnChoice::at(3), ColumnChoice::at(1)};
      TableReader reader = TableReader::from_text(text, options);
      std::string failure;
      fuelcalc::TableBlock all;
      try {
        all = read_all(reader);
      } catch (const Error& error) {
        failure = error.what();
      }
      std::vector<std::uint64_t> values;
      for (const auto& column : all.numbers)
        for (const double v : column) values.push_back(bits(v));
      return std::tuple(values, all.lines, reader.empty_cells(), failure);
    };
    EXPECT_EQ(read(false), read(true)) << text;
  }
}

TEST(Tables, EmptyCellsAreCountedNaNsAndTextColumnsKeepTheirCells) {
  TableOptions options;
  options.columns = {ColumnChoice::named("PHASE"), ColumnChoice::at(2), ColumnChoice::named("t")};
  options.text_columns = {ColumnChoice::named("phase")};
  options.keep_cells = true;
  TableReader reader =
      TableReader::from_text("t,n,phase\n0,,warm up\n# a comment\n\n1,2,\"hot\"\n", options);
  fuelcalc::TableBlock block;
  ASSERT_EQ(reader.read(block, 100), 2u);
  EXPECT_EQ(block.texts[0], (std::vector<std::string>{"warm up", "hot"}));
  EXPECT_TRUE(block.numbers[0].empty());
  EXPECT_TRUE(std::isnan(block.numbers[1][0]));
  EXPECT_EQ(block.numbers[1][1], 2.0);
  EXPECT_EQ(block.numbers[2], (std::vector<double>{0, 1}));
  EXPECT_EQ(block.lines, (std::vector<std::size_t>{2, 5}));
  EXPECT_EQ(block.cells, (std::vector<std::string>{"0", "", "warm up", "1", "2", "hot"}));
  EXPECT_EQ(reader.empty_cells(), (std::vector<std::size_t>{0, 1, 0}));
}

TEST(Tables, FilesAndFifosReadAlike) {
  TempDir dir;
  const std::string text = "# made by a test\nt,n\n0,800\n1,900\n";
  write_file(dir.file("t.csv"), text);
  const fuelcalc::Table table = fuelcalc::read_table(dir.file("t.csv"));
  EXPECT_EQ(table.numbers[1], (std::vector<double>{800, 900}));
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  std::thread writer([&] { write_file(dir.file("fifo"), text); });
  const fuelcalc::Table piped = fuelcalc::read_table(dir.file("fifo"));
  writer.join();
  EXPECT_EQ(piped.numbers, table.numbers);
  EXPECT_EQ(piped.lines, (std::vector<std::size_t>{3, 4}));
  try {
    fuelcalc::read_table(dir.file("none.csv"));
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), ErrorKind::open);
    EXPECT_EQ(error.os_error(), ENOENT);
  }
}

struct Spelling {
  fuelcalc::Quantity quantity;
  const char* text;
  double value, base;  // a value in the unit and the same in the base unit
};

TEST(Units, SpellingsConvertToTheBaseUnits) {
  using Q = fuelcalc::Quantity;
  const Spelling cases[] = {
      {Q::speed, "rpm", 1500, 1500},
      {Q::speed, " 1/MIN ", 1500, 1500},
      {Q::speed, "min-1", 1500, 1500},
      {Q::speed, "rev/s", 25, 1500},
      {Q::speed, "rad/s", 157.07963267948966, 1500},
      {Q::torque, "Nm", 7, 7},
      {Q::torque, "N m", 7, 7},
      {Q::torque, "n.m", 7, 7},
      {Q::torque, "kNm", 1.5, 1500},
      {Q::fuel, "g/h", 9, 9},
      {Q::fuel, "kg/h", 2.5, 2500},
      {Q::fuel, "g/s", 0.5, 1800},
      {Q::fuel, "mg/s", 500, 1800},
      {Q::map_fuel, "KG/H", 2.5, 2500},
      {Q::time, "s", 2, 2},
      {Q::time, "min", 2, 120},
      {Q::time, "h", 0.5, 1800},
      {Q::vehicle_speed, "km/h", 36, 36},
      {Q::vehicle_speed, "m/s", 10, 36},
  };
  for (const Spelling& c : cases) {
    SCOPED_TRACE(c.text);
    const fuelcalc::Unit unit = fuelcalc::parse_unit(c.quantity, c.text);
    EXPECT_EQ(fuelcalc::to_base(unit, c.value), c.base);
    std::vector<double> values{c.value, -c.value};
    fuelcalc::to_base(unit, values);
    EXPECT_EQ(values, (std::vector<double>{c.base, -c.base}));
  }
  try {
    fuelcalc::parse_unit(Q::torque, "lbf ft");
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), ErrorKind::invalid_argument);
    EXPECT_STREQ(error.what(),
                 "unknown torque unit 'lbf ft'; accepted: Nm, N m, N.m, kNm, kN m, kN.m");
  }
  EXPECT_THROW(fuelcalc::parse_unit(Q::fuel, "g/kWh"), Error);
  EXPECT_EQ(fuelcalc::parse_unit(Q::map_fuel, "g/kWh").operation, fuelcalc::UnitOperation::bsfc);
}

// The points of one map written as rows, as a matrix and transposed, in
// other units: the same map, bit for bit.
TEST(MapTables, LayoutsAndUnitsGiveTheSameMap) {
  const std::vector<double> speeds{800, 1200, 1600}, torques{0, 200, 400};
  const double fuel[3][3] = {{900, 3100, 6200}, {1400, 4600, 9000}, {2000, 6400, 12500}};
  std::string points = "engine speed [rpm],torque [Nm],fuel consumption [g/h]\n";
  std::string units = "n,Me,FC\n# [rev/s],[kNm],[kg/h]\n";
  std::string matrix = "Me \\ n";
  std::string transposed = "n \\ Me";
  for (const double s : speeds) matrix += "," + number(s);
  for (const double t : torques) transposed += "," + number(t);
  matrix += "\n";
  transposed += "\n";
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = 0; j < 3; ++j) {
      points += number(speeds[i]) + "," + number(torques[j]) + "," + number(fuel[i][j]) + "\n";
      units += number(speeds[i] / 60) + "," + number(torques[j] / 1000) + "," +
               number(fuel[i][j] / 1000) + "\n";
    }
  for (std::size_t j = 0; j < 3; ++j) {
    matrix += number(torques[j]);
    for (std::size_t i = 0; i < 3; ++i) matrix += "," + number(fuel[i][j]);
    matrix += "\n";
  }
  for (std::size_t i = 0; i < 3; ++i) {
    transposed += number(speeds[i]);
    for (std::size_t j = 0; j < 3; ++j) transposed += "," + number(fuel[i][j]);
    transposed += "\n";
  }
  fuelcalc::MapTableOptions as_matrix;
  as_matrix.layout = fuelcalc::MapLayout::matrix;
  fuelcalc::MapTableOptions as_transposed = as_matrix;
  as_transposed.transposed = true;
  const auto reference = fuelcalc::parse_map_table(points);
  EXPECT_TRUE(reference.assumed.empty());
  const auto check = [&](const fuelcalc::MapTable& table) {
    const auto a = fuelcalc::FuelMap::from_table(reference, fuelcalc::Method::direct);
    const auto b = fuelcalc::FuelMap::from_table(table, fuelcalc::Method::direct);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(bits(a.point_speeds()[i]), bits(b.point_speeds()[i]));
      EXPECT_EQ(bits(a.point_torques()[i]), bits(b.point_torques()[i]));
      EXPECT_EQ(bits(a.point_fuels()[i]), bits(b.point_fuels()[i]));
    }
    EXPECT_EQ(bits(a.fuel(1000, 300)), bits(b.fuel(1000, 300)));
  };
  check(fuelcalc::parse_map_table(matrix, as_matrix));
  check(fuelcalc::parse_map_table(transposed, as_transposed));
  check(fuelcalc::parse_map_table(units));
  const auto in_matrix = fuelcalc::parse_map_table(matrix, as_matrix);
  EXPECT_EQ(in_matrix.assumed.size(), 3u);
  EXPECT_EQ(in_matrix.lines[0], 2u);
}

TEST(MapTables, ColumnsArePickedByTheirWordsElseByPosition) {
  const std::pair<const char*, std::vector<double>> cases[] = {
      {"FC,Me,n\n1000,100,800\n", {800, 100, 1000}},
      {"Torque (Nm);Fuel (g/h);Engine Speed (rpm)\n100;1000;800\n", {800, 100, 1000}},
      {"a,b,c\n800,100,1000\n", {800, 100, 1000}},
      {"time,rpm,tq,fuel,x\n0,800,100,1000,7\n", {800, 100, 1000}},
  };
  for (const auto& [text, point] : cases) {
    SCOPED_TRACE(text);
    const auto table = fuelcalc::parse_map_table(text);
    EXPECT_EQ((std::vector<double>{table.speed[0], table.torque[0], table.fuel[0]}), point);
  }
  fuelcalc::MapTableOptions named;
  named.speed = ColumnChoice::named("x");
  EXPECT_EQ(fuelcalc::parse_map_table("time,rpm,tq,fuel,x\n0,800,100,1000,7\n", named).speed[0], 7);
}

TEST(MapTables, BrakeSpecificConsumptionIsFuelAtThePointsPower) {
  const auto table = fuelcalc::parse_map_table("n,Me,bsfc\n1500,400,210\n2000,100,260\n");
  ASSERT_EQ(table.assumed,
            (std::vector<fuelcalc::Quantity>{fuelcalc::Quantity::speed, fuelcalc::Quantity::torque,
                                             fuelcalc::Quantity::map_fuel}));
  EXPECT_EQ(table.fuel_unit.operation, fuelcalc::UnitOperation::bsfc);
  // 400 Nm at 1500 rpm is 62.83 kW: 210 g/kWh of it is 13194.7 g/h.
  EXPECT_EQ(bits(table.fuel[0]), bits(210 * (400.0 * 1500.0 * 0.10471975511965978 / 1000)));
  EXPECT_NEAR(table.fuel[0], 13194.689145077132, 1e-9);
  fuelcalc::MapTableOptions options;
  options.fuel_unit = "g/kWh";
  const std::pair<const char*, std::size_t> at_zero[] = {{"n,Me,fc\n1500,400,210\n1500,0,250\n", 3},
                                                         {"n,Me,fc\n# [rpm],[Nm],\n0,400,210\n", 3},
                                                         {"n,Me,fc\n1500,-1,210\n", 2}};
  for (const auto& [text, line] : at_zero) {
    try {
      fuelcalc::parse_map_table(text, options);
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), ErrorKind::read);
      EXPECT_EQ(error.line(), line) << error.what();
      EXPECT_NE(std::string(error.what()).find("zero or negative power"), std::string::npos);
    }
  }
}

TEST(MapTables, MissingCellsAndBadMatricesAreErrors) {
  fuelcalc::MapTableOptions as_matrix;
  as_matrix.layout = fuelcalc::MapLayout::matrix;
  struct Case {
    const char* text;
    bool matrix;
    std::size_t line;
    const char* says;
  };
  const Case cases[] = {
      {"n,Me,fc\n800,,1000\n", false, 2, "the torque cell is empty beside a fuel value"},
      {"n,Me,fc\n800,1,\n", false, 0, "holds no measured point"},
      {",800,fast\n0,1,2\n", true, 1, "column 3: the speed 'fast' is not a number"},
      {",800,1000\n,1,2\n", true, 2, "the torque cell is empty beside fuel values"},
      {",800,800\n0,1,2\n", true, 1, "the column name '800' is repeated"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      fuelcalc::parse_map_table(c.text, c.matrix ? as_matrix : fuelcalc::MapTableOptions{});
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.line().value_or(0), c.line);
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

// A grid the points of a table cannot give fails at the first line of the
// points involved, as a map in the program's format does.
TEST(MapTables, AGridThatFailsNamesItsLine) {
  fuelcalc::MapTableOptions as_matrix;
  as_matrix.layout = fuelcalc::MapLayout::matrix;
  struct Case {
    const char* text;
    bool matrix;
    std::size_t line;
  };
  const Case cases[] = {
      {"n,Me,fc\n800,0,1\n800,9,2\n900,5,3\n", false, 4},           // a speed of one point
      {"n,Me,fc\n800,0,1\n900,0,2\n800,0,3\n900,5,4\n", false, 2},  // torque 0 twice at 800
      {",800,900\n0,1,2\n5,,3\n", true, 2},                         // 800 holds only row 2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto table =
        fuelcalc::parse_map_table(c.text, c.matrix ? as_matrix : fuelcalc::MapTableOptions{});
    try {
      fuelcalc::FuelMap::from_table(table);
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), ErrorKind::interpolation);
      EXPECT_EQ(error.line().value_or(0), c.line) << error.what();
    }
  }
}

}  // namespace
