#include "textio/fixed_edit.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "test_support.h"
#include "textio/fixed_edit_reference.h"

namespace {

// The random comparisons run many millions of values in the ordinary build
// and a tenth of that under the sanitizers.
constexpr int kCountDivisor = testing_support::kSanitized ? 10 : 1;

// Edits into a heap buffer of exactly the documented capacity, so that a
// write past it is caught under the address sanitizer.
template <class Editor>
std::string edit_with(Editor editor, double v, int decimals) {
  std::vector<char> buffer(textio::fixed_field_capacity(decimals));
  return std::string(buffer.data(), editor(v, decimals, buffer.data()));
}

struct Example {
  double value;
  int decimals;
  std::string text;
};

TEST(FixedEdit, WorkedExamples) {
  const std::string dbl_max_digits =
      "17976931348623157081452742373170435679807056752584499659891747680315726078002853876058955863"
      "27668781"
      "71540458953514382464234321326889464182768467546703537516986049910576551282076245490090389328"
      "94407586"
      "85084551339423045832369032229481658085593321233482747978262041447231687381771809192998812504"
      "04026184"
      "124858368";
  const Example examples[] = {
      {2.675, 2, "2.67"},    // the double lies just below 2.675
      {0.125, 2, "0.12"},    // exact tie, to even
      {0.375, 2, "0.38"},    // exact tie, to even
      {12.345, 2, "12.35"},  // the double lies just above 12.345
      {0.0625, 3, "0.062"},  // exact tie
      {0.0005, 3, "0.001"},  // the double lies just above 0.0005
      {0.0004, 3, "0.000"},
      {0.0, 2, "0.00"},
      {-0.0, 2, "0.00"},
      {-0.004, 2, "0.00"},
      {-0.001, 2, "0.00"},
      {0.5, 2, "0.50"},
      {1500.0, 2, "1500.00"},
      {-1500.0, 2, "-1500.00"},
      {45.5, 3, "45.500"},
      {-45.5, 3, "-45.500"},
      {-2.25, 3, "-2.250"},
      {212.3456, 3, "212.346"},
      {-7.0, 3, "-7.000"},
      {9.9996, 3, "10.000"},  // rounding carries into the integer part
      {-9.9996, 3, "-10.000"},
      {0.995, 2, "0.99"},
      {3.0, 0, "3."},
      {2.5, 0, "2."},
      {3.5, 0, "4."},
      {-1.5, 0, "-2."},
      {-0.5, 0, "0."},
      {0.1, 17, "0.10000000000000001"},
      {99999999.25, 1, "99999999.2"},
      {99999999.996, 2, "100000000.00"},  // rounding carries to nine digits
      {1.0e8, 0, "100000000."},
      {1.0e20, 3, "100000000000000000000.000"},
      {1.0e23, 0, "99999999999999991611392."},
      {9223372036854775808.0, 1, "9223372036854775808.0"},  // 2^63
      {DBL_MAX, 0, dbl_max_digits + "."},
      {-DBL_MAX, 2, "-" + dbl_max_digits + ".00"},
      {DBL_MIN, 17, "0.00000000000000000"},
      {-DBL_TRUE_MIN, 3, "0.000"},
  };
  for (const auto& e : examples) {
    SCOPED_TRACE(testing::Message() << e.text << " d=" << e.decimals);
    EXPECT_EQ(edit_with(textio::edit_fixed, e.value, e.decimals), e.text);
    EXPECT_EQ(edit_with(textio::edit_fixed_reference, e.value, e.decimals), e.text);
  }
}

TEST(FixedEdit, NotANumberAndInfinitiesArePaddedToDPlus310) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, std::string> cases[] = {
      {nan, "NaN"}, {-nan, "NaN"}, {inf, "Infinity"}, {-inf, "-Infinity"}};
  for (int d : {0, 2, 3, 17}) {
    for (const auto& [value, text] : cases) {
      const std::string expected = text + std::string(d + 310 - text.size(), ' ');
      EXPECT_EQ(edit_with(textio::edit_fixed, value, d), expected) << text << " d=" << d;
    }
  }
}

// Compares edit_fixed with the reference on count values from draw(rng),
// each with decimals from pick_decimals(rng); stops at the first difference.
template <class Draw, class PickDecimals>
void expect_same_as_reference(int count, Draw draw, PickDecimals pick_decimals) {
  std::mt19937_64 rng(20240611);
  char fast[textio::fixed_field_capacity(17)];
  char reference[textio::fixed_field_capacity(17)];
  for (int i = 0; i < count / kCountDivisor; ++i) {
    const double v = draw(rng);
    const int d = pick_decimals(rng);
    const std::string_view got(fast, textio::edit_fixed(v, d, fast));
    const std::string_view want(reference, textio::edit_fixed_reference(v, d, reference));
    ASSERT_EQ(got, want) << "bits 0x" << std::hex << std::bit_cast<std::uint64_t>(v) << std::dec
                         << " d=" << d;
  }
}

int any_decimals(std::mt19937_64& rng) { return static_cast<int>(rng() % 18); }
int few_decimals(std::mt19937_64& rng) { return static_cast<int>(rng() % 7); }

// A double from a random sign, significand and binary exponent in [lo, hi].
double from_parts(std::mt19937_64& rng, int lo, int hi) {
  const auto significand = static_cast<double>((rng() >> 11) | (std::uint64_t{1} << 52));
  const int exponent = lo + static_cast<int>(rng() % static_cast<std::uint64_t>(hi - lo + 1));
  const double v = std::ldexp(significand, exponent - 52);
  return (rng() & 1) ? -v : v;
}

TEST(FixedEdit, MatchesReferenceOnRandomBitPatterns) {
  expect_same_as_reference(
      2'000'000, [](auto& rng) { return std::bit_cast<double>(rng()); }, any_decimals);
}

// Binary exponents across both ends of the integer path: values that round
// to zero, values below 2^-11 (handed over for more than 3 decimals) and
// values near 10^8.
TEST(FixedEdit, MatchesReferenceAcrossTheIntegerRange) {
  expect_same_as_reference(
      4'000'000, [](auto& rng) { return from_parts(rng, -70, 30); }, any_decimals);
}

TEST(FixedEdit, MatchesReferenceOnRealisticValues) {
  std::uniform_real_distribution<double> decade(-4.0, 7.0);
  expect_same_as_reference(
      4'000'000,
      [&](auto& rng) {
        const double v = std::pow(10.0, decade(rng));
        return (rng() & 1) ? -v : v;
      },
      few_decimals);
}

// The values exactly halfway between two d-decimal numbers are odd / 2^(d+1);
// each is checked with its two neighbouring doubles. The integer path takes
// up to 8 decimals; 9 checks the hand-over.
TEST(FixedEdit, MatchesReferenceOnExactTiesAndTheirNeighbours) {
  for (int d = 0; d <= 9; ++d) {
    expect_same_as_reference(
        1'000'000,
        [d](auto& rng) {
          const int width = 1 + static_cast<int>(rng() % 53);
          const std::uint64_t odd = (rng() >> (64 - width)) | 1;
          const double magnitude = std::ldexp(static_cast<double>(odd), -(d + 1));
          const double tie = (rng() & 1) ? -magnitude : magnitude;
          switch (rng() % 3) {
            case 0: return tie;
            case 1: return std::nextafter(tie, 0.0);
            default: return std::nextafter(tie, 2 * tie);
          }
        },
        [d](auto&) { return d; });
  }
}

}  // namespace
