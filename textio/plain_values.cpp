#include "textio/plain_values.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

#include "textio/decimal_to_double.h"

namespace textio {
namespace {

// The record is classified sixteen bytes at a time into bit masks (bit i for
// byte i), so that the ends of digit runs and of blank runs are found with
// bit operations instead of a walk over every byte. Digits are converted
// eight at a time in a 64-bit word.
static_assert(std::endian::native == std::endian::little, "the first byte of a word must be its lowest");

constexpr std::size_t kWord = 8;
constexpr std::size_t kChunk = 16;
constexpr std::size_t kWindow = 64;  // bytes classified; a value reaching past them goes the general way
constexpr std::uint64_t kEachByte = 0x0101'0101'0101'0101;

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

// Bit i of each mask tells about byte i of the kChunk bytes at p.
struct ChunkClasses {
  std::uint64_t non_digits;
  std::uint64_t blanks;  // spaces and tabs
};

ChunkClasses classify_chunk(const char* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i from_zero = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
  const __m128i digits = _mm_cmpeq_epi8(_mm_min_epu8(from_zero, _mm_set1_epi8(9)), from_zero);
  const __m128i blanks =
      _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')));
  const auto bits = [](__m128i flags) { return static_cast<std::uint64_t>(_mm_movemask_epi8(flags)); };
  return {bits(digits) ^ 0xFFFF, bits(blanks)};
}

// The position of the first set bit of mask at or after `from`; kWindow when none.
std::size_t next_bit(std::uint64_t mask, std::size_t from) {
  return static_cast<std::size_t>(std::countr_zero(from < kWindow ? mask & (~std::uint64_t{0} << from) : 0));
}

// The value of the `count` digits (1 to 8) in the lowest bytes of word. They
// are moved to the top of the word behind leading zeros, then pairs, fours
// and eights of digits are combined by multiplications.
std::uint64_t word_value(std::uint64_t word, std::size_t count) {
  std::uint64_t x = (word ^ (kEachByte * '0')) << (8 * (kWord - count));
  x = x * 10 + (x >> 8);
  constexpr std::uint64_t kPairs = 0x0000'00FF'0000'00FF;
  constexpr std::uint64_t kHigh = 100 + (std::uint64_t{1'000'000} << 32);
  constexpr std::uint64_t kLow = 1 + (std::uint64_t{10'000} << 32);
  return ((x & kPairs) * kHigh + ((x >> 16) & kPairs) * kLow) >> 32;
}

// The number spelt by `count` digits at p (count at most kExactDigitsMax).
std::uint64_t run_value(const char* p, std::size_t count) {
  std::uint64_t value = 0;
  for (; count > kWord; count -= kWord, p += kWord) {
    value = value * kPowersOfTen[kWord] + word_value(load_word(p), kWord);
  }
  return count == 0 ? value : value * kPowersOfTen[count] + word_value(load_word(p), count);
}

bool ends_value(char c) { return c == ' ' || c == '\t' || c == ','; }

}  // namespace

bool read_plain_values(std::string_view record, const char* readable_end,
                       std::span<double* const> items) {
  if (items.size() > kPlainItemsMax) return false;
  const std::size_t length = record.size();
  const std::size_t limit = std::min(length, kWindow);
  const char* base = record.data();
  char copy[kWindow + kChunk];
  if (static_cast<std::size_t>(readable_end - base) < limit + kChunk) {
    std::copy_n(base, limit, copy);
    base = copy;
  }

  // stops: bytes that are not digits, and every position from the record
  // end on. blanks: spaces and tabs. A carriage return inside the record is
  // neither, so it sends the statement the general way.
  std::uint64_t stops = 0;
  std::uint64_t blanks = 0;
  for (std::size_t at = 0; at < limit; at += kChunk) {
    const ChunkClasses classes = classify_chunk(base + at);
    stops |= classes.non_digits << at;
    blanks |= classes.blanks << at;
  }
  if (limit < kWindow) {
    stops |= ~std::uint64_t{0} << limit;
    blanks &= ~(~std::uint64_t{0} << limit);
  }

  double values[kPlainItemsMax];
  std::size_t at = next_bit(~blanks, 0);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) {
      // After a value: blanks, then at most one comma with blanks after it.
      // A comma first in the record is a null value and fails as a number.
      at = next_bit(~blanks, at);
      if (at < limit && base[at] == ',') at = next_bit(~blanks, at + 1);
    }
    if (at >= limit) return false;  // the list goes on in the next record, or past the window
    const bool negative = base[at] == '-';
    const std::size_t integer_start = at + (negative || base[at] == '+');
    const std::size_t integer_end = next_bit(stops, integer_start);
    std::size_t fraction_start = integer_end;
    std::size_t end = integer_end;
    if (integer_end < limit && base[integer_end] == '.') {
      fraction_start = integer_end + 1;
      end = next_bit(stops, fraction_start);
    }
    // The value must end at the record end, or at a blank, tab or comma:
    // anything else (an exponent, asterisk, slash, quote, letter, ...) is
    // for the general rules.
    if (end < limit ? !ends_value(base[end]) : length > limit) return false;
    const std::size_t integer_digits = integer_end - integer_start;
    const std::size_t fraction_digits = end - fraction_start;
    const std::size_t digit_count = integer_digits + fraction_digits;
    if (digit_count == 0 || digit_count > kExactDigitsMax) return false;
    // At most 19 digits in all, so this is the number without its point.
    const std::uint64_t digits = run_value(base + integer_start, integer_digits) * kPowersOfTen[fraction_digits] +
                                 run_value(base + fraction_start, fraction_digits);
    double magnitude = 0;
    if (!exact_decimal_to_double(digits, -static_cast<std::int64_t>(fraction_digits), magnitude)) return false;
    values[i] = negative ? -magnitude : magnitude;
    at = end;
  }
  // In list order, so that items naming the same double end as they would.
  for (std::size_t i = 0; i < items.size(); ++i) *items[i] = values[i];
  return true;
}

}  // namespace textio
