#pragma once
// Tables of delimited text with named columns and units, read a block of
// rows at a time (bounded memory for a file of any length).
//
// The rules (docs/tables.md):
// - Lines end at LF (a CR before it is dropped); a UTF-8 byte order mark
//   before the first line is dropped. Lines that start with '#' (after
//   blanks) are comments, lines of blanks only are skipped, wherever they
//   stand.
// - The first other line is the header: one name per column, a unit after
//   the name in brackets or parentheses ("engine speed [rpm]", "n (1/min)",
//   "SPEED[rpm]"). The line right after the header is a unit line when,
//   after an optional leading '#', each of its cells is empty or a unit in
//   brackets or parentheses, and one at least is not empty; it must have the
//   header's number of cells.
// - The delimiter is given, or found in the header: a tab, else a
//   semicolon, else a comma, else runs of blanks. Cells lose the blanks
//   around them and a pair of double quotes around them; a quote does not
//   protect a delimiter.
// - A number cell holds a decimal number with an optional sign and
//   exponent, or inf, infinity, nan (any case): read to the nearest double,
//   so the shortest text of a double reads back to it. An empty cell is
//   NaN, and counted. A number beyond the range of a double is an error;
//   one below the smallest subnormal reads as zero of its sign.
// - A line with another number of cells than the header is an error at
//   that line: values never move to another row.
// Every failure throws Error: open (the file, errno in os_error()), read
// (the file's content; line() the line, the message the line and the
// 1-based column), invalid_argument (options that do not fit the file, such
// as an unknown column name; the message lists the names found).
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuelcalc/error.hpp"
#include "fuelcalc/export.hpp"

namespace fuelcalc {

enum class Delimiter { detect, comma, semicolon, tab, blanks };

// A column chosen by its name (compared ignoring case, without its unit) or
// by its 1-based position.
struct FUELCALC_API ColumnChoice {
  std::string name;          // chosen by name when position is 0
  std::size_t position = 0;  // 1-based; 0 when chosen by name

  static ColumnChoice named(std::string name);
  static ColumnChoice at(std::size_t position);
  // Nothing chosen (no name, no position).
  bool empty() const { return position == 0 && name.empty(); }
};

struct TableOptions {
  Delimiter delimiter = Delimiter::detect;
  // The columns read, in this order; empty: every column of the header.
  std::vector<ColumnChoice> columns;
  // Columns kept as text (a phase, a vehicle id); each must be one of those read.
  std::vector<ColumnChoice> text_columns;
  // A table of a header (and unit line) and no rows is an error unless this is set.
  bool allow_no_rows = false;
  // Keep the text of every cell of each row (TableBlock::cells).
  bool keep_cells = false;
};

// One column of the header.
struct TableColumn {
  std::string name;      // the header cell without its unit and the blanks around
  std::string unit;      // the unit text without its brackets ("" when none is given)
  std::string header;    // the header cell as written, without the blanks around it
  std::size_t position;  // 1-based
  bool text = false;     // kept as text
};

// Rows handed over by TableReader::read. Column k is the k-th column read.
struct TableBlock {
  std::size_t rows = 0;
  std::vector<std::vector<double>> numbers;     // [k][row]; empty for a text column
  std::vector<std::vector<std::string>> texts;  // [k][row]; empty for a number column
  std::vector<std::size_t> lines;               // the file's 1-based line of each row
  std::vector<std::size_t> empty;               // [k]: empty cells of this block
  // With keep_cells: the text of every cell of every row, row by row, as
  // many per row as the header has columns (without blanks and quotes).
  std::vector<std::string> cells;
};

class FUELCALC_API TableReader {
 public:
  // Opens the file (a regular file, a pipe or a FIFO, read once) and reads
  // up to its first row: comment lines, header, unit line.
  explicit TableReader(const std::filesystem::path& file, TableOptions options = {});
  // A table held in memory, by the same rules; `name` names it in messages.
  static TableReader from_text(std::string_view text, TableOptions options = {},
                               std::string_view name = "the table text");
  ~TableReader();
  TableReader(TableReader&&) noexcept;
  TableReader& operator=(TableReader&&) noexcept;

  // The columns read, in the order of TableOptions::columns.
  const std::vector<TableColumn>& columns() const;
  // Every column of the header, in file order.
  const std::vector<TableColumn>& file_columns() const;
  // The comment lines before the header, without their '#'.
  const std::vector<std::string>& comments() const;
  // The delimiter given or found.
  Delimiter delimiter() const;
  // Chooses the columns read again, as TableOptions::columns and
  // text_columns do, once the header is known (columns picked by their
  // names); only before the first read (else Error invalid_argument).
  void choose_columns(std::vector<ColumnChoice> columns,
                      std::vector<ColumnChoice> text_columns = {});
  // Reads on from the rows of `text` instead of the rest of the table:
  // lines of the same table (a block of a large file cut at line ends), the
  // first of them its line first_line (after the header and unit line). The
  // header, the columns and the delimiter stay. Only before the first read
  // (else Error invalid_argument).
  void read_rows_of(std::string_view text, std::size_t first_line);
  // The 1-based lines of the header and of the unit line (if any).
  std::size_t header_line() const;
  std::optional<std::size_t> unit_line() const;

  // Replaces the block's rows by up to max_rows rows (max_rows > 0); returns
  // how many, 0 at the end of the table. A line in error ends the rows: the
  // rows before it are handed over first, and the call that has none before
  // it to return throws the Error (as every later call does). Header only:
  // the first call throws unless TableOptions::allow_no_rows.
  std::size_t read(TableBlock& block, std::size_t max_rows);
  // Rows handed over so far.
  std::size_t rows() const;
  // Empty cells (NaN) so far, per column read.
  const std::vector<std::size_t>& empty_cells() const;

 private:
  struct State;
  explicit TableReader(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// A whole table: the reader's columns and every row.
struct Table {
  std::vector<TableColumn> columns;
  std::vector<std::vector<double>> numbers;
  std::vector<std::vector<std::string>> texts;
  std::vector<std::size_t> lines;
  std::vector<std::size_t> empty;
  std::size_t rows = 0;
};

FUELCALC_API Table read_table(const std::filesystem::path& file, const TableOptions& options = {});

}  // namespace fuelcalc
