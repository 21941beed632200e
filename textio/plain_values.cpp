#include "textio/plain_values.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

#include "textio/decimal_to_double.h"
#include "textio/record_source.h"

namespace textio {
namespace {

// A mantissa (digits and point, after the sign) is found by classifying the
// sixteen bytes from its start at once, and its digits are converted eight
// at a time in a 64-bit word, the first digit in the lowest byte.
static_assert(std::endian::native == std::endian::little,
              "the first byte of a word must be its lowest");

constexpr std::size_t kWord = 8;
// A mantissa must end within kChunk bytes. They are loaded at once from a
// place at most at the record's end, so kChunk bytes past the end must be
// readable; a record too close to the end of readable memory is copied to
// the stack first (one this long at most).
constexpr std::size_t kChunk = 16;
constexpr std::size_t kCopiedRecordMax = 256;
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
                                          1'000'000'000'000'000};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool ends_value(char c) { return c == ' ' || c == '\t' || c == ','; }

// Bit i set when byte i of the kChunk bytes at p is not a decimal digit.
std::uint32_t non_digits(const char* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i from_zero = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
  const __m128i digits = _mm_cmpeq_epi8(_mm_min_epu8(from_zero, _mm_set1_epi8(9)), from_zero);
  return static_cast<std::uint32_t>(_mm_movemask_epi8(digits)) ^ 0xFFFFu;
}

std::uint64_t load_digits(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, kWord);
  return word ^ (kEachByte * '0');  // digits become 0 to 9
}

// The number spelt by the `count` digits (1 to kWord) in the lowest bytes of
// `digits`: they are moved to the top behind leading zeros, then pairs,
// fours and eights of digits are combined by multiplications.
std::uint64_t low_digits_value(std::uint64_t digits, std::size_t count) {
  std::uint64_t x = digits << (8 * (kWord - count));
  x = x * 10 + (x >> 8);
  constexpr std::uint64_t kPairs = 0x0000'00FF'0000'00FF;
  constexpr std::uint64_t kHigh = 100 + (std::uint64_t{1'000'000} << 32);
  constexpr std::uint64_t kLow = 1 + (std::uint64_t{10'000} << 32);
  return ((x & kPairs) * kHigh + ((x >> 16) & kPairs) * kLow) >> 32;
}

// The number spelt by the `count` digits at p (fewer than kChunk).
std::uint64_t run_value(const char* p, std::size_t count) {
  if (count <= kWord) return count == 0 ? 0 : low_digits_value(load_digits(p), count);
  return low_digits_value(load_digits(p), kWord) * kPowersOfTen[count - kWord] +
         low_digits_value(load_digits(p + kWord), count - kWord);
}

// The number spelt by the digits of a mantissa of `length` bytes at p
// (fewer than kChunk, at least one digit) whose point, if any, is at
// `point` (length when there is none): the number without its point.
[[gnu::always_inline]] inline std::uint64_t mantissa_value(const char* p, std::size_t length,
                                                           std::size_t point) {
  const bool has_point = point < length;
  if (length <= kWord) {
    // One word: the bytes after the point move down over it (without a
    // point, what moves lies past the digits and is dropped). The bytes
    // before the point are masked in two shifts, as 8 * point may be 64.
    const std::uint64_t digits = load_digits(p);
    const std::uint64_t before = ((std::uint64_t{1} << (4 * point)) << (4 * point)) - 1;
    return low_digits_value((digits & before) | ((digits >> 8) & ~before), length - has_point);
  }
  const std::size_t fraction_start = point + has_point;
  const std::size_t fraction_digits = length - fraction_start;
  return run_value(p, point) * kPowersOfTen[fraction_digits] +
         run_value(p + fraction_start, fraction_digits);
}

// Reads one plain value at p (blanks before it already passed) from a record
// that ends at `end`, with kChunk bytes readable from p on. On success the
// value is stored and p moves past it.
[[gnu::always_inline]] inline bool read_plain_value(const char*& p, const char* end, double& value,
                                                    PlainText* text = nullptr) {
  // An optional sign, then digits with at most one point, ending at the
  // record end, a blank, tab or comma. Anything else (a slash, a letter,
  // a quote, an asterisk, a second sign or point, an exponent, a carriage
  // return inside the record, ...) is for the general rules.
  const char lead = *p;
  const bool negative = lead == '-';
  const char* q = p + (negative || lead == '+');
  const auto remaining = static_cast<std::size_t>(end - q);
  std::uint32_t stops = non_digits(q) | (remaining < kChunk ? ~0u << remaining : 0u);
  const auto integer_digits = static_cast<std::size_t>(std::countr_zero(stops));
  const bool point = integer_digits < remaining && q[integer_digits] == '.';
  if (point) stops &= stops - 1;
  const auto mantissa_length = static_cast<std::size_t>(std::countr_zero(stops));  // 32 when none
  if (mantissa_length >= kChunk) return false;
  const char* const after = q + mantissa_length;
  if (after != end && !ends_value(*after)) return false;
  const std::size_t digit_count = mantissa_length - point;
  if (digit_count == 0) return false;

  // At most 15 digits: the number without its point is below 2^53, and
  // the one rounded operation of the exact shortcut converts it.
  const std::uint64_t digits =
      mantissa_value(q, mantissa_length, point ? integer_digits : mantissa_length);
  const std::size_t fraction_digits = digit_count - integer_digits;
  double magnitude = 0;
  if (!exact_decimal_to_double(digits, -static_cast<std::int64_t>(fraction_digits), magnitude))
    return false;
  value = negative ? -magnitude : magnitude;
  p = after;
  if (text) {
    std::memcpy(text->mantissa, q, kChunk);
    text->integer_digits = static_cast<std::uint8_t>(integer_digits);
    text->fraction_digits = static_cast<std::uint8_t>(fraction_digits);
    text->negative = negative;
  }
  return true;
}

// Passes the blanks before value i of a record, and after a value at most
// one comma with blanks after it (a comma before the first value is a null
// value, and fails later as a value without digits). False when the record
// ends first: the list goes on in the next record.
[[gnu::always_inline]] inline bool reach_value(const char*& p, const char* end, bool after_value) {
  while (p != end && is_blank(*p)) ++p;
  if (after_value && p != end && *p == ',') {
    ++p;
    while (p != end && is_blank(*p)) ++p;
  }
  return p != end;
}

// Offset of the first line feed among the kRecordScan bytes at p, of which
// only the first `valid` count; kRecordScan when there is none.
constexpr std::size_t kRecordScan = 32;

std::size_t line_feed_offset(const char* p, std::size_t valid) {
  const __m128i line_feed = _mm_set1_epi8('\n');
  const auto flags = [&](std::size_t at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, line_feed)));
  };
  std::uint32_t line_feeds = flags(0) | (flags(16) << 16);
  if (valid < kRecordScan) line_feeds &= (std::uint32_t{1} << valid) - 1;
  return line_feeds == 0 ? kRecordScan : static_cast<std::size_t>(std::countr_zero(line_feeds));
}

}  // namespace

bool read_plain_values(std::string_view record, const char* readable_end,
                       std::span<double* const> items) {
  if (items.size() > kPlainItemsMax) return false;
  const std::size_t length = record.size();
  const char* p = record.data();
  char copy[kCopiedRecordMax + kChunk];
  if (static_cast<std::size_t>(readable_end - p) < length + kChunk) {
    if (length > kCopiedRecordMax) return false;
    std::copy_n(p, length, copy);
    p = copy;
  }
  const char* const end = p + length;

  double values[kPlainItemsMax];
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!reach_value(p, end, i > 0) || !read_plain_value(p, end, values[i])) return false;
  }
  // In list order, so that items naming the same double end as they would.
  for (std::size_t i = 0; i < items.size(); ++i) *items[i] = values[i];
  return true;
}

int read_plain_pairs(RecordSource& source, int max, double* xs, double* ys, PlainText* x_texts,
                     PlainText* y_texts) {
  // Records this close to the end of the buffer are left to the statements,
  // so that the scan and the values may read kRecordScan + kChunk bytes on.
  constexpr std::size_t kReadAhead = kRecordScan + kChunk;
  if (source.buffer.size() < kReadAhead) return 0;
  const char* const base = source.buffer.data();
  const char* const filled_end = base + source.filled;
  const char* const last_start = base + (source.buffer.size() - kReadAhead);
  const char* record = base + source.next;
  int taken = 0;
  while (taken < max && record <= last_start) {
    const std::size_t line_feed =
        line_feed_offset(record, static_cast<std::size_t>(filled_end - record));
    if (line_feed == kRecordScan) break;  // a long record, or one not yet read whole
    const char* end = record + line_feed;
    while (end != record && end[-1] == '\r') --end;
    const char* p = record;
    double x, y;
    if (!reach_value(p, end, false) || !read_plain_value(p, end, x, x_texts + taken) ||
        !reach_value(p, end, true) || !read_plain_value(p, end, y, y_texts + taken))
      break;
    xs[taken] = x;
    ys[taken] = y;
    ++taken;
    record += line_feed + 1;
  }
  source.next = static_cast<std::size_t>(record - base);
  source.records += static_cast<std::size_t>(taken);
  return taken;
}

}  // namespace textio
