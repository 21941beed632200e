#include "textio/plain_values.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "textio/decimal_to_double.h"

namespace textio {
namespace {

static_assert(std::endian::native == std::endian::little, "the first byte of a word must be its lowest");

constexpr std::size_t kWord = 8;
constexpr std::uint64_t kEachByte = 0x0101'0101'0101'0101;
constexpr std::uint64_t kHighBits = 0x8080'8080'8080'8080;

// A record this close to the end of readable memory is copied to the stack
// (this long at most) so that words can be loaded past its end.
constexpr std::size_t kCopiedRecordMax = 256;

constexpr std::uint64_t kPowersOfTen[] = {1,
                                          10,
                                          100,
                                          1'000,
                                          10'000,
                                          100'000,
                                          1'000'000,
                                          10'000'000,
                                          100'000'000,
                                          1'000'000'000,
                                          10'000'000'000,
                                          100'000'000'000,
                                          1'000'000'000'000,
                                          10'000'000'000'000,
                                          100'000'000'000'000,
                                          1'000'000'000'000'000,
                                          10'000'000'000'000'000,
                                          100'000'000'000'000'000,
                                          1'000'000'000'000'000'000,
                                          10'000'000'000'000'000'000u};
static_assert(std::size(kPowersOfTen) == kExactDigitsMax + 1);

std::uint64_t load_word(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, kWord);
  return word;
}

// The high bit of a byte is set where the word holds a non-digit. The lowest
// such byte, and every byte below it, is flagged exactly (a byte above may be
// flagged by a carry as well, which is never looked at).
std::uint64_t non_digit_bytes(std::uint64_t word) {
  const std::uint64_t x = word ^ (kEachByte * '0');  // digits become 0 to 9
  return ((x + kEachByte * 0x76) | x) & kHighBits;
}

// The flag of byte `remaining` when the record ends inside the word.
std::uint64_t record_end_byte(std::size_t remaining) {
  return remaining < kWord ? std::uint64_t{0x80} << (8 * remaining) : 0;
}

// The value of the `count` digits (1 to 8) in the lowest bytes of word. They
// are moved to the top of the word behind leading zeros, then pairs, fours
// and eights of digits are combined by multiplications.
std::uint64_t digits_value(std::uint64_t word, std::size_t count) {
  std::uint64_t x = (word ^ (kEachByte * '0')) << (8 * (kWord - count));
  x = x * 10 + (x >> 8);
  constexpr std::uint64_t kPairMask = 0x0000'00FF'0000'00FF;
  constexpr std::uint64_t kHigh = 100 + (std::uint64_t{1'000'000} << 32);
  constexpr std::uint64_t kLow = 1 + (std::uint64_t{10'000} << 32);
  return ((x & kPairMask) * kHigh + ((x >> 16) & kPairMask) * kLow) >> 32;
}

// The run of digits at p, before `end`: its length, and in `value` the
// number it spells when the length is at most kExactDigitsMax. Longer runs
// may be cut short, but their length is always reported above the limit.
std::size_t digit_run(const char* p, const char* end, std::uint64_t& value) {
  value = 0;
  std::size_t length = 0;
  for (;;) {
    const std::uint64_t word = load_word(p + length);
    const std::uint64_t stops =
        non_digit_bytes(word) | record_end_byte(static_cast<std::size_t>(end - p) - length);
    if (stops) {
      const std::size_t count = static_cast<std::size_t>(std::countr_zero(stops)) / 8;
      if (count > 0) value = value * kPowersOfTen[count] + digits_value(word, count);
      return length + count;
    }
    value = value * kPowersOfTen[kWord] + digits_value(word, kWord);
    length += kWord;
    if (length > kExactDigitsMax) return length;
  }
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

const char* skip_blanks(const char* p, const char* end) {
  while (p != end && is_blank(*p)) ++p;
  return p;
}

// The plain number at p; the position after it, or nullptr when the text at
// p is anything else (including a number the shortcut cannot convert). No
// repeat count can be hiding here: a count needs an asterisk after its digits.
const char* scan_plain(const char* p, const char* end, double& value) {
  if (p == end) return nullptr;
  const bool negative = *p == '-';
  if (negative || *p == '+') ++p;
  std::uint64_t integer = 0;
  const std::size_t integer_digits = digit_run(p, end, integer);
  p += integer_digits;
  std::uint64_t fraction = 0;
  std::size_t fraction_digits = 0;
  if (p != end && *p == '.') {
    ++p;
    fraction_digits = digit_run(p, end, fraction);
    p += fraction_digits;
  }
  const std::size_t digit_count = integer_digits + fraction_digits;
  if (digit_count == 0 || digit_count > kExactDigitsMax) return nullptr;
  if (p != end && *p != ' ' && *p != '\t' && *p != ',') return nullptr;
  // At most 19 digits in all, so this is the number without its point.
  const std::uint64_t digits = integer * kPowersOfTen[fraction_digits] + fraction;
  double magnitude = 0;
  if (!exact_decimal_to_double(digits, -static_cast<std::int64_t>(fraction_digits), magnitude)) {
    return nullptr;
  }
  value = negative ? -magnitude : magnitude;
  return p;
}

}  // namespace

bool read_plain_values(std::string_view record, const char* readable_end,
                       std::span<double* const> items) {
  if (items.size() > kPlainItemsMax) return false;
  const char* p = record.data();
  char copy[kCopiedRecordMax + kWord];
  if (static_cast<std::size_t>(readable_end - p) < record.size() + kWord) {
    if (record.size() > kCopiedRecordMax) return false;
    std::copy(record.begin(), record.end(), copy);
    p = copy;
  }
  const char* const end = p + record.size();
  double values[kPlainItemsMax];
  for (std::size_t i = 0; i < items.size(); ++i) {
    p = skip_blanks(p, end);
    // The one comma allowed after a value; at the start it would be a null.
    if (i > 0 && p != end && *p == ',') p = skip_blanks(p + 1, end);
    p = scan_plain(p, end, values[i]);
    if (!p) return false;
  }
  // In list order, so that items naming the same double end as they would.
  for (std::size_t i = 0; i < items.size(); ++i) *items[i] = values[i];
  return true;
}

}  // namespace textio
