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

// The bytes of the record's first kWindow bytes by kind, bit i for byte i.
// Bytes past the record's end are of no kind.
struct ByteKinds {
  std::uint64_t digits = 0;
  std::uint64_t points = 0;
  std::uint64_t signs = 0;
  std::uint64_t commas = 0;
  std::uint64_t blanks = 0;  // spaces and tabs
};

// Adds the kinds of the kChunk bytes at base + at.
void classify_chunk(const char* base, std::size_t at, ByteKinds& kinds) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at));
  const auto bits = [&](__m128i flags) { return static_cast<std::uint64_t>(_mm_movemask_epi8(flags)) << at; };
  const auto equal = [&](char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
  const __m128i from_zero = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
  kinds.digits |= bits(_mm_cmpeq_epi8(_mm_min_epu8(from_zero, _mm_set1_epi8(9)), from_zero));
  kinds.points |= bits(equal('.'));
  kinds.signs |= bits(_mm_or_si128(equal('+'), equal('-')));
  kinds.commas |= bits(equal(','));
  kinds.blanks |= bits(_mm_or_si128(equal(' '), equal('\t')));
}

// Bits 0 to n - 1 (n at most kWindow).
std::uint64_t bits_below(std::size_t n) { return n < kWindow ? (std::uint64_t{1} << n) - 1 : ~std::uint64_t{0}; }

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

  ByteKinds kinds;
  for (std::size_t at = 0; at < limit; at += kChunk) classify_chunk(base, at, kinds);
  const std::uint64_t in_record = bits_below(limit);
  const std::uint64_t numbers = (kinds.digits | kinds.points | kinds.signs) & in_record;
  // A carriage return inside the record, a slash, a letter, a quote, ...:
  // where one stands before the last value has ended, the general rules decide.
  const std::uint64_t others = ~(numbers | kinds.commas | kinds.blanks) & in_record;
  // Each run of number bytes is a candidate value, from its start bit up to
  // (not including) its end bit; the runs are taken in order.
  std::uint64_t starts = numbers & ~(numbers << 1);
  std::uint64_t ends = ~numbers & (numbers << 1);

  double values[kPlainItemsMax];
  std::size_t end = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const auto start = static_cast<std::size_t>(std::countr_zero(starts));
    if (start >= limit) return false;  // the list goes on in the next record, or past the window
    const std::size_t previous_end = end;
    end = static_cast<std::size_t>(std::countr_zero(ends));  // kWindow when the run fills the window
    if (end > length) return false;                          // the value may go on past the window
    starts &= starts - 1;
    ends &= ends - 1;

    // Between two values blanks and at most one comma; before the first one
    // blanks only, as a comma there is a null value.
    const std::uint64_t gap_commas = kinds.commas & bits_below(start) & ~bits_below(previous_end);
    if (i == 0 ? gap_commas != 0 : (gap_commas & (gap_commas - 1)) != 0) return false;

    // The value: an optional sign, digits with at most one point.
    const std::uint64_t value_bits = bits_below(end) & ~bits_below(start);
    const std::uint64_t sign = kinds.signs & value_bits;
    const std::uint64_t point = kinds.points & value_bits;
    if ((sign & ~(std::uint64_t{1} << start)) != 0 || (point & (point - 1)) != 0) return false;
    const std::size_t integer_start = start + (sign != 0);
    const std::size_t integer_end = point ? static_cast<std::size_t>(std::countr_zero(point)) : end;
    const std::size_t fraction_start = point ? integer_end + 1 : end;
    const std::size_t integer_digits = integer_end - integer_start;
    const std::size_t fraction_digits = end - fraction_start;
    const std::size_t digit_count = integer_digits + fraction_digits;
    if (digit_count == 0 || digit_count > kExactDigitsMax) return false;
    // At most 19 digits in all, so this is the number without its point.
    const std::uint64_t digits = run_value(base + integer_start, integer_digits) * kPowersOfTen[fraction_digits] +
                                 run_value(base + fraction_start, fraction_digits);
    double magnitude = 0;
    if (!exact_decimal_to_double(digits, -static_cast<std::int64_t>(fraction_digits), magnitude)) return false;
    values[i] = base[start] == '-' ? -magnitude : magnitude;
  }
  // Everything up to the last value, and the byte that ends it, is of the
  // kinds taken here: the last value ends at a blank, tab, comma or the
  // record end, and no gap holds anything but blanks and commas.
  if ((others & bits_below(end + 1)) != 0) return false;

  // In list order, so that items naming the same double end as they would.
  for (std::size_t i = 0; i < items.size(); ++i) *items[i] = values[i];
  return true;
}

}  // namespace textio
