#pragma once
// The general statement of double items, which follows every reading rule
// from the statement's first record on. read_list_numbers tries the plain
// reading of plain_values.h first; tests compare the two through this entry.
#include <span>

#include "textio/record_source.h"

namespace textio {

// As read_list_numbers (list_input.h), without the plain reading.
int read_list_numbers_general(RecordSource& source, std::span<double* const> items,
                              int* stored = nullptr);

}  // namespace textio
