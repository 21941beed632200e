// ExactSum: the exact sum rounded once, whatever the order of its terms and
// however they were split into sums merged later.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "fuelcalc/exact_sum.hpp"
#include "test_support.h"

namespace {

using testing_support::bits;
using testing_support::kInf;
using testing_support::kNaN;

constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kTiny = std::numeric_limits<double>::denorm_min();

double sum_of(const std::vector<double>& terms) {
  fuelcalc::ExactSum sum;
  for (double t : terms) sum.add(t);
  return sum.value();
}

struct Case {
  const char* name;
  std::vector<double> terms;
  double expected;
};

TEST(ExactSum, RoundsTheExactSumOnce) {
  const double e53 = std::ldexp(1.0, -53);
  const std::vector<Case> cases = {
      {"nothing", {}, 0.0},
      {"negative zero alone", {-0.0}, 0.0},
      {"cancelled", {1e100, 1.0, -1e100}, 1.0},
      {"tie to even, down", {1.0, e53}, 1.0},
      {"tie broken by a lower bit", {1.0, e53, std::ldexp(1.0, -160)}, 1.0 + 2 * e53},
      {"tie to even, up", {1.0 + 2 * e53, e53}, 1.0 + 4 * e53},
      {"tenths", std::vector<double>(10, 0.1), 1.0},
      {"subnormals", {kTiny, kTiny, 3 * kTiny}, 5 * kTiny},
      {"subnormal to normal", {std::ldexp(1.0, -1022) - kTiny, kTiny}, std::ldexp(1.0, -1022)},
      {"cancelled to a subnormal", {1.0, kTiny, -1.0}, kTiny},
      {"overflow on the way only", {kMax, kMax, -kMax}, kMax},
      {"overflow", {kMax, kMax}, kInf},
      {"tie at the top rounds to infinity", {kMax, std::ldexp(1.0, 970)}, kInf},
      {"just below the tie at the top", {kMax, std::ldexp(1.0, 970), -kTiny}, kMax},
      {"negative", {-1.5, -2.25, 0.5}, -3.25},
      {"negative overflow", {-kMax, -kMax}, -kInf},
      {"infinity", {1.0, kInf, 2.0}, kInf},
      {"infinities of both signs", {kInf, -kInf}, kNaN},
      {"nan", {1.0, kNaN}, kNaN},
      {"wide cancellation", {1e308, 1e-308, -1e308, 1e-308, 1e200, -1e200}, 2e-308},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(bits(sum_of(c.terms)), bits(c.expected)) << sum_of(c.terms);
  }
}

// Terms over the whole range with heavy cancellation: every permutation and
// every split into merged partial sums gives the bits of one pass.
TEST(ExactSum, BitsDoNotDependOnOrderOrPartition) {
  std::mt19937_64 rng(24);
  std::uniform_int_distribution<int> exponent(-1080, 1023);
  std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
  for (int round = 0; round < 200; ++round) {
    std::vector<double> terms;
    const int n = 1 + static_cast<int>(rng() % 60);
    for (int i = 0; i < n; ++i) {
      const double t = std::ldexp(mantissa(rng), round % 2 ? exponent(rng) : exponent(rng) / 8);
      terms.push_back(t);
      if (rng() % 3 == 0) terms.push_back(-t * 0.999);
    }
    const double one_pass = sum_of(terms);
    for (int trial = 0; trial < 20; ++trial) {
      std::shuffle(terms.begin(), terms.end(), rng);
      fuelcalc::ExactSum total, part;
      for (double t : terms) {
        part.add(t);
        if (rng() % 4 == 0) {
          total.add(part);
          part = {};
        }
      }
      total.add(part);
      ASSERT_EQ(bits(total.value()), bits(one_pass)) << "round " << round;
      ASSERT_EQ(bits(sum_of(terms)), bits(one_pass)) << "round " << round;
    }
  }
}

// More terms than are added between two settles of the carries: a term with
// every mantissa bit set, 2^24 + 5 times, is the correctly rounded product.
TEST(ExactSum, SettlesItsCarriesOnTheWay) {
  const double term = -std::ldexp(2.0 - std::ldexp(1.0, -52), 900);
  const double count = std::ldexp(1.0, 24) + 5.0;
  fuelcalc::ExactSum sum;
  for (double i = 0; i < count; ++i) sum.add(term);
  EXPECT_EQ(bits(sum.value()), bits(term * count));
  fuelcalc::ExactSum twice = sum;
  twice.add(sum);
  EXPECT_EQ(bits(twice.value()), bits(term * count * 2.0));
}

}  // namespace
