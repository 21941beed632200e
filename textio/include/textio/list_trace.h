#pragma once
// Read statements that also tell where their values stood: the records each
// statement took and the place of every value, null and slash in them. The
// values, statuses and records consumed are those of the program's statements
// (list_input.h); only the account is added, for the file checks.
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "textio/fixed_text.h"
#include "textio/record_source.h"

namespace textio {

struct ValueMark {
  enum class Kind : unsigned char { Value, Null, Slash };
  std::size_t record = 0;  // which of the statement's records (0: its first)
  std::size_t column = 0;  // byte offset of the value in that record
  Kind kind = Kind::Value;
  int copies = 1;  // r of a repeat form r*c or r*, else 1
};

struct StatementTrace {
  std::size_t records = 0;       // records the statement took (blank ones too)
  std::vector<ValueMark> marks;  // in the order the statement met them
  ValueMark failed;              // start of the value that failed, when the status is an error
  std::string_view last_record;  // valid until the source is read again
  std::size_t end = 0;           // where in last_record the statement stopped

  void clear() {
    records = 0;
    marks.clear();
    failed = {};
    last_record = {};
    end = 0;
  }
};

// As read_list_numbers (the plain reading first, then the general statement)
// and read_list_text, with the account in trace (cleared first).
int read_list_numbers_traced(RecordSource& source, std::span<double* const> items, int& stored,
                             StatementTrace& trace);
int read_list_text_traced(RecordSource& source, FixedText& item, StatementTrace& trace);

}  // namespace textio
