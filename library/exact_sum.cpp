#include "fuelcalc/exact_sum.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "fuelcalc/error.hpp"

namespace fuelcalc {

void ExactSum::settle(Limbs& limbs) noexcept {
  for (std::size_t i = 0; i + 1 < limbs.size(); ++i) {
    const std::int64_t carry = limbs[i] >> 32;  // floor division by 2^32
    limbs[i] -= carry * (std::int64_t{1} << 32);
    limbs[i + 1] += carry;
  }
}

void ExactSum::add(const ExactSum& other) noexcept {
  Limbs theirs = other.limbs_;
  settle(theirs);
  settle(limbs_);
  // Every limb below the top now lies in [0, 2^32): their sums leave room
  // for as many terms as a fresh sum.
  for (std::size_t i = 0; i < limbs_.size(); ++i) limbs_[i] += theirs[i];
  unsettled_ = 1;
  nan_ = nan_ || other.nan_;
  plus_infinity_ = plus_infinity_ || other.plus_infinity_;
  minus_infinity_ = minus_infinity_ || other.minus_infinity_;
}

std::array<std::int64_t, ExactSum::kWords> ExactSum::words() const noexcept {
  Limbs limbs = limbs_;
  settle(limbs);
  std::array<std::int64_t, kWords> words{};
  for (std::size_t i = 0; i < kLimbs; ++i) words[i] = limbs[i];
  words[kLimbs] = (nan_ ? 1 : 0) | (plus_infinity_ ? 2 : 0) | (minus_infinity_ ? 4 : 0);
  return words;
}

ExactSum ExactSum::from_words(std::span<const std::int64_t> words) {
  if (words.size() != kWords)
    throw Error(ErrorKind::invalid_argument, "an exact sum is " + std::to_string(kWords) +
                                                 " words, not " + std::to_string(words.size()));
  ExactSum sum;
  // Settled limbs below the top lie in [0, 2^32), as settle leaves them.
  for (std::size_t i = 0; i + 1 < kLimbs; ++i)
    if (words[i] < 0 || words[i] >= (std::int64_t{1} << 32))
      throw Error(ErrorKind::invalid_argument, "the words are no exact sum's");
  if ((words[kLimbs] & ~std::int64_t{7}) != 0)
    throw Error(ErrorKind::invalid_argument, "the words are no exact sum's");
  for (std::size_t i = 0; i < kLimbs; ++i) sum.limbs_[i] = words[i];
  sum.unsettled_ = 1;
  sum.nan_ = (words[kLimbs] & 1) != 0;
  sum.plus_infinity_ = (words[kLimbs] & 2) != 0;
  sum.minus_infinity_ = (words[kLimbs] & 4) != 0;
  return sum;
}

double ExactSum::value() const noexcept {
  if (nan_ || (plus_infinity_ && minus_infinity_)) return std::numeric_limits<double>::quiet_NaN();
  if (plus_infinity_) return std::numeric_limits<double>::infinity();
  if (minus_infinity_) return -std::numeric_limits<double>::infinity();

  // The magnitude as 32-bit digits, all of them in [0, 2^32).
  std::array<std::uint64_t, kLimbs + 1> digits{};
  Limbs limbs = limbs_;
  settle(limbs);
  const bool negative = limbs.back() < 0;
  if (negative) {
    for (std::int64_t& limb : limbs) limb = -limb;
    settle(limbs);
  }
  for (std::size_t i = 0; i < limbs.size(); ++i)
    digits[i] = static_cast<std::uint64_t>(limbs[i]) & 0xffffffffu;
  digits[kLimbs] = static_cast<std::uint64_t>(limbs.back()) >> 32;

  std::size_t top = digits.size();
  while (top > 0 && digits[top - 1] == 0) --top;
  if (top == 0) return 0.0;
  --top;
  // The 64 bits from the highest set bit down, and whether any lower bit is set.
  const int width = std::bit_width(digits[top]);  // 1 to 32
  const std::uint64_t next = top >= 1 ? digits[top - 1] : 0;
  const std::uint64_t third = top >= 2 ? digits[top - 2] : 0;
  const std::uint64_t window =
      (digits[top] << (64 - width)) | (next << (32 - width)) | (third >> width);
  bool sticky = (third & ((std::uint64_t{1} << width) - 1)) != 0;
  for (std::size_t i = 0; i + 2 < top && !sticky; ++i) sticky = digits[i] != 0;
  const int highest = static_cast<int>(32 * top) + width - 1;  // bit index of the magnitude

  double magnitude = 0.0;
  if (highest < 53) {
    // Fewer than 54 bits: exact, whether subnormal or not.
    magnitude = std::ldexp(static_cast<double>(window >> (63 - highest)), -1074);
  } else {
    std::uint64_t kept = window >> 11;  // 53 bits
    const std::uint64_t rest = window & 0x7ff, half = 0x400;
    if (rest > half || (rest == half && (sticky || (kept & 1) != 0))) ++kept;  // ties to even
    // kept may have carried to 2^53, still exact; ldexp overflows to infinity
    // exactly when the rounded sum does.
    magnitude = std::ldexp(static_cast<double>(kept), highest - 52 - 1074);
  }
  return negative ? -magnitude : magnitude;
}

}  // namespace fuelcalc
