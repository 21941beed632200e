// Number conversion against std::from_chars, the correctly rounded reference:
// the exact-operand shortcut over its whole domain, whole number tokens in
// every spelling the reader accepts, ties between doubles, and mantissas
// longer than the digits the full conversion keeps.
#include "textio/decimal_to_double.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "test_support.h"
#include "textio/list_input.h"
#include "textio/number_text.h"
#include "textio/number_token.h"

namespace {

constexpr int kCountDivisor = testing_support::kSanitized ? 50 : 1;

struct Outcome {
  int status;
  double value;
};

// The reference for a token in from_chars syntax: optional '-', digits with
// an optional point, optional 'e' exponent. from_chars reports both overflow
// and underflow to zero as out of range; strtod tells them apart.
Outcome reference(const std::string& plain) {
  double value = 0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  EXPECT_EQ(end, plain.data() + plain.size()) << plain;
  if (error == std::errc::result_out_of_range) {
    if (std::isinf(std::strtod(plain.c_str(), nullptr))) return {textio::kConversionError, 0};
    return {textio::kReadOk, plain[0] == '-' ? -0.0 : 0.0};
  }
  EXPECT_EQ(error, std::errc()) << plain;
  return {textio::kReadOk, value};
}

// Reads `token` as the reader does and compares it with the reference for
// its from_chars spelling `plain`. Returns false on a mismatch.
bool matches_reference(const std::string& token, const std::string& plain) {
  const textio::NumberToken ours = textio::scan_number_token(token, 0);
  const Outcome expected = reference(plain);
  EXPECT_EQ(ours.status, expected.status) << token;
  if (ours.status != expected.status) return false;
  if (ours.status != textio::kReadOk) return true;
  EXPECT_EQ(ours.end, token.size()) << token;
  EXPECT_EQ(std::bit_cast<std::uint64_t>(ours.value), std::bit_cast<std::uint64_t>(expected.value))
      << token << " gave " << ours.value << ", nearest is " << expected.value;
  return std::bit_cast<std::uint64_t>(ours.value) == std::bit_cast<std::uint64_t>(expected.value);
}

TEST(DecimalToDouble, ShortcutMatchesReferenceOverItsDomain) {
  std::mt19937_64 rng(20240601);
  const int count = 4'000'000 / kCountDivisor;
  int mismatches = 0;
  for (int i = 0; i < count && mismatches < 10; ++i) {
    // Integers of every bit length up to 2^53, the limit itself now and then.
    const int bits = static_cast<int>(rng() % 54);
    std::uint64_t digits = bits == 0 ? 0 : rng() >> (64 - bits);
    if (i % 1000 == 0) digits = std::uint64_t{1} << 53;
    const auto exponent = static_cast<std::int64_t>(rng() % 45) - 22;
    double value = 0;
    ASSERT_TRUE(textio::exact_decimal_to_double(digits, exponent, value));
    const Outcome expected = reference(std::to_string(digits) + "e" + std::to_string(exponent));
    if (std::bit_cast<std::uint64_t>(value) != std::bit_cast<std::uint64_t>(expected.value)) {
      ++mismatches;
      ADD_FAILURE() << digits << "e" << exponent << " gave " << value << ", nearest is "
                    << expected.value;
    }
  }
}

TEST(DecimalToDouble, ShortcutDeclinesInexactOperands) {
  double value = 0;
  EXPECT_FALSE(textio::exact_decimal_to_double((std::uint64_t{1} << 53) + 1, 0, value));
  EXPECT_FALSE(textio::exact_decimal_to_double(1, 23, value));
  EXPECT_FALSE(textio::exact_decimal_to_double(1, -23, value));
}

// A random token in one of the reader's spellings, with its from_chars
// spelling: signs, leading zeros, points anywhere, runs of 0 and 9, exponent
// letters E/D/Q in either case, letterless exponents, empty exponents.
struct Spelling {
  std::string token;
  std::string plain;
};

Spelling random_spelling(std::mt19937_64& rng) {
  Spelling s;
  const auto sign_kind = rng() % 3;  // none, '+' or '-'
  if (sign_kind != 0) s.token += sign_kind == 1 ? '+' : '-';
  if (sign_kind == 2) s.plain += '-';
  const int length =
      rng() % 4 == 0 ? 1 + static_cast<int>(rng() % 40) : 1 + static_cast<int>(rng() % 20);
  const int point = static_cast<int>(rng() % (length + 2)) - 1;  // -1: no point
  const int leading_zeros = rng() % 4 == 0 ? static_cast<int>(rng() % 5) : 0;
  std::string mantissa(static_cast<std::size_t>(leading_zeros), '0');
  const char run = rng() % 2 ? '9' : '0';
  for (int i = 0; i < length; ++i) {
    if (i == point) mantissa += '.';
    mantissa += rng() % 3 == 0 ? run : static_cast<char>('0' + rng() % 10);
  }
  if (point == length) mantissa += '.';
  s.token += mantissa;
  s.plain += mantissa;

  const int form = static_cast<int>(rng() % 8);
  if (form < 2) return s;
  const int range = rng() % 8 == 0 ? 700 : 60;
  const int exponent = static_cast<int>(rng() % (range + 1)) - range / 2;
  const std::string magnitude =
      std::string(rng() % 5 == 0 ? 2 : 0, '0') + std::to_string(std::abs(exponent));
  const char sign = exponent < 0 ? '-' : '+';
  if (form == 2) {  // sign alone after the mantissa
    s.token += sign;
    s.token += magnitude;
  } else if (form == 3) {  // a letter with nothing after it
    s.token += "EeDdQq"[rng() % 6];
    return s;
  } else {
    s.token += "EeDdQq"[rng() % 6];
    if (exponent < 0 || rng() % 2) s.token += sign;
    s.token += magnitude;
  }
  s.plain += 'e';
  s.plain += sign;
  s.plain += magnitude;
  return s;
}

TEST(DecimalToDouble, RandomTokensMatchReference) {
  std::mt19937_64 rng(7);
  const int count = 2'000'000 / kCountDivisor;
  int mismatches = 0;
  for (int i = 0; i < count && mismatches < 10; ++i) {
    const Spelling s = random_spelling(rng);
    mismatches += !matches_reference(s.token, s.plain);
  }
}

// The exact decimal expansion of x in from_chars syntax, trailing zeros of
// the mantissa dropped. long double holds every midpoint of two doubles.
std::string exact_decimal(long double x) {
  char text[1300];
  std::snprintf(text, sizeof text, "%.1100Le", x);
  std::string s = text;
  const std::size_t e = s.find('e');
  std::size_t last = e;
  while (s[last - 1] == '0') --last;
  return s.substr(0, last) + s.substr(e);
}

// Mantissa and exponent parts of a spelling from exact_decimal.
std::string mantissa_of(const std::string& s) { return s.substr(0, s.find('e')); }
std::string exponent_of(const std::string& s) { return s.substr(s.find('e')); }

std::string with_digit_count(const std::string& s, std::size_t digits, const std::string& tail) {
  std::string m = mantissa_of(s);
  const std::size_t significant = m.size() - 1;  // one point
  if (significant < digits) m.append(digits - significant, '0');
  return m + tail + exponent_of(s);
}

TEST(DecimalToDouble, TiesAndNearTiesMatchReference) {
  std::mt19937_64 rng(11);
  const int count = 10'000 / kCountDivisor;
  int mismatches = 0;
  for (int i = 0; i < count && mismatches < 10; ++i) {
    const double low = std::bit_cast<double>(rng() % 0x7fef'ffff'ffff'ffffULL);
    const double high = std::nextafter(low, 2 * low + 1);
    const std::string tie = exact_decimal((static_cast<long double>(low) + high) / 2);
    std::string below = mantissa_of(tie);
    --below.back();  // the last digit of a trimmed expansion is not 0
    const std::string spellings[] = {
        tie,
        below + exponent_of(tie),
        mantissa_of(tie) + "000001" + exponent_of(tie),
        // Past the 800 digits the full conversion keeps, only "zero or not" of
        // the tail decides: a tie padded with zeros, and with a final 1 as the
        // 799th, 800th, 801st and 1501st digit.
        with_digit_count(tie, 1200, ""),
        with_digit_count(tie, 798, "1"),
        with_digit_count(tie, 799, "1"),
        with_digit_count(tie, 800, "1"),
        with_digit_count(tie, 1500, "1"),
    };
    for (const std::string& s : spellings) mismatches += !matches_reference(s, s);
  }
}

TEST(DecimalToDouble, BoundariesMatchReference) {
  const long double overflow_tie = static_cast<long double>(DBL_MAX) + std::ldexp(1.0L, 970);
  const long double underflow_tie = std::ldexp(1.0L, -1075);
  const long double smallest_normal = std::ldexp(1.0L, -1022);
  const std::string spellings[] = {
      exact_decimal(overflow_tie),  // rounds to infinity (ties to even)
      mantissa_of(exact_decimal(overflow_tie)) + "1" + exponent_of(exact_decimal(overflow_tie)),
      exact_decimal(overflow_tie - std::ldexp(1.0L, 960)),
      exact_decimal(underflow_tie),  // rounds to zero (ties to even)
      exact_decimal(underflow_tie - std::ldexp(1.0L, -1100)),
      exact_decimal(underflow_tie + std::ldexp(1.0L, -1100)),
      exact_decimal(smallest_normal - std::ldexp(1.0L, -1076)),
      std::string("-") + exact_decimal(underflow_tie + std::ldexp(1.0L, -1100)),
      std::string("-") + exact_decimal(overflow_tie),
      "1.7976931348623158e308",
      "1.7976931348623159e308",
      "0." + std::string(10000, '0') + "1e10001",
      "1" + std::string(10000, '0') + "e-10000",
      std::string(10000, '0') + "." + std::string(10000, '0'),
      "9007199254740993",                      // 2^53 + 1, a tie between integers
      "0.1000000000000000055511151231257827",  // just above the double 0.1
  };
  for (const std::string& s : spellings) matches_reference(s, s);
}

// The messages' and reports' text of a double: the shortest that reads back,
// "nan" whatever the sign of a not-a-number.
TEST(NumberText, ShortestTextThatReadsBack) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1500.0, "1500"},
      {0.1, "0.1"},
      {-0.0, "-0"},
      {5.0200000000000005, "5.0200000000000005"},
      {1e21, "1e+21"},
      {4.9406564584124654e-324, "5e-324"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {-std::numeric_limits<double>::quiet_NaN(), "nan"},
  };
  for (const auto& c : cases) EXPECT_EQ(textio::number_text(c.value), c.text);
}

}  // namespace
