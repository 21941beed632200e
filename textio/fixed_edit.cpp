#include "textio/fixed_edit.h"

#include <array>
#include <bit>
#include <cstdint>

#include "textio/fixed_edit_reference.h"

namespace textio {
namespace {

__extension__ typedef unsigned __int128 uint128;

constexpr auto kPow10 = [] {
  std::array<std::uint64_t, 20> table{};
  std::uint64_t p = 1;
  for (auto& entry : table) {
    entry = p;
    p *= 10;
  }
  return table;
}();

// "00" "01" ... "99": two digits per lookup.
constexpr auto kDigitPairs = [] {
  std::array<char, 200> table{};
  for (int i = 0; i < 100; ++i) {
    table[2 * i] = static_cast<char>('0' + i / 10);
    table[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return table;
}();

// Number of decimal digits of n; 1 for 0.
int decimal_digits(std::uint64_t n) {
  n |= 1;  // no power of ten is odd, so this keeps the count
  const int guess = std::bit_width(n) * 1233 >> 12;  // 1233 / 4096 ~ log10(2)
  return guess + (n >= kPow10[guess]);
}

// Takes the last two decimal digits off n and writes them before p.
char* put_pair(char* p, std::uint64_t& n) {
  const auto pair = static_cast<std::size_t>(n % 100) * 2;
  n /= 100;
  *--p = kDigitPairs[pair + 1];
  *--p = kDigitPairs[pair];
  return p;
}

// Writes integer, the point and fraction as exactly d digits (leading zeros
// kept). The field is filled from its right end once its length is known.
std::size_t write_fixed(std::uint64_t integer, std::uint64_t fraction, bool negative,
                        int decimals, char* dst) {
  const auto length =
      static_cast<std::size_t>(negative + decimal_digits(integer) + 1 + decimals);
  char* p = dst + length;
  if (decimals & 1) {
    *--p = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  for (int left = decimals / 2; left > 0; --left) p = put_pair(p, fraction);
  *--p = '.';
  while (integer >= 100) p = put_pair(p, integer);
  if (integer >= 10) {
    p = put_pair(p, integer);
  } else {
    *--p = static_cast<char>('0' + integer);
  }
  if (negative) *--p = '-';
  return length;
}

}  // namespace

std::size_t edit_fixed(double v, int decimals, char* dst) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const bool negative = (bits >> 63) != 0;
  const int biased_exponent = static_cast<int>(bits >> 52 & 0x7ff);
  if (biased_exponent == 0x7ff) return edit_fixed_reference(v, decimals, dst);

  // |v| = significand * 2^exponent exactly.
  std::uint64_t significand = bits & ((std::uint64_t{1} << 52) - 1);
  int exponent = -1074;
  if (biased_exponent != 0) {
    significand |= std::uint64_t{1} << 52;
    exponent = biased_exponent - 1075;
  }

  // |v| rounded to d decimals is integer + fraction / 10^d. Values of 2^64
  // and more go to the general editor.
  std::uint64_t integer = 0;
  std::uint64_t fraction = 0;
  if (exponent >= 0) {
    if (exponent > 11) return edit_fixed_reference(v, decimals, dst);
    integer = significand << exponent;
  } else {
    // The bits below the binary point, times 10^d, split at that point: the
    // quotient holds the d decimals, the exact remainder is compared with
    // half of 2^shift. below * 10^d < 2^53 * 10^17 < 2^110, so for a shift
    // past 110 the whole is less than that half and rounds to zero.
    const int shift = -exponent;
    std::uint64_t below = significand;
    if (shift < 53) {
      integer = significand >> shift;
      below = significand & ((std::uint64_t{1} << shift) - 1);
    }
    if (shift <= 110) {
      const uint128 scaled = static_cast<uint128>(below) * kPow10[decimals];
      const uint128 quotient = scaled >> shift;
      const uint128 remainder = scaled - (quotient << shift);
      const uint128 half = static_cast<uint128>(1) << (shift - 1);
      fraction = static_cast<std::uint64_t>(quotient);
      // A tie goes to the even neighbour: the parity of the last digit kept,
      // which is the fraction's, or the integer's when d = 0.
      const std::uint64_t last_kept = decimals == 0 ? integer : fraction;
      if (remainder > half || (remainder == half && (last_kept & 1) != 0)) ++fraction;
      if (fraction == kPow10[decimals]) {
        ++integer;
        fraction = 0;
      }
    }
  }
  // A value that rounds to zero is written without a sign.
  return write_fixed(integer, fraction, negative && (integer | fraction) != 0, decimals, dst);
}

}  // namespace textio
