// Fuzz target: the table reader, its cells and map tables, in memory.
//
// Input: an option byte, eight bytes of a double, then the table's text.
//   option: bits 0-2 the delimiter (1 comma, 2 semicolon, 3 tab, 4 blanks,
//           anything else found in the header); bit 3 keeps every cell;
//           bit 4 allows a table without rows; bit 5 reads the first column
//           as text; bits 6-7 plus one the rows per block.
//
// Each execution aborts when
// - the double, written as its shortest text in a table, reads back to other
//   bits (any NaN reads as a NaN);
// - a cell of the text, cut at commas, semicolons, tabs or blanks, reads
//   otherwise through the shortcut than through from_chars (status or bits);
// - a line the row fast path takes (every cell read, or every other one)
//   reads otherwise than its cells cut and read by from_chars;
// - a block breaks its promises: more rows than asked, arrays of another
//   length than its rows, lines that do not rise, more empty cells than
//   NaNs, other counts in the reader than the blocks' sums;
// - anything but fuelcalc::Error leaves the reader or the map table reader.
// The reader holds a block and one line at a time, so its memory stays
// bounded by the input (libFuzzer's -rss_limit_mb watches it).
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuelcalc/fuelcalc.hpp"
#include "report.h"
#include "textio/table_cells.h"

namespace {

using fuelcalc::Error;

void exact_round_trip(double value) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  const std::string text = "x\n" + std::string(buffer, end) + "\n";
  fuelcalc::TableReader reader = fuelcalc::TableReader::from_text(text);
  fuelcalc::TableBlock block;
  if (reader.read(block, 1) != 1) fuzzing::fault("no row for %s", text.c_str());
  const double read = block.numbers[0][0];
  if (std::isnan(value) ? !std::isnan(read)
                        : std::bit_cast<std::uint64_t>(read) != std::bit_cast<std::uint64_t>(value))
    fuzzing::fault("'%.*s' reads back as %.17g", static_cast<int>(end - buffer), buffer, read);
}

void cells_agree(std::string_view text) {
  std::vector<std::string_view> cells;
  for (const auto separator : {textio::Separator::comma, textio::Separator::blanks}) {
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t stop = text.find_first_of("\n;\t", start);
      if (stop == std::string_view::npos) stop = text.size();
      textio::split_cells(text.substr(start, stop - start), separator, cells);
      for (const std::string_view cell : cells) {
        double fast = 0, reference = 0;
        const auto a = textio::read_number_cell(cell, fast);
        const auto b = textio::read_number_cell_reference(cell, reference);
        if (a != b ||
            (a == textio::CellNumber::number &&
             std::bit_cast<std::uint64_t>(fast) != std::bit_cast<std::uint64_t>(reference)))
          fuzzing::fault("cell '%.*s': %d %.17g against the reference's %d %.17g",
                         static_cast<int>(cell.size()), cell.data(), static_cast<int>(a), fast,
                         static_cast<int>(b), reference);
      }
      start = stop + 1;
    }
  }
}

void rows_agree(std::string_view text) {
  std::vector<std::string_view> cells;
  for (const auto separator :
       {textio::Separator::comma, textio::Separator::semicolon, textio::Separator::tab}) {
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t stop = text.find('\n', start);
      if (stop == std::string_view::npos) stop = text.size();
      const std::string_view line = text.substr(start, stop - start);
      start = stop + 1;
      textio::split_cells(line, separator, cells);
      for (const int every : {1, 2}) {
        std::vector<int> slot(cells.size(), -1);
        std::vector<double> fast(cells.size());
        for (std::size_t i = 0; i < cells.size(); i += static_cast<std::size_t>(every))
          slot[i] = static_cast<int>(i);
        if (!textio::read_plain_row(line, separator, slot, fast.data())) continue;
        for (std::size_t i = 0; i < cells.size(); i += static_cast<std::size_t>(every)) {
          double reference = 0;
          if (textio::read_number_cell_reference(cells[i], reference) !=
                  textio::CellNumber::number ||
              std::bit_cast<std::uint64_t>(fast[i]) != std::bit_cast<std::uint64_t>(reference))
            fuzzing::fault("line '%.*s', cell %zu: the row fast path reads %.17g",
                           static_cast<int>(line.size()), line.data(), i + 1, fast[i]);
        }
      }
    }
  }
}

void read_blocks(std::string_view text, std::uint8_t option) {
  fuelcalc::TableOptions options;
  const fuelcalc::Delimiter delimiters[] = {fuelcalc::Delimiter::comma,
                                            fuelcalc::Delimiter::semicolon,
                                            fuelcalc::Delimiter::tab, fuelcalc::Delimiter::blanks};
  const unsigned chosen = option & 7u;
  if (chosen >= 1 && chosen <= 4) options.delimiter = delimiters[chosen - 1];
  options.keep_cells = (option & 8u) != 0;
  options.allow_no_rows = (option & 16u) != 0;
  if (option & 32u) {
    options.columns = {fuelcalc::ColumnChoice::at(1)};
    options.text_columns = {fuelcalc::ColumnChoice::at(1)};
  }
  const std::size_t max_rows = (option >> 6) + 1u;
  try {
    fuelcalc::TableReader reader = fuelcalc::TableReader::from_text(text, options);
    const std::size_t width = reader.columns().size();
    std::vector<std::size_t> empty(width, 0);
    std::size_t rows = 0, last_line = reader.unit_line().value_or(reader.header_line());
    fuelcalc::TableBlock block;
    while (const std::size_t n = reader.read(block, max_rows)) {
      if (n > max_rows || n != block.rows || block.lines.size() != n)
        fuzzing::fault("a block of %zu rows for %zu asked", n, max_rows);
      if (options.keep_cells && block.cells.size() != n * reader.file_columns().size())
        fuzzing::fault("%zu cells for %zu rows", block.cells.size(), n);
      for (const std::size_t line : block.lines) {
        if (line <= last_line) fuzzing::fault("line %zu after line %zu", line, last_line);
        last_line = line;
      }
      for (std::size_t k = 0; k < width; ++k) {
        const bool text_column = reader.columns()[k].text;
        if ((text_column ? block.texts[k].size() : block.numbers[k].size()) != n)
          fuzzing::fault("column %zu holds another count than %zu rows", k + 1, n);
        std::size_t nans = 0;
        for (const double v : block.numbers[k]) nans += std::isnan(v);
        if (block.empty[k] > nans)
          fuzzing::fault("%zu empty cells, %zu NaNs", block.empty[k], nans);
        empty[k] += block.empty[k];
      }
      rows += n;
    }
    if (rows != reader.rows() || empty != reader.empty_cells())
      fuzzing::fault("the reader counts %zu rows where the blocks hold %zu", reader.rows(), rows);
  } catch (const Error&) {
  }
}

void read_maps(std::string_view text) {
  for (const auto layout : {fuelcalc::MapLayout::points, fuelcalc::MapLayout::matrix}) {
    fuelcalc::MapTableOptions options;
    options.layout = layout;
    try {
      const fuelcalc::MapTable table = fuelcalc::parse_map_table(text, options);
      if (table.speed.size() != table.fuel.size() || table.torque.size() != table.fuel.size() ||
          table.lines.size() != table.fuel.size() || table.fuel.empty())
        fuzzing::fault("a map table of %zu speeds, %zu torques, %zu fuel values",
                       table.speed.size(), table.torque.size(), table.fuel.size());
    } catch (const Error&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  double value = 0;
  std::memcpy(&value, data + 1, sizeof value);
  exact_round_trip(value);
  const std::string_view text(reinterpret_cast<const char*>(data) + 9, size - 9);
  cells_agree(text);
  rows_agree(text);
  read_blocks(text, data[0]);
  read_maps(text);
  return 0;
}
