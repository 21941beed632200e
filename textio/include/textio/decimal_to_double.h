#pragma once
// Conversion of a decimal number to the nearest double (ties to even).
#include <cfloat>
#include <cstdint>
#include <optional>
#include <string_view>

namespace textio {

// Exponents are saturated at this magnitude while they are read: beyond it the
// exponent alone decides between infinity and zero for any mantissa that fits
// in memory, and sums with mantissa lengths stay far from int64 overflow.
inline constexpr std::int64_t kExponentLimit = 100'000'000'000'000'000;

// A uint64 holds any 19 decimal digits; longer mantissas take the full conversion.
inline constexpr int kExactDigitsMax = 19;

// The shortcut relies on each double operation being rounded once, to double.
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must not use wider intermediates");

// Every power of ten up to 1e22 is an exact double (5^22 < 2^53).
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr std::uint64_t kExactIntegerLimit = std::uint64_t{1} << 53;

// The shortcut for digits × 10^exponent when both factors are exact doubles
// (digits <= 2^53, |exponent| <= 22): one multiplication or division, rounded
// once, is the nearest double. Returns false when the shortcut does not apply.
// Inline: it is the conversion of nearly every number read.
inline bool exact_decimal_to_double(std::uint64_t digits, std::int64_t exponent, double& value) {
  if (digits > kExactIntegerLimit || exponent < -22 || exponent > 22) return false;
  const double m = static_cast<double>(digits);
  value = exponent < 0 ? m / kExactPowersOfTen[-exponent] : m * kExactPowersOfTen[exponent];
  return true;
}

// The nearest double to mantissa × 10^exponent for any number, through
// std::from_chars. mantissa holds decimal digits (at least one) with at most
// one point and no sign. Empty when the value rounds to infinity; a value
// below the smallest subnormal gives the correctly rounded subnormal or zero.
std::optional<double> decimal_to_double(std::string_view mantissa, std::int64_t exponent);

}  // namespace textio
