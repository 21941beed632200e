#pragma once
// List-directed input: one read statement takes free-form values from the
// records of a source and stores them into its items in order.
#include <span>

#include "textio/fixed_text.h"
#include "textio/record_source.h"

namespace textio {

// Outcomes of one read statement.
inline constexpr int kReadOk = 0;
inline constexpr int kReadEnd = -1;           // end of file before the statement had its values
inline constexpr int kSyntaxError = 59;       // malformed value
inline constexpr int kConversionError = 64;   // value that cannot become the item's kind
inline constexpr int kReadFailure = 39;       // the operating system refused the read (errno in source.os_error)

// One statement of double items, taken whole. Items reached keep their new
// values when the statement fails; `stored` (if given) receives the number of
// items that were given a value (nulls and a slash leave items unchanged).
int read_list_numbers(RecordSource& source, std::span<double* const> items, int* stored = nullptr);

// One statement of a single text item.
int read_list_text(RecordSource& source, FixedText& item);

}  // namespace textio
