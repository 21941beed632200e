#pragma once
// List-directed input: one read statement takes free-form values from the
// records of a source and stores them into its items in order.
//
// Every statement starts at a fresh record (the rest of the record the
// previous one used is dropped) and ends as soon as its last item has a value
// or a slash ends the value list; the rest of that record and any repeat
// copies left over are dropped. Values are separated by blanks (space, tab,
// carriage return, record end), by a comma with optional blanks around it, or
// by a slash. A comma that does not follow a value is a null value, which
// leaves its item unchanged. r*c stands for r copies of c, r* for r nulls.
#include <span>

#include "textio/fixed_text.h"
#include "textio/record_source.h"

namespace textio {

// Outcomes of one read statement.
inline constexpr int kReadOk = 0;
inline constexpr int kReadEnd = -1;          // end of file before the statement had its values
inline constexpr int kSyntaxError = 59;      // malformed value
inline constexpr int kConversionError = 64;  // value that cannot become the item's kind
inline constexpr int kReadFailure =
    39;  // the operating system refused the read (errno in source.os_error)

// One statement of double items, taken whole. A value is a number token
// (number_token.h) or a pair (a, b) of which a is taken; a quoted text is read
// whole and then refused as a conversion error. Items reached keep their new
// values when the statement fails; `stored` (if given) receives the number of
// items that were given a value (nulls and a slash leave items unchanged).
int read_list_numbers(RecordSource& source, std::span<double* const> items, int* stored = nullptr);

// One statement of a single text item: a quoted value (apostrophes or
// quotation marks, a doubled delimiter standing for one, running on over
// records) or an undelimited one (up to a blank, tab, comma, slash, line feed
// or NUL, within its record). Values of more than 2049 characters are syntax
// errors; the item keeps the first kTextLength characters, padded with blanks.
int read_list_text(RecordSource& source, FixedText& item);

}  // namespace textio
