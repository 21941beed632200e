#pragma once
// Conversion of a decimal number to the nearest double (ties to even).
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

// The shortcut for digits × 10^exponent when both factors are exact doubles
// (digits <= 2^53, |exponent| <= 22): one multiplication or division, rounded
// once, is the nearest double. Returns false when the shortcut does not apply.
bool exact_decimal_to_double(std::uint64_t digits, std::int64_t exponent, double& value);

// The nearest double to mantissa × 10^exponent for any number, through
// std::from_chars. mantissa holds decimal digits (at least one) with at most
// one point and no sign. Empty when the value rounds to infinity; a value
// below the smallest subnormal gives the correctly rounded subnormal or zero.
std::optional<double> decimal_to_double(std::string_view mantissa, std::int64_t exponent);

}  // namespace textio
