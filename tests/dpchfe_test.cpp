#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "hermite/hermite.h"
#include "hermite_random.h"

namespace {

using hermite::DCUBIV;
using hermite::DPCHFE;
using hermite::DPCHIM;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kUntouched = -12345.0;

struct Evaluation {
  std::vector<double> fe;
  int ierr = 99;
  bool check = true;
};

Evaluation evaluate(const std::vector<double>& x, const std::vector<double>& f,
                    const std::vector<double>& d, const std::vector<double>& xe, bool check = true,
                    int incfd = 1) {
  Evaluation e;
  e.fe.assign(std::max<std::size_t>(xe.size(), 1), kUntouched);
  e.check = check;
  const int n = static_cast<int>(x.size());
  const int ne = static_cast<int>(xe.size());
  DPCHFE(n, x.data(), f.data(), d.data(), incfd, e.check, ne, xe.data(), e.fe.data(), e.ierr);
  return e;
}

// Bitwise equality that also holds for two NaNs.
void expect_same(const std::vector<double>& got, const std::vector<double>& expected,
                 const char* what) {
  ASSERT_EQ(got.size(), expected.size()) << what;
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (std::isnan(expected[i]))
      EXPECT_TRUE(std::isnan(got[i])) << what << " point " << i;
    else
      EXPECT_EQ(got[i], expected[i]) << what << " point " << i;
  }
}

const std::vector<double> kX = {0, 1, 2, 3};
const std::vector<double> kF = {0, 1, 4, 9};
const std::vector<double> kD = {0, 1.5, 3.75, 6};

struct Worked {
  const char* what;
  std::vector<double> xe, fe;
  int ierr;
};

TEST(Dpchfe, WorkedValues) {
  const Worked cases[] = {
      {"ascending, both sides",
       {-1, 0.5, 1.5, 2.5, 3, 4},
       {2, 0.3125, 2.21875, 6.21875, 9, 15.5},
       2},
      {"data abscissae", {0, 1, 2, 3}, {0, 1, 4, 9}, 0},
      {"backs up once", {2.5, 0.5}, {6.21875, 0.3125}, 0},
      {"right point counted twice", {5, 0.5, 6}, {22, 0.3125, 27}, 3},
      {"single point", {1}, {1}, 0},
      {"NaN beside points that place", {2.5, kNaN, 0.5}, {6.21875, kNaN, 0.3125}, 0},
  };
  for (const Worked& c : cases) {
    const Evaluation e = evaluate(kX, kF, kD, c.xe);
    EXPECT_EQ(e.ierr, c.ierr) << c.what;
    EXPECT_TRUE(e.check) << c.what;
    expect_same(e.fe, c.fe, c.what);
  }
}

TEST(Dpchfe, TwoPointsAreALine) {
  const Evaluation e = evaluate({0, 1}, {2, 5}, {3, 3}, {-1, 0.5, 2});
  EXPECT_EQ(e.ierr, 2);
  expect_same(e.fe, {-1, 3.5, 8}, "line");
}

TEST(Dpchfe, LoneNaNPoint) {
  const Evaluation inner = evaluate(kX, kF, kD, {kNaN});
  EXPECT_EQ(inner.ierr, -5);
  EXPECT_TRUE(inner.check);
  const Evaluation line = evaluate({0, 1}, {2, 5}, {3, 3}, {kNaN});
  EXPECT_EQ(line.ierr, 1);
  EXPECT_TRUE(std::isnan(line.fe[0]));
}

TEST(Dpchfe, StrideTwoReadsEveryOtherEntry) {
  const std::vector<double> x = {0, 1, 2};
  const std::vector<double> f = {0, kNaN, 1, kNaN, 4};
  const std::vector<double> d = {0, kNaN, 1.5, kNaN, 3.75};
  const Evaluation e = evaluate(x, f, d, {0.5, 1.5, 2}, true, 2);
  const Evaluation plain = evaluate(x, {0, 1, 4}, {0, 1.5, 3.75}, {0.5, 1.5, 2});
  EXPECT_EQ(e.ierr, 0);
  expect_same(e.fe, plain.fe, "stride 2");
  expect_same(e.fe, {0.3125, 2.21875, 4}, "stride 2");
}

struct ArgCase {
  const char* what;
  int n;
  int incfd;
  std::vector<double> x;
  int ne;
  bool check_in;
  int ierr;
};

TEST(Dpchfe, ArgumentChecks) {
  const ArgCase cases[] = {
      {"one point", 1, 1, {0}, 1, true, -1},
      {"no point, no evaluation", 0, 1, {}, 0, true, -1},
      {"zero stride", 2, 0, {0, 1}, 1, true, -2},
      {"negative stride", 2, -2, {0, 1}, 1, true, -2},
      {"equal neighbours", 3, 1, {0, 1, 1}, 1, true, -3},
      {"pair out of order", 4, 1, {0, 2, 1, 3}, 1, true, -3},
      {"no evaluation point", 3, 1, {0, 1, 2}, 0, true, -4},
      {"negative evaluation count", 3, 1, {0, 1, 2}, -1, true, -4},
      {"unchecked, no evaluation point", 3, 1, {0, 1, 1}, 0, false, 0},
      {"unchecked, repeated abscissa reached", 3, 1, {0, 1, 1}, 1, false, -5},
      {"unchecked, one point", 1, 1, {0}, 1, false, -5},
      {"unchecked, no point", 0, 1, {}, 1, false, -5},
      {"unchecked, negative stride", 3, -1, {0, 1, 2}, 1, false, -5},
  };
  for (const ArgCase& c : cases) {
    std::vector<double> x = c.x;
    x.resize(4, 0.0);
    const std::vector<double> f(4, 1.0);
    const std::vector<double> d(4, 0.0);
    const double xe[] = {1.5};
    double fe[] = {kUntouched};
    bool check = c.check_in;
    int ierr = 99;
    DPCHFE(c.n, x.data(), f.data(), d.data(), c.incfd, check, c.ne, xe, fe, ierr);
    EXPECT_EQ(ierr, c.ierr) << c.what;
    // A failed check leaves CHECK as it came (true); every other path sets it.
    EXPECT_TRUE(check) << c.what;
    EXPECT_EQ(fe[0], kUntouched) << c.what;
  }
}

TEST(Dpchfe, UncheckedCallEvaluates) {
  const Evaluation e = evaluate(kX, kF, kD, {1.5}, false);
  EXPECT_TRUE(e.check);
  EXPECT_EQ(e.ierr, 0);
  EXPECT_EQ(e.fe[0], 2.21875);
}

struct CubicCase {
  const char* what;
  double x1, x2;
  std::vector<double> xe;
  int left, right;
};

TEST(Dcubiv, CountsPointsOutsideEitherOrientation) {
  const CubicCase cases[] = {
      {"rising interval", 1, 3, {0, 1, 2, 3, 4, kNaN}, 2, 1},
      {"falling interval", 3, 1, {0, 1, 2, 3, 4}, 1, 1},
  };
  for (const CubicCase& c : cases) {
    const int ne = static_cast<int>(c.xe.size());
    std::vector<double> fe(ne);
    int nout[2] = {-7, -7};
    int ierr = 99;
    DCUBIV(c.x1, c.x2, 5.0, 7.0, 0.5, 1.5, ne, c.xe.data(), fe.data(), nout, ierr);
    EXPECT_EQ(ierr, 0) << c.what;
    EXPECT_EQ(nout[0], c.left) << c.what;
    EXPECT_EQ(nout[1], c.right) << c.what;
  }
}

TEST(Dcubiv, FailuresWriteNothing) {
  const double xe[] = {0.5};
  struct {
    const char* what;
    double x2;
    int ne;
    int ierr;
  } const cases[] = {
      {"no point", 1.0, 0, -1}, {"empty interval", 0.0, 1, -2}, {"NaN interval", kNaN, 1, -2}};
  for (const auto& c : cases) {
    double fe[] = {kUntouched};
    int nout[2] = {-7, -7};
    int ierr = 99;
    DCUBIV(0.0, c.x2, 1.0, 2.0, 0.0, 0.0, c.ne, xe, fe, nout, ierr);
    EXPECT_EQ(ierr, c.ierr) << c.what;
    EXPECT_EQ(fe[0], kUntouched) << c.what;
    EXPECT_EQ(nout[0], -7) << c.what;
    EXPECT_EQ(nout[1], -7) << c.what;
  }
}

// Property tests on random data. Each builds the derivatives with DPCHIM.
struct Interpolant {
  hermite_random::Curve c;
  std::vector<double> d;
  int n;
};

Interpolant random_interpolant(std::mt19937_64& rng) {
  Interpolant p;
  p.n = 2 + static_cast<int>(rng() % 20);
  p.c = hermite_random::random_curve(rng, p.n);
  p.d.resize(p.n);
  int ierr = 99;
  DPCHIM(p.n, p.c.x.data(), p.c.f.data(), p.d.data(), 1, ierr);
  EXPECT_GE(ierr, 0);
  return p;
}

// Points spread over the data's range and beyond it on both sides.
std::vector<double> random_points(std::mt19937_64& rng, const Interpolant& p, int count) {
  const double lo = p.c.x.front();
  const double hi = p.c.x.back();
  const double margin = 0.25 * (hi - lo);
  std::uniform_real_distribution<double> where(lo - margin, hi + margin);
  std::vector<double> xe(count);
  for (double& v : xe) v = where(rng);
  return xe;
}

TEST(DpchfeProperties, MonotoneDataGiveAMonotoneInterpolant) {
  constexpr int kSamples = 64;  // per interval
  for (unsigned seed = 1; seed <= 1000; ++seed) {
    std::mt19937_64 rng(seed);
    const Interpolant p = random_interpolant(rng);
    // Walk maximal runs of intervals whose secants never go against `up`.
    int start = 0;
    while (start < p.n - 1) {
      const bool up = hermite_random::secant(p.c, start) >= 0.0;
      int end = start;  // last interval of the run
      while (end + 1 < p.n - 1) {
        const double s = hermite_random::secant(p.c, end + 1);
        if (up ? s < 0.0 : s > 0.0) break;
        ++end;
      }
      std::vector<double> xe;
      for (int k = start; k <= end; ++k) {
        const double h = p.c.x[k + 1] - p.c.x[k];
        for (int s = 0; s < kSamples; ++s) xe.push_back(p.c.x[k] + h * s / kSamples);
      }
      xe.push_back(p.c.x[end + 1]);
      const Evaluation e = evaluate(p.c.x, p.c.f, p.d, xe);
      ASSERT_EQ(e.ierr, 0) << "seed " << seed;
      for (std::size_t j = 1; j < xe.size(); ++j) {
        if (up)
          ASSERT_GE(e.fe[j], e.fe[j - 1]) << "seed " << seed << " at " << xe[j];
        else
          ASSERT_LE(e.fe[j], e.fe[j - 1]) << "seed " << seed << " at " << xe[j];
      }
      start = end + 1;
    }
  }
}

TEST(DpchfeProperties, LinearDataReproducedExactly) {
  // Equal spacing keeps every weight of the slope formulas exact, and small
  // integers and eighths keep every product and sum exact.
  for (unsigned seed = 1; seed <= 500; ++seed) {
    std::mt19937_64 rng(seed);
    const int n = 2 + static_cast<int>(rng() % 20);
    const double x0 = static_cast<double>(static_cast<int>(rng() % 200) - 100);
    const double h = static_cast<double>(1 + rng() % 8);
    const double a = static_cast<double>(static_cast<int>(rng() % 100) - 50);
    const double b = static_cast<double>(static_cast<int>(rng() % 21) - 10);
    std::vector<double> x(n), f(n), d(n);
    for (int i = 0; i < n; ++i) {
      x[i] = x0 + h * i;
      f[i] = a + b * x[i];
    }
    int ierr = 99;
    DPCHIM(n, x.data(), f.data(), d.data(), 1, ierr);
    ASSERT_EQ(ierr, 0);
    for (double slope : d) ASSERT_EQ(slope, b) << "seed " << seed;
    std::vector<double> xe(40);
    // Eighths from two intervals left of X(1) to two right of X(N).
    const unsigned span = static_cast<unsigned>(8 * h * (n + 3));
    for (double& v : xe) v = x0 - 2 * h + static_cast<double>(rng() % span) / 8;
    const Evaluation e = evaluate(x, f, d, xe);
    ASSERT_GE(e.ierr, 0);
    for (std::size_t j = 0; j < xe.size(); ++j)
      ASSERT_EQ(e.fe[j], a + b * xe[j]) << "seed " << seed << " at " << xe[j];
  }
}

TEST(DpchfeProperties, DataAbscissaGivesItsValue) {
  for (unsigned seed = 1; seed <= 500; ++seed) {
    std::mt19937_64 rng(seed);
    const Interpolant p = random_interpolant(rng);
    const std::vector<double> inner(p.c.x.begin(), p.c.x.end() - 1);
    const Evaluation all = evaluate(p.c.x, p.c.f, p.d, inner);
    ASSERT_EQ(all.ierr, 0);
    for (int k = 0; k < p.n - 1; ++k) {
      ASSERT_EQ(all.fe[k], p.c.f[k]) << "seed " << seed << " point " << k;
      const Evaluation one = evaluate(p.c.x, p.c.f, p.d, {p.c.x[k]});
      ASSERT_EQ(one.fe[0], p.c.f[k]) << "seed " << seed << " point " << k;
    }
  }
}

TEST(DpchfeProperties, StridedAndContiguousAgree) {
  for (unsigned seed = 1; seed <= 500; ++seed) {
    std::mt19937_64 rng(seed);
    const Interpolant p = random_interpolant(rng);
    const int incfd = 2 + static_cast<int>(rng() % 5);
    std::vector<double> fs((p.n - 1) * incfd + 1, kNaN);
    std::vector<double> ds(fs.size(), kNaN);
    for (int i = 0; i < p.n; ++i) {
      fs[i * incfd] = p.c.f[i];
      ds[i * incfd] = p.d[i];
    }
    std::vector<double> xe = random_points(rng, p, 30);
    const Evaluation plain = evaluate(p.c.x, p.c.f, p.d, xe);
    const Evaluation strided = evaluate(p.c.x, fs, ds, xe, true, incfd);
    ASSERT_EQ(strided.ierr, plain.ierr) << "seed " << seed;
    for (std::size_t j = 0; j < xe.size(); ++j)
      ASSERT_EQ(strided.fe[j], plain.fe[j]) << "seed " << seed << " at " << xe[j];
  }
}

TEST(DpchfeProperties, OrderOfPointsDoesNotChangeValues) {
  for (unsigned seed = 1; seed <= 500; ++seed) {
    std::mt19937_64 rng(seed);
    const Interpolant p = random_interpolant(rng);
    std::vector<double> xe = random_points(rng, p, 25);
    xe.push_back(p.c.x[rng() % p.n]);
    std::sort(xe.begin(), xe.end());
    const Evaluation ascending = evaluate(p.c.x, p.c.f, p.d, xe);
    ASSERT_GE(ascending.ierr, 0);

    std::vector<double> descending(xe.rbegin(), xe.rend());
    const Evaluation down = evaluate(p.c.x, p.c.f, p.d, descending);
    ASSERT_GE(down.ierr, 0);
    for (std::size_t j = 0; j < xe.size(); ++j)
      ASSERT_EQ(down.fe[xe.size() - 1 - j], ascending.fe[j]) << "seed " << seed << " at " << xe[j];

    std::vector<std::size_t> order(xe.size());
    for (std::size_t j = 0; j < order.size(); ++j) order[j] = j;
    std::shuffle(order.begin(), order.end(), rng);
    std::vector<double> shuffled(xe.size());
    for (std::size_t j = 0; j < order.size(); ++j) shuffled[j] = xe[order[j]];
    const Evaluation mixed = evaluate(p.c.x, p.c.f, p.d, shuffled);
    ASSERT_GE(mixed.ierr, 0);
    for (std::size_t j = 0; j < order.size(); ++j)
      ASSERT_EQ(mixed.fe[j], ascending.fe[order[j]]) << "seed " << seed << " at " << shuffled[j];
  }
}

TEST(DpchfeProperties, AscendingPointsCountTheirExtrapolations) {
  for (unsigned seed = 1; seed <= 500; ++seed) {
    std::mt19937_64 rng(seed);
    const Interpolant p = random_interpolant(rng);
    const double lo = p.c.x.front();
    const double hi = p.c.x.back();
    std::uniform_real_distribution<double> inside(lo, hi);
    std::uniform_real_distribution<double> outside(1.0, 50.0);
    const int left = static_cast<int>(rng() % 4);
    const int right = static_cast<int>(rng() % 4);
    std::vector<double> xe;
    for (int j = 0; j < left; ++j) xe.push_back(lo - outside(rng));
    for (int j = 0; j < right; ++j) xe.push_back(hi + outside(rng));
    for (int j = 0; j < 10; ++j) xe.push_back(inside(rng));
    xe.push_back(hi);  // at X(N): inside
    std::sort(xe.begin(), xe.end());
    const Evaluation e = evaluate(p.c.x, p.c.f, p.d, xe);
    ASSERT_EQ(e.ierr, left + right) << "seed " << seed;
  }
}

TEST(DpchfeProperties, UncheckedDisorderedAbscissaeEnd) {
  // Unvalidated, unsorted abscissae give no meaningful values, but the walk
  // must still end and stay within the arrays.
  for (unsigned seed = 1; seed <= 2000; ++seed) {
    std::mt19937_64 rng(seed);
    const int n = 2 + static_cast<int>(rng() % 8);
    std::uniform_real_distribution<double> any(-10.0, 10.0);
    std::vector<double> x(n), f(n), d(n), xe(1 + rng() % 12);
    for (double& v : x) v = static_cast<double>(static_cast<int>(any(rng)));
    for (double& v : f) v = any(rng);
    for (double& v : d) v = any(rng);
    for (double& v : xe) v = any(rng);
    const Evaluation e = evaluate(x, f, d, xe, false);
    ASSERT_GE(e.ierr, -5) << "seed " << seed;
    ASSERT_TRUE(e.check);
  }
}

}  // namespace
