#pragma once
// F0.d editing of doubles: the shortest field with exactly d digits after the
// decimal point, rounded to nearest (ties to even) on the exact binary value.
#include <cstddef>

namespace textio {

// Bytes edit_fixed may write for d decimals: a sign, 309 integer digits, the
// point and d digits; or NaN/Infinity padded with blanks to d + 310.
constexpr std::size_t fixed_field_capacity(int decimals) {
  return static_cast<std::size_t>(decimals) + 312;
}

// Writes v as F0.d at dst (room for fixed_field_capacity(d) bytes) and
// returns the length of the field. 0 <= d <= 17. Bytes of that room past the
// field may be overwritten: the digits are stored a word at a time.
std::size_t edit_fixed(double v, int decimals, char* dst);

}  // namespace textio
