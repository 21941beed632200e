#pragma once
// A file read for a check: by the program's own read statements, with an
// account of the line and column of every value, in one pass.
#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "textio/fixed_text.h"
#include "textio/list_trace.h"
#include "textio/record_source.h"

namespace fuelcalc::checks {

class TracedFile {
 public:
  TracedFile() = default;
  ~TracedFile();
  TracedFile(const TracedFile&) = delete;
  TracedFile& operator=(const TracedFile&) = delete;

  // Opens the file as the program opens its input files (for reading; a
  // folder is no file). Returns why it could not be, in the program's words,
  // or an empty text.
  std::string open(const std::filesystem::path& file);

  // One read statement each, as the program issues them.
  int read_numbers(std::span<double* const> items, int& stored);
  int read_text(textio::FixedText& item);
  // Whether the data end after the last statement (the program's end-of-file inquiry).
  bool at_end();
  // Keeps the bytes of every record taken from the opening on, until
  // bytes_taken(): called before the first statement.
  void keep_bytes() { source_.keep_all = true; }
  // Those bytes, line ends included, as the file holds them; stops keeping.
  std::string bytes_taken();

  // The line of record `record` of the last statement (1-based).
  std::size_t line_of(std::size_t record) const { return before_ + record + 1; }
  // Lines taken by every statement so far.
  std::size_t lines() const { return before_ + trace_.records; }
  const textio::StatementTrace& trace() const { return trace_; }
  int os_error() const { return source_.os_error; }

 private:
  int fd_ = -1;
  textio::RecordSource source_;
  textio::StatementTrace trace_;
  std::size_t before_ = 0;  // lines taken before the last statement
};

// How the values of one statement of `items` values lay over its records.
struct ValueLayout {
  std::size_t values = 0;          // value places met, empty ones included, up to a slash
  std::size_t first_record = 0;    // the record of the first value
  std::size_t first_count = 0;     // value places in that record
  std::size_t last_record = 0;     // the record of the last value the statement took
  std::size_t dropped = 0;         // values of that record the statement did not take
  std::size_t dropped_column = 0;  // 0-based column of the first of them
  bool slash = false;              // a slash ended the value list
};

// For a statement that ended with success.
ValueLayout value_layout(const textio::StatementTrace& trace, std::size_t items);

// The text of the value that starts at `column` (shortened when long).
std::string value_text(std::string_view record, std::size_t column);

// Why the value of a statement that ended with `status` could not be read.
std::string unreadable_reason(int status, std::string_view record, std::size_t column,
                              int os_error);

// The run-time reason for an open that failed with `error`, in the program's words.
std::string open_reason(int error);

// A header record that holds nothing but numbers: their texts, else none.
std::vector<std::string> numbers_in_header(std::string_view record);

}  // namespace fuelcalc::checks
