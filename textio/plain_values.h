#pragma once
// The common statement of double items, read without the general machinery:
// every value a plain decimal number in the statement's first record.
#include <cstddef>
#include <span>
#include <string_view>

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

}  // namespace textio
