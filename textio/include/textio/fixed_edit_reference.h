#pragma once
// F0.d editing through std::to_chars, exact for every double. edit_fixed
// falls back to it outside its integer range, and it is the reference that
// edit_fixed is tested against.
#include <cstddef>

namespace textio {

// Same contract and output as edit_fixed.
std::size_t edit_fixed_reference(double v, int decimals, char* dst);

}  // namespace textio
