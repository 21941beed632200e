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
// plain number (optional sign, decimal digits with at most one point, at most
// 19 digits, converted exactly by one rounded operation) and the values are
// separated by blanks and tabs or by one comma between optional blanks; each
// number ends at the record end, a blank, tab or comma, and what follows the
// last one is not looked at. Then every item is stored and the result is true;
// otherwise nothing is stored and the result is false, and the general
// statement must read the record from its start. Where this succeeds the
// general statement would store the same doubles and consume only `record`.
//
// The bytes from record.data() up to readable_end may be read (they need not
// belong to the record): digits are looked at eight bytes at a time.
bool read_plain_values(std::string_view record, const char* readable_end,
                       std::span<double* const> items);

}  // namespace textio
