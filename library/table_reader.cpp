// Tables of delimited text, read a block of rows at a time by the rules of
// fuelcalc/table.hpp; the cells themselves are textio's (table_cells.h).
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "fuelcalc/table.hpp"
#include "library/failure_messages.h"
#include "library/file_source.h"
#include "textio/record_source.h"
#include "textio/table_cells.h"

namespace fuelcalc {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

textio::Separator separator_of(Delimiter delimiter, std::string_view header) {
  switch (delimiter) {
    case Delimiter::comma: return textio::Separator::comma;
    case Delimiter::semicolon: return textio::Separator::semicolon;
    case Delimiter::tab: return textio::Separator::tab;
    case Delimiter::blanks: return textio::Separator::blanks;
    case Delimiter::detect: break;
  }
  return textio::detect_separator(header);
}

Delimiter delimiter_of(textio::Separator separator) {
  switch (separator) {
    case textio::Separator::comma: return Delimiter::comma;
    case textio::Separator::semicolon: return Delimiter::semicolon;
    case textio::Separator::tab: return Delimiter::tab;
    case textio::Separator::blanks: break;
  }
  return Delimiter::blanks;
}

std::string in_quotes(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace

ColumnChoice ColumnChoice::named(std::string name) {
  ColumnChoice choice;
  choice.name = std::move(name);
  return choice;
}

ColumnChoice ColumnChoice::at(std::size_t position) {
  ColumnChoice choice;
  choice.position = position;
  return choice;
}

struct TableReader::State {
  std::string name;  // the table as messages name it
  std::unique_ptr<FileSource> file;
  textio::RecordSource memory;
  textio::RecordSource* source = nullptr;
  TableOptions options;
  textio::Separator separator = textio::Separator::comma;
  std::vector<TableColumn> file_columns, columns;
  std::vector<std::size_t> chosen;  // the 0-based header index of each column read
  // The row fast path (textio::read_plain_row): each header cell's column
  // read, -1 for none; plain is false when the path is not taken (cells
  // kept, text columns, a column read twice, blanks as the delimiter).
  std::vector<int> slot;
  std::vector<double> row_values;
  bool plain = false;
  std::vector<std::string> comments;
  std::size_t header_line = 0;
  std::optional<std::size_t> unit_line;
  std::vector<std::string_view> cells;
  // The line after the header when it is a row: read again by the first read.
  bool held = false;
  std::string held_text;
  std::size_t held_line = 0;
  std::size_t rows = 0;
  std::vector<std::size_t> empty;
  std::optional<Error> pending;  // an error after rows of the same call, or at the end

  // The next line and its number; false at the end of the data.
  bool next_line(std::string_view& line, std::size_t& number);
  Error error_at(std::size_t line, const std::string& what) const;
  std::string names() const;
  void read_header();
  void choose_columns();
  void read_row(std::string_view line, std::size_t number, TableBlock& block, std::size_t row);
};

bool TableReader::State::next_line(std::string_view& line, std::size_t& number) {
  if (held) {
    held = false;
    line = held_text;
    number = held_line;
    return true;
  }
  switch (textio::next_record(*source, line)) {
    case textio::RecordStatus::Record:
      number = source->records;
      if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
      return true;
    case textio::RecordStatus::End: return false;
    case textio::RecordStatus::Failed: break;
  }
  throw std::move(Error(ErrorKind::read, name + " cannot be read after line " +
                                             std::to_string(source->records) + ": " +
                                             os_text(source->os_error))
                      .with_line(source->records + 1)
                      .with_os_error(source->os_error));
}

Error TableReader::State::error_at(std::size_t line, const std::string& what) const {
  Error error(ErrorKind::read, name + ", line " + std::to_string(line) + ": " + what);
  error.with_line(line);
  return error;
}

std::string TableReader::State::names() const {
  std::string list;
  for (const TableColumn& column : file_columns) {
    if (!list.empty()) list += ", ";
    list += column.name.empty() ? "(no name)" : column.name;
  }
  return list;
}

void TableReader::State::read_header() {
  std::string_view line;
  std::size_t number = 0;
  for (;;) {
    if (!next_line(line, number))
      throw Error(ErrorKind::read, name + " is empty: it has no header line");
    if (!textio::comment_or_blank(line)) break;
    const std::string_view text = textio::trim_blanks(line);
    if (!text.empty()) comments.emplace_back(textio::trim_blanks(text.substr(1)));
  }
  header_line = number;
  separator = separator_of(options.delimiter, line);
  textio::split_cells(line, separator, cells);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const textio::NameAndUnit parts = textio::split_name_unit(cells[i]);
    std::string_view unit;
    // Blanks part the cells: a unit standing alone belongs to the name before it.
    if (separator == textio::Separator::blanks && !file_columns.empty() &&
        textio::unit_cell(cells[i], unit) && file_columns.back().unit.empty()) {
      file_columns.back().unit = std::string(unit);
      file_columns.back().header.append(" ").append(cells[i]);
      continue;
    }
    TableColumn column;
    column.name = std::string(parts.name);
    column.unit = std::string(parts.unit);
    column.header = std::string(cells[i]);
    column.position = file_columns.size() + 1;
    file_columns.push_back(std::move(column));
  }
  for (std::size_t i = 0; i < file_columns.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (!file_columns[i].name.empty() && same_name(file_columns[i].name, file_columns[j].name))
        throw error_at(header_line, "the column name " + in_quotes(file_columns[i].name) +
                                        " is repeated (columns " + std::to_string(j + 1) + " and " +
                                        std::to_string(i + 1) + "); columns: " + names());

  // The line after the header: a unit line, a comment, or the first row.
  if (!next_line(line, number)) return;
  std::string_view text = textio::trim_blanks(line);
  const bool comment = !text.empty() && text.front() == '#';
  if (comment) text.remove_prefix(1);
  textio::split_cells(text, separator, cells);
  std::size_t units = 0;
  bool unit_like = !cells.empty();
  for (const std::string_view cell : cells) {
    std::string_view unit;
    if (textio::unit_cell(cell, unit))
      ++units;
    else if (!cell.empty())
      unit_like = false;
  }
  if (unit_like && units > 0) {
    // A '#' line of a single parenthesised remark is a comment, not a unit line.
    if (cells.size() != file_columns.size() && (cells.size() > 1 || !comment))
      throw error_at(number, "the unit line has " + std::to_string(cells.size()) +
                                 " cells where the header has " +
                                 std::to_string(file_columns.size()) + " (" + names() + ")");
    if (cells.size() == file_columns.size()) {
      unit_line = number;
      for (std::size_t i = 0; i < cells.size(); ++i) {
        std::string_view unit;
        if (!textio::unit_cell(cells[i], unit)) continue;
        TableColumn& column = file_columns[i];
        if (!column.unit.empty() && !same_name(column.unit, unit))
          throw error_at(number, "column " + std::to_string(i + 1) + " (" + column.name +
                                     "): the unit line says [" + std::string(unit) +
                                     "] where the header says [" + column.unit + "]");
        column.unit = std::string(unit);
      }
      return;
    }
  }
  if (comment || textio::comment_or_blank(line)) return;
  held = true;
  held_text = std::string(line);
  held_line = number;
}

void TableReader::State::choose_columns() {
  const auto invalid = [&](const std::string& what) {
    Error error(ErrorKind::invalid_argument, name + ": " + what + "; columns: " + names());
    error.with_line(header_line);
    return error;
  };
  const auto find = [&](const ColumnChoice& choice) -> std::size_t {
    if (choice.position > 0) {
      if (choice.position > file_columns.size())
        throw invalid("no column " + std::to_string(choice.position) + " (the header has " +
                      std::to_string(file_columns.size()) + ")");
      return choice.position - 1;
    }
    for (std::size_t i = 0; i < file_columns.size(); ++i)
      if (same_name(file_columns[i].name, choice.name)) return i;
    throw invalid("no column named " + in_quotes(choice.name));
  };
  chosen.clear();
  columns.clear();
  if (options.columns.empty())
    for (std::size_t i = 0; i < file_columns.size(); ++i) chosen.push_back(i);
  for (const ColumnChoice& choice : options.columns) chosen.push_back(find(choice));
  for (TableColumn& column : file_columns) column.text = false;
  for (const std::size_t index : chosen) columns.push_back(file_columns[index]);
  for (const ColumnChoice& choice : options.text_columns) {
    const std::size_t index = find(choice);
    bool read = false;
    for (std::size_t k = 0; k < chosen.size(); ++k)
      if (chosen[k] == index) read = columns[k].text = file_columns[index].text = true;
    if (!read)
      throw invalid("the text column " + in_quotes(file_columns[index].name) +
                    " is not one of the columns read");
  }
  empty.assign(columns.size(), 0);
  slot.assign(file_columns.size(), -1);
  row_values.assign(columns.size(), 0.0);
  plain = !options.keep_cells && separator != textio::Separator::blanks;
  for (std::size_t k = 0; k < chosen.size(); ++k) {
    if (columns[k].text || slot[chosen[k]] >= 0) plain = false;
    slot[chosen[k]] = static_cast<int>(k);
  }
}

void TableReader::State::read_row(std::string_view line, std::size_t number, TableBlock& block,
                                  std::size_t row) {
  if (plain && textio::read_plain_row(line, separator, slot, row_values.data())) {
    for (std::size_t k = 0; k < row_values.size(); ++k) block.numbers[k][row] = row_values[k];
    return;
  }
  textio::split_cells(line, separator, cells);
  if (cells.size() != file_columns.size())
    throw error_at(number, std::to_string(cells.size()) + (cells.size() == 1 ? " cell" : " cells") +
                               " where the header has " + std::to_string(file_columns.size()) +
                               " (" + names() + ")");
  for (std::size_t k = 0; k < chosen.size(); ++k) {
    const std::string_view cell = cells[chosen[k]];
    if (columns[k].text) {
      block.texts[k].emplace_back(cell);
      continue;
    }
    double& value = block.numbers[k][row];
    const textio::CellNumber read = textio::read_number_cell(cell, value);
    if (read == textio::CellNumber::number) continue;
    if (read == textio::CellNumber::empty) {
      ++block.empty[k];
      continue;
    }
    // The row is not handed over: its texts and empty cells are taken back.
    for (std::size_t j = 0; j < k; ++j) {
      if (columns[j].text)
        block.texts[j].pop_back();
      else if (cells[chosen[j]].empty())
        --block.empty[j];
    }
    throw error_at(
        number, "column " + std::to_string(chosen[k] + 1) + " (" + columns[k].name +
                    "): " + in_quotes(cell) +
                    (read == textio::CellNumber::out_of_range ? " is beyond the range of a double"
                                                              : " is not a number"));
  }
  if (options.keep_cells)
    for (const std::string_view cell : cells) block.cells.emplace_back(cell);
}

TableReader::TableReader(std::unique_ptr<State> state) : state_(std::move(state)) {
  state_->read_header();
  state_->choose_columns();
}

TableReader::TableReader(const std::filesystem::path& file, TableOptions options)
    : TableReader([&] {
        auto state = std::make_unique<State>();
        state->name = "the table file '" + file.string() + "'";
        state->options = std::move(options);
        state->file = std::make_unique<FileSource>(file, /*replay_on_rewind=*/false);
        state->source = &state->file->source;
        return state;
      }()) {}

TableReader TableReader::from_text(std::string_view text, TableOptions options,
                                   std::string_view name) {
  auto state = std::make_unique<State>();
  state->name = std::string(name);
  state->options = std::move(options);
  state->memory = textio::source_from_bytes(text);
  state->source = &state->memory;
  return TableReader(std::move(state));
}

TableReader::~TableReader() = default;
TableReader::TableReader(TableReader&&) noexcept = default;
TableReader& TableReader::operator=(TableReader&&) noexcept = default;

const std::vector<TableColumn>& TableReader::columns() const { return state_->columns; }
const std::vector<TableColumn>& TableReader::file_columns() const { return state_->file_columns; }
const std::vector<std::string>& TableReader::comments() const { return state_->comments; }
Delimiter TableReader::delimiter() const { return delimiter_of(state_->separator); }
std::size_t TableReader::header_line() const { return state_->header_line; }
std::optional<std::size_t> TableReader::unit_line() const { return state_->unit_line; }
std::size_t TableReader::rows() const { return state_->rows; }
const std::vector<std::size_t>& TableReader::empty_cells() const { return state_->empty; }

void TableReader::choose_columns(std::vector<ColumnChoice> columns,
                                 std::vector<ColumnChoice> text_columns) {
  State& state = *state_;
  if (state.rows > 0 || state.pending)
    throw Error(ErrorKind::invalid_argument, "columns chosen after the first read");
  state.options.columns = std::move(columns);
  state.options.text_columns = std::move(text_columns);
  state.choose_columns();
}

void TableReader::read_rows_of(std::string_view text, std::size_t first_line) {
  State& state = *state_;
  if (state.rows > 0 || state.pending)
    throw Error(ErrorKind::invalid_argument, "rows taken from a text after the first read");
  if (first_line <= std::max(state.header_line, state.unit_line.value_or(0)))
    throw Error(ErrorKind::invalid_argument, "rows taken from a text before the header's end");
  state.memory = textio::source_from_bytes(text);
  state.memory.records = first_line - 1;
  state.source = &state.memory;
  state.file.reset();
  state.held = false;
}

std::size_t TableReader::read(TableBlock& block, std::size_t max_rows) {
  State& state = *state_;
  if (max_rows == 0) throw Error(ErrorKind::invalid_argument, "a block of no rows");
  const std::size_t width = state.columns.size();
  block.rows = 0;
  block.numbers.resize(width);
  block.texts.resize(width);
  block.empty.assign(width, 0);
  block.cells.clear();
  block.lines.resize(max_rows);
  for (std::size_t k = 0; k < width; ++k) {
    block.texts[k].clear();
    block.numbers[k].resize(state.columns[k].text ? 0 : max_rows);
  }
  std::size_t filled = 0;
  if (!state.pending) {
    try {
      std::string_view line;
      std::size_t number = 0;
      while (filled < max_rows && state.next_line(line, number)) {
        if (textio::comment_or_blank(line)) continue;
        state.read_row(line, number, block, filled);
        block.lines[filled++] = number;
      }
      if (filled < max_rows && state.rows + filled == 0 && !state.options.allow_no_rows)
        state.pending = std::move(Error(ErrorKind::read, state.name + " has a header (line " +
                                                             std::to_string(state.header_line) +
                                                             ") and no rows")
                                      .with_line(state.header_line));
    } catch (const Error& error) {
      state.pending = error;
    }
  }
  block.rows = filled;
  block.lines.resize(filled);
  for (std::size_t k = 0; k < width; ++k) {
    if (!state.columns[k].text) block.numbers[k].resize(filled);
    state.empty[k] += block.empty[k];
  }
  state.rows += filled;
  if (filled == 0 && state.pending) throw Error(*state.pending);
  return filled;
}

Table read_table(const std::filesystem::path& file, const TableOptions& options) {
  TableReader reader(file, options);
  Table table;
  table.columns = reader.columns();
  const std::size_t width = table.columns.size();
  table.numbers.resize(width);
  table.texts.resize(width);
  TableBlock block;
  while (reader.read(block, std::size_t{1} << 16) > 0) {
    for (std::size_t k = 0; k < width; ++k) {
      table.numbers[k].insert(table.numbers[k].end(), block.numbers[k].begin(),
                              block.numbers[k].end());
      for (std::string& text : block.texts[k]) table.texts[k].push_back(std::move(text));
    }
    table.lines.insert(table.lines.end(), block.lines.begin(), block.lines.end());
  }
  table.empty = reader.empty_cells();
  table.rows = reader.rows();
  return table;
}

}  // namespace fuelcalc
