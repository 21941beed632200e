#pragma once
// The common statement of double items, read without the general machinery:
// every value a plain decimal number in the statement's first record.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "textio/record_source.h"

namespace textio {

// Statements of more items than this always take the general path.
inline constexpr std::size_t kPlainItemsMax = 8;

// Reads one value per item from the start of `record` when each value is a
// plain number: an optional sign, then fewer than 16 characters of decimal
// digits with at most one point (so at most 15 digits, which the exact
// shortcut converts with one rounded operation), ending at the record end,
// a blank, tab or comma. The values are separated by blanks and tabs or by
// one comma between optional blanks; what follows the last one is not
// looked at. Then every item is stored and the result is true. Otherwise
// nothing is stored and the result is false, and the general statement must
// read the record from its start. Where this succeeds the general statement
// would store the same doubles and consume only `record`.
//
// The bytes from record.data() up to readable_end may be read (they need not
// belong to the record): sixteen bytes are looked at at once.
bool read_plain_values(std::string_view record, const char* readable_end,
                       std::span<double* const> items);

// A plain value's text as it stood in its record: the sixteen bytes from
// the first character of its mantissa (digits with perhaps a point, then
// whatever followed), how many digits stand before and after the point,
// and whether a minus sign came first.
struct PlainText {
  char mantissa[16];
  std::uint8_t integer_digits;
  std::uint8_t fraction_digits;
  bool negative;
};

// A run of statements of two double items at once, while read_plain_values
// would take each one from its record alone: from the source's next record
// on, every record that lies whole in the buffer (line feed read) and starts
// with two plain values gives x[i] and y[i] and is taken. Stops at max
// records, at the first record that is not such (left for the general
// statement, which may also need to read more), or near the end of the
// buffer. Returns the number of records taken; never reads the descriptor.
// The values' texts go to x_texts[i] and y_texts[i].
int read_plain_pairs(RecordSource& source, int max, double* xs, double* ys, PlainText* x_texts,
                     PlainText* y_texts);

}  // namespace textio
