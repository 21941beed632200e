#include "textio/decimal_to_double.h"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace textio {
namespace {

// Significant digits handed to the full conversion. Every double and every
// midpoint between neighbouring doubles has at most 768 significant digits,
// so with K >= 768 kept digits none of them lies strictly between the kept
// prefix T and T + 10^-K (in units of the leading digit). The dropped tail
// then only matters as "zero or not": a nonzero tail is replaced by one
// digit 1 after the prefix, which lies in that same open interval and so
// rounds exactly as the whole number does.
constexpr std::size_t kKeptDigits = 800;

// An exponent written for the full conversion is clamped to this: with at
// most kKeptDigits + 1 digits, any exponent beyond it still gives infinity
// or zero.
constexpr std::int64_t kWrittenExponentLimit = 99'999;

}  // namespace

std::optional<double> decimal_to_double(std::string_view mantissa, std::int64_t exponent) {
  const std::size_t point = mantissa.find('.');
  const std::int64_t fraction_digits =
      point == std::string_view::npos ? 0 : static_cast<std::int64_t>(mantissa.size() - point - 1);
  const std::size_t first = mantissa.find_first_not_of("0.");
  if (first == std::string_view::npos) return 0.0;

  // The significant digits (at most kKeptDigits of them, then the sticky
  // digit) with the power of ten of the last one, in from_chars syntax.
  char text[kKeptDigits + 32];
  std::size_t length = 0;
  std::int64_t scale = exponent - fraction_digits;
  bool nonzero_dropped = false;
  for (const char c : mantissa.substr(first)) {
    if (c == '.') continue;
    if (length < kKeptDigits) {
      text[length++] = c;
    } else {
      nonzero_dropped |= c != '0';
      ++scale;
    }
  }
  if (nonzero_dropped) {
    text[length++] = '1';
    --scale;
  }
  const std::int64_t written = std::clamp(scale, -kWrittenExponentLimit, kWrittenExponentLimit);
  const auto digit_count = static_cast<std::int64_t>(length);
  text[length++] = 'e';
  const char* const end = std::to_chars(text + length, text + sizeof text, written).ptr;

  double value = 0;
  if (std::from_chars(text, end, value).ec == std::errc::result_out_of_range) {
    // Only infinity and zero are out of range. The value is at least
    // 10^(written + digit_count - 1), so a positive sum means it overflowed.
    if (written + digit_count > 0) return std::nullopt;
    return 0.0;
  }
  return value;
}

}  // namespace textio
