#pragma once
// A sum of doubles computed exactly and rounded once at the end, to the
// nearest double (ties to even). Its value depends neither on the order of
// the terms nor on how they were split into partial sums merged later, so
// totals over blocks, threads or partitions have the same bits as one pass.
// Where Python's math.fsum gives a value it is this one; where fsum stops
// at an intermediate overflow this still gives the rounded exact sum.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include "fuelcalc/export.hpp"

#include "fuelcalc/export.hpp"

namespace fuelcalc {

class FUELCALC_API ExactSum {
 public:
  void add(double term) noexcept;
  // Merges the terms of another sum into this one.
  void add(const ExactSum& other) noexcept;
  // The exact sum rounded to the nearest double; +0.0 for no terms or an
  // exact zero, an infinity when the rounded sum overflows or a term is
  // infinite, NaN for a NaN term or infinities of both signs.
  double value() const noexcept;

  // The sum as words (the terms' integer, then the flags of NaN and
  // infinite terms), to carry a partial sum to another process;
  // from_words(words()) is the same sum. from_words throws Error
  // invalid_argument for a span of another length or words no sum has.
  static constexpr std::size_t kWords = 68;
  std::array<std::int64_t, kWords> words() const noexcept;
  static ExactSum from_words(std::span<const std::int64_t> words);

 private:
  // The finite terms as one integer in units of 2^-1074 (the smallest
  // subnormal): limb i holds digits of weight 2^(32 i), each term adding a
  // 32-bit digit to at most three limbs. Carries are settled before any limb
  // could overflow; the top limb keeps the sign.
  static constexpr std::size_t kLimbs = kWords - 1;
  static constexpr std::uint32_t kSettleEvery = 1u << 24;
  using Limbs = std::array<std::int64_t, kLimbs>;
  static void settle(Limbs& limbs) noexcept;

  Limbs limbs_{};
  std::uint32_t unsettled_ = 0;  // terms added since the last settle
  bool nan_ = false;
  bool plus_infinity_ = false;
  bool minus_infinity_ = false;
};

inline void ExactSum::add(double term) noexcept {
  const auto bits = std::bit_cast<std::uint64_t>(term);
  const auto biased = static_cast<unsigned>((bits >> 52) & 0x7ff);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  const bool negative = (bits >> 63) != 0;
  if (biased == 0x7ff) {
    if (mantissa != 0)
      nan_ = true;
    else
      (negative ? minus_infinity_ : plus_infinity_) = true;
    return;
  }
  if (mantissa == 0 && biased == 0) return;
  if (biased != 0) mantissa |= std::uint64_t{1} << 52;
  // term = mantissa * 2^(max(biased, 1) - 1075) = mantissa * 2^shift units.
  const unsigned shift = (biased == 0 ? 1u : biased) - 1u;
  const unsigned limb = shift / 32, offset = shift % 32;
  const std::uint64_t low = mantissa << offset;  // bits 0..63 of the shifted mantissa
  const auto d0 = static_cast<std::int64_t>(low & 0xffffffffu);
  const auto d1 = static_cast<std::int64_t>(low >> 32);
  const auto d2 = static_cast<std::int64_t>((mantissa >> 32) >> (32 - offset));
  if (negative) {
    limbs_[limb] -= d0;
    limbs_[limb + 1] -= d1;
    limbs_[limb + 2] -= d2;
  } else {
    limbs_[limb] += d0;
    limbs_[limb + 1] += d1;
    limbs_[limb + 2] += d2;
  }
  if (++unsettled_ == kSettleEvery) {
    settle(limbs_);
    unsettled_ = 0;
  }
}

}  // namespace fuelcalc
