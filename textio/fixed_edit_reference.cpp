#include "textio/fixed_edit_reference.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "textio/fixed_edit.h"

namespace textio {
namespace {

// NaN and the infinities are padded with blanks to d + 310 characters.
std::size_t edit_padded(std::string_view text, int decimals, char* dst) {
  const std::size_t width = static_cast<std::size_t>(decimals) + 310;
  std::memcpy(dst, text.data(), text.size());
  std::memset(dst + text.size(), ' ', width - text.size());
  return width;
}

}  // namespace

std::size_t edit_fixed_reference(double v, int decimals, char* dst) {
  if (std::isnan(v)) return edit_padded("NaN", decimals, dst);
  if (std::isinf(v)) return edit_padded(v < 0 ? "-Infinity" : "Infinity", decimals, dst);

  // chars_format::fixed with a precision rounds the exact binary value to
  // nearest, ties to even, and never uses an exponent; the capacity leaves
  // room for the largest double's 309 digits and the point added below.
  const auto result = std::to_chars(dst, dst + fixed_field_capacity(decimals), v,
                                    std::chars_format::fixed, decimals);
  std::size_t length = static_cast<std::size_t>(result.ptr - dst);
  // With no decimals to_chars omits the point; F0.0 always writes it.
  if (decimals == 0) dst[length++] = '.';

  // A value that rounds to zero has no sign: "-0.00" becomes "0.00".
  if (dst[0] == '-' &&
      std::string_view(dst + 1, length - 1).find_first_not_of("0.") == std::string_view::npos) {
    std::memmove(dst, dst + 1, length - 1);
    --length;
  }
  return length;
}

}  // namespace textio
