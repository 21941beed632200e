#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "hermite/hermite.h"
#include "hermite_random.h"

namespace {

using hermite::DPCHIM;
using hermite::DSGNPR;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kUntouched = -12345.0;

struct SignCase {
  double a, b, expected;
};

TEST(Dsgnpr, SignsWithoutFormingTheProduct) {
  const SignCase cases[] = {
      {0.0, -5.0, 0.0},
      {-0.0, 1.0, 0.0},
      {3.0, 0.0, 0.0},
      {-2.0, -1.0e300, 1.0},
      {1.0e-300, -1.0e-300, -1.0},
      {1.0e300, 1.0e300, 1.0},
      {-4.0, 2.0, -1.0},
      {kNaN, 1.0, 0.0},
      {1.0, kNaN, 0.0},
      {kNaN, -1.0, 0.0},
      {-kNaN, -1.0, 0.0},
      {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::denorm_min(), -1.0},
  };
  for (const SignCase& c : cases) {
    const double s = DSGNPR(c.a, c.b);
    EXPECT_EQ(s, c.expected) << c.a << " " << c.b;
    EXPECT_FALSE(std::signbit(s) && s == 0.0) << "zero result must be +0";
  }
}

struct Worked {
  std::vector<double> x, f, d;
  int ierr;
};

TEST(Dpchim, WorkedValues) {
  const Worked cases[] = {
      {{0, 1}, {2, 5}, {3, 3}, 0},
      {{0, 1, 2, 3}, {0, 1, 4, 9}, {0, 1.5, 3.75, 6}, 0},
      {{0, 1, 2}, {0, 10, 10.5}, {14.75, 0.95238095238095233, 0}, 0},
      {{0, 1, 11}, {0, 1, -499}, {3, 0, -96.36363636363636}, 1},
      // Unequal widths: the interior weights differ, and the step-by-step
      // quotient is one unit in the last place below the rounded 9/7.
      {{0, 1, 3}, {0, 1, 5}, {0.66666666666666663, 1.2857142857142856, 2.666666666666667}, 0},
      {{1, 2, 3, 4, 5}, {0, 1, 1, 0, 2}, {1.5, 0, 0, 0, 3.5}, 2},
      {{0, 1, 2, 3, 4}, {0, 2, 2, 2, 3}, {3, 0, 0, 0, 1.5}, 0},
      {{0, 1, 3, 7}, {4, 4, 4, 4}, {0, 0, 0, 0}, 0},
  };
  for (const Worked& c : cases) {
    const int n = static_cast<int>(c.x.size());
    std::vector<double> d(n, kUntouched);
    int ierr = 99;
    DPCHIM(n, c.x.data(), c.f.data(), d.data(), 1, ierr);
    EXPECT_EQ(ierr, c.ierr);
    for (int i = 0; i < n; ++i) EXPECT_EQ(d[i], c.d[i]) << "point " << i;
  }
}

struct ArgCase {
  const char* what;
  int n;
  int incfd;
  std::vector<double> x;
  int ierr;
};

TEST(Dpchim, ArgumentChecksLeaveDUntouched) {
  const ArgCase cases[] = {
      {"no point", 0, 1, {}, -1},
      {"one point", 1, 1, {0}, -1},
      {"one point, bad stride too", 1, 0, {0}, -1},
      {"negative count", -3, 1, {}, -1},
      {"zero stride", 3, 0, {0, 1, 2}, -2},
      {"negative stride", 3, -1, {0, 1, 2}, -2},
      {"equal neighbours", 4, 1, {0, 1, 1, 2}, -3},
      {"pair out of order", 4, 1, {0, 2, 1, 3}, -3},
      {"last pair out of order", 3, 1, {0, 1, 0.5}, -3},
      {"two equal points", 2, 1, {5, 5}, -3},
  };
  for (const ArgCase& c : cases) {
    std::vector<double> x = c.x;
    x.resize(4, 0.0);
    const std::vector<double> f(4, 1.0);
    std::vector<double> d(4, kUntouched);
    int ierr = 99;
    DPCHIM(c.n, x.data(), f.data(), d.data(), c.incfd, ierr);
    EXPECT_EQ(ierr, c.ierr) << c.what;
    for (double v : d) EXPECT_EQ(v, kUntouched) << c.what;
  }
}

TEST(Dpchim, StrideThreeTouchesOnlyItsPositions) {
  const std::vector<double> x = {0, 1, 2, 3};
  std::vector<double> f(10, kNaN);
  const double values[] = {0, 1, 4, 9};
  for (int i = 0; i < 4; ++i) f[3 * i] = values[i];
  std::vector<double> d(10, kUntouched);
  int ierr = 99;
  DPCHIM(4, x.data(), f.data(), d.data(), 3, ierr);
  EXPECT_EQ(ierr, 0);
  const double expected[] = {0, 1.5, 3.75, 6};
  for (int p = 0; p < 10; ++p) {
    if (p % 3 == 0)
      EXPECT_EQ(d[p], expected[p / 3]);
    else
      EXPECT_EQ(d[p], kUntouched) << "position " << p;
  }
}

TEST(Dpchim, NanSlopeOnTheRightCountsAsFlat) {
  // Point 3's right secant is NaN: it neither counts a change nor replaces the
  // remembered direction, so the fall after it is still counted once.
  const std::vector<double> x = {0, 1, 2, 3, 4, 5};
  const std::vector<double> f = {0, 1, 1, kNaN, 1, 0};
  std::vector<double> d(6);
  int ierr = 99;
  DPCHIM(6, x.data(), f.data(), d.data(), 1, ierr);
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(d[1], 0.0);
  EXPECT_EQ(d[2], 0.0);
}

// Changes of direction counted from the secants alone: every nonzero secant
// whose sign differs from the previous nonzero one.
int count_turns(const hermite_random::Curve& c) {
  int turns = 0;
  double previous = 0.0;
  for (std::size_t i = 0; i + 1 < c.x.size(); ++i) {
    const double s = hermite_random::secant(c, static_cast<int>(i));
    if (s == 0.0) continue;
    if (previous != 0.0 && (s > 0.0) != (previous > 0.0)) ++turns;
    previous = s;
  }
  return turns;
}

TEST(DpchimProperties, CountsTurnsAndZeroesSlopesAtThem) {
  for (unsigned seed = 1; seed <= 2000; ++seed) {
    std::mt19937_64 rng(seed);
    const int n = 2 + static_cast<int>(rng() % 30);
    const hermite_random::Curve c = hermite_random::random_curve(rng, n);
    std::vector<double> d(n);
    int ierr = 99;
    DPCHIM(n, c.x.data(), c.f.data(), d.data(), 1, ierr);
    ASSERT_EQ(ierr, count_turns(c)) << "seed " << seed;
    for (int i = 1; i + 1 < n; ++i) {
      const double left = hermite_random::secant(c, i - 1);
      const double right = hermite_random::secant(c, i);
      const bool turn_or_flat = left == 0.0 || right == 0.0 || (left > 0.0) != (right > 0.0);
      if (turn_or_flat) {
        ASSERT_EQ(d[i], 0.0) << "seed " << seed << " point " << i;
      } else {
        ASSERT_NE(d[i], 0.0) << "seed " << seed << " point " << i;
        ASSERT_EQ(d[i] > 0.0, left > 0.0) << "seed " << seed << " point " << i;
        // Harmonic mean: at least the smaller slope, below three times it.
        const double dmin = std::min(std::fabs(left), std::fabs(right));
        ASSERT_GE(std::fabs(d[i]), dmin * (1.0 - 1e-15)) << "seed " << seed;
        ASSERT_LT(std::fabs(d[i]), 3.0 * dmin) << "seed " << seed;
      }
    }
  }
}

TEST(DpchimProperties, StridedAndContiguousAgree) {
  for (unsigned seed = 1; seed <= 500; ++seed) {
    std::mt19937_64 rng(seed);
    const int n = 2 + static_cast<int>(rng() % 25);
    const int incfd = 2 + static_cast<int>(rng() % 4);
    const hermite_random::Curve c = hermite_random::random_curve(rng, n);
    std::vector<double> d(n);
    int ierr = 99;
    DPCHIM(n, c.x.data(), c.f.data(), d.data(), 1, ierr);

    const std::size_t size = static_cast<std::size_t>((n - 1) * incfd + 1);
    std::vector<double> fs(size, kNaN);
    std::vector<double> ds(size, kUntouched);
    for (int i = 0; i < n; ++i) fs[i * incfd] = c.f[i];
    int ierrs = 99;
    DPCHIM(n, c.x.data(), fs.data(), ds.data(), incfd, ierrs);
    ASSERT_EQ(ierrs, ierr) << "seed " << seed;
    for (std::size_t p = 0; p < size; ++p) {
      if (p % incfd == 0)
        ASSERT_EQ(ds[p], d[p / incfd]) << "seed " << seed << " position " << p;
      else
        ASSERT_EQ(ds[p], kUntouched) << "seed " << seed << " position " << p;
    }
  }
}

}  // namespace
