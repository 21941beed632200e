#pragma once
// Number tokens: the text of one value for a double item, read where it
// stands in the record.
#include <cstddef>
#include <string_view>

namespace textio {

struct NumberToken {
  int status = 0;       // kReadOk, kSyntaxError or kConversionError (list_input.h)
  double value = 0;     // value and end are valid when status is kReadOk
  std::size_t end = 0;  // index in the record just past the token
};

// Reads the token that begins at record[start] (start < record.size()): a
// decimal number with optional sign, point and exponent (letter E, D or Q, or
// a sign alone after the mantissa); an INF, INFINITY or NAN word; or a logical
// token (T, F, .T, .F and anything after them), which gives -1.0 or 0.0.
// A number ends at a space, tab, comma, slash, right parenthesis, asterisk
// or the end of the record (repeat counts are found before the token is
// read, so an asterisk after a number ends it: "1.5*2" is 1.5); a word or a
// logical token ends at the same characters but the asterisk.
NumberToken scan_number_token(std::string_view record, std::size_t start);

}  // namespace textio
