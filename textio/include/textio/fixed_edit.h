#pragma once
// F0.d editing of doubles: the shortest field with exactly d digits after the
// decimal point, rounded to nearest (ties to even) on the exact binary value.
#include <cstddef>

#include "textio/plain_values.h"

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

// F0.d of a value read from a plain decimal, written from the decimal's own
// digits when they give it directly: at most 8 digits before the point, no
// leading zero there, at most d after it, and not a negative zero. The
// value is the double nearest to that decimal D, so it lies within 2^-26 of
// D, far less than half of 10^-d, and D is a multiple of 10^-d: rounded to d
// decimals the value is D itself, whose digits are the text's padded with
// zeros. Returns the field's length, or 0 when the text does not give it
// (then edit_fixed must). dst has room for fixed_field_capacity(d) bytes;
// up to 17 of them may be overwritten.
std::size_t edit_fixed_from_text(const PlainText& text, double value, int decimals, char* dst);

// Bytes edit_result_fields may write.
constexpr std::size_t kResultFieldsCapacity =
    fixed_field_capacity(2) + 2 * fixed_field_capacity(3) + 2;

// The fields of a result line: x as F0.2, a tab, y as F0.3, a tab, fc as
// F0.3, the same bytes as three edit_fixed calls give, at dst (room for
// kResultFieldsCapacity bytes, which may all be overwritten). x and y are
// written from their texts where edit_fixed_from_text can. Returns the end
// of the fields.
char* edit_result_fields(double x, double y, double fc, const PlainText& x_text,
                         const PlainText& y_text, char* dst);

}  // namespace textio
