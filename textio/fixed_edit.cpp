#include "textio/fixed_edit.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "textio/fixed_edit_reference.h"

namespace textio {
namespace {

static_assert(std::endian::native == std::endian::little,
              "digit words are stored with their lowest byte first");

__extension__ typedef unsigned __int128 uint128;

// The integer path edits |v| < 10^8 with at most 8 decimals, so that the
// integer part and the decimals each fit one word of eight digits.
constexpr int kWordDigits = 8;
constexpr std::uint64_t kPow10[kWordDigits + 1] = {1,      10,      100,      1000,     10000,
                                                   100000, 1000000, 10000000, 100000000};

// Digit words hold one digit value per byte, the most significant digit in
// the lowest byte, which is memory order. The splits into halves, pairs and
// digits work on all lanes of the word at once: x * 10486 >> 20 is x / 100
// for every x < 10^4, x * 103 >> 10 is x / 10 for every x < 100, and no
// lane overflows.

// Splits 16-bit lanes, each below 100, into their tens and units digits.
std::uint64_t split_pairs(std::uint64_t pairs) {
  const std::uint64_t tens = (pairs * 103 >> 10) & 0x000F000F000F000FULL;
  return tens | (pairs - tens * 10) << 8;
}

// The eight digits of n < 10^8, leading zeros included.
std::uint64_t eight_digit_values(std::uint32_t n) {
  const std::uint64_t halves = n / 10000 | std::uint64_t{n % 10000} << 32;
  const std::uint64_t hundreds = (halves * 10486 >> 20) & 0x0000007F0000007FULL;
  return split_pairs(hundreds | (halves - hundreds * 100) << 16);
}

// The four digits of n < 10^4, leading zeros included, as the last four of
// an eight-digit word; shorter to compute than eight_digit_values.
std::uint64_t four_digit_values(std::uint32_t n) {
  const std::uint32_t hundreds = n * 10486 >> 20;
  return split_pairs(std::uint64_t{hundreds | (n - hundreds * 100) << 16} << 32);
}

// Stores the digits of the word after its first `skip` at p and returns the
// end of them. The whole word is stored, so up to `skip` bytes after the end
// are overwritten; the field's capacity leaves room for that.
char* put_digits(char* p, std::uint64_t digit_values, int skip) {
  const std::uint64_t text = (digit_values + 0x3030303030303030ULL) >> (8 * skip);
  std::memcpy(p, &text, sizeof text);
  return p + kWordDigits - skip;
}

// The editor proper; inlined into one copy per common number of decimals, so
// that its powers of ten and shifts become constants there.
[[gnu::always_inline]] inline std::size_t edit_fixed_inline(double v, int decimals, char* dst) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const bool negative = (bits >> 63) != 0;
  const int biased_exponent = static_cast<int>(bits >> 52 & 0x7ff);

  // |v| = significand / 2^shift exactly.
  std::uint64_t significand = bits & ((std::uint64_t{1} << 52) - 1);
  int shift = 1074;
  if (biased_exponent != 0) {
    significand |= std::uint64_t{1} << 52;
    shift = 1075 - biased_exponent;
  }
  // A shift of 26 or more means |v| < 2^27, which holds every value below
  // 10^8 (the rest of that range is sent on below, once the integer part is
  // known). Larger values, NaN and the infinities go to the general editor.
  if (shift < 26 || decimals > kWordDigits) return edit_fixed_reference(v, decimals, dst);
  if (shift > 64) {
    // |v| < 2^-11, less than half of 10^-3: with up to 3 decimals it rounds
    // to zero.
    if (decimals > 3) return edit_fixed_reference(v, decimals, dst);
    significand = 0;
    shift = 64;
  }

  // |v| rounded to d decimals is integer + fraction / 10^d. The bits below
  // the binary point, moved to the top of a word, are the fraction of |v| in
  // units of 2^-64, exactly. Times 10^d, the high word holds the d decimals
  // and the low word what is left below the last of them, in units of 2^-64,
  // which is compared with one half. A tie goes to the even neighbour, judged
  // on the last digit kept: the fraction's, or the integer's when d = 0.
  std::uint64_t integer = significand >> 1 >> (shift - 1);
  const std::uint64_t below_point = significand << (64 - shift);
  const uint128 scaled = static_cast<uint128>(below_point) * kPow10[decimals];
  std::uint64_t fraction = static_cast<std::uint64_t>(scaled >> 64);
  const auto rest = static_cast<std::uint64_t>(scaled);
  constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;
  const std::uint64_t last_kept = decimals == 0 ? integer : fraction;
  fraction += (rest > kHalf) | ((rest == kHalf) & (last_kept & 1));
  if (fraction == kPow10[decimals]) {
    ++integer;
    fraction = 0;
  }
  if (integer >= kPow10[kWordDigits]) return edit_fixed_reference(v, decimals, dst);

  // The sign is stored in any case and kept only for a negative value that
  // does not round to zero.
  char* p = dst;
  *p = '-';
  p += negative && (integer | fraction) != 0;
  if (decimals > 0 && decimals < kWordDigits && integer < kPow10[kWordDigits - decimals]) {
    // The integer part and the decimals fit one word together: its first
    // 8 - d digits are the integer part, whose leading zeros are dropped but
    // never its last digit, and the point goes before the last d.
    const std::uint64_t digits =
        eight_digit_values(static_cast<std::uint32_t>(integer * kPow10[decimals] + fraction));
    const int integer_places = kWordDigits - decimals;
    const int skip = std::countr_zero(digits | 1ULL << (8 * (integer_places - 1))) / 8;
    p = put_digits(p, digits, skip) - decimals;
    *p++ = '.';
    return static_cast<std::size_t>(put_digits(p, digits, integer_places) - dst);
  }
  // Leading zeros of the integer part are dropped, but never its last digit.
  const std::uint64_t integer_digits = eight_digit_values(static_cast<std::uint32_t>(integer));
  p = put_digits(p, integer_digits, std::countr_zero(integer_digits | 1ULL << 56) / 8);
  *p++ = '.';
  if (decimals > 0) {
    const auto small = static_cast<std::uint32_t>(fraction);
    const std::uint64_t fraction_digits =
        decimals <= 4 ? four_digit_values(small) : eight_digit_values(small);
    p = put_digits(p, fraction_digits, kWordDigits - decimals);
  }
  return static_cast<std::size_t>(p - dst);
}

}  // namespace

std::size_t edit_fixed_from_text(const PlainText& text, double value, int decimals, char* dst) {
  const int integer_digits = text.integer_digits;
  const int fraction_digits = text.fraction_digits;
  if (integer_digits < 1 || integer_digits > kWordDigits || fraction_digits > decimals ||
      (text.mantissa[0] == '0' && integer_digits > 1) || (text.negative && value == 0.0))
    return 0;
  // The text's digits, its point (or a new one after the integer digits),
  // then zeros up to d decimals; at most 3 are needed, 4 are stored.
  char* p = dst;
  *p = '-';
  p += text.negative;
  std::memcpy(p, text.mantissa, sizeof text.mantissa);
  p[integer_digits] = '.';
  std::memcpy(p + integer_digits + 1 + fraction_digits, "0000", 4);
  return static_cast<std::size_t>(p + integer_digits + 1 + decimals - dst);
}

char* edit_result_fields(double x, double y, double fc, const PlainText& x_text,
                         const PlainText& y_text, char* dst) {
  std::size_t n = edit_fixed_from_text(x_text, x, 2, dst);
  char* p = dst + (n != 0 ? n : edit_fixed_inline(x, 2, dst));
  *p++ = '\t';
  n = edit_fixed_from_text(y_text, y, 3, p);
  p += n != 0 ? n : edit_fixed_inline(y, 3, p);
  *p++ = '\t';
  return p + edit_fixed_inline(fc, 3, p);
}

std::size_t edit_fixed(double v, int decimals, char* dst) {
  switch (decimals) {
    case 2: return edit_fixed_inline(v, 2, dst);
    case 3: return edit_fixed_inline(v, 3, dst);
    default: return edit_fixed_inline(v, decimals, dst);
  }
}

}  // namespace textio
