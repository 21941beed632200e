// One map's const functions from many threads at once, and distinct maps
// built and used on distinct threads, give every thread the values a single
// thread gets. Run under ThreadSanitizer by `make test-tsan`.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "fuelcalc/fuelcalc.hpp"

namespace {

using fuelcalc::FuelMap;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kPoints = 2'000;
#else
constexpr int kPoints = 200'000;
#endif
constexpr int kThreads = 8;

const std::string kMap = FUELCALC_SOURCE_DIR "/examples/torque_map.dat";

struct Points {
  std::vector<double> speed, torque;
};

// Points over and around the example map, a few of them not finite.
Points points(int n, int seed) {
  Points p;
  for (int i = 0; i < n; ++i) {
    const int k = i * 7919 + seed * 104729;
    p.speed.push_back(500.0 + (k % 1900));
    p.torque.push_back(-100.0 + (k / 3 % 1400));
  }
  p.speed[n / 2] = std::numeric_limits<double>::infinity();
  return p;
}

std::vector<std::uint64_t> bits_of(const FuelMap& map, const Points& p) {
  std::vector<double> fuel(p.speed.size());
  map.fuel(p.speed, p.torque, fuel);
  std::vector<std::uint64_t> bits;
  for (const double f : fuel) bits.push_back(std::bit_cast<std::uint64_t>(f));
  return bits;
}

TEST(LibraryThreads, ManyThreadsOnOneMap) {
  const FuelMap map = FuelMap::load(kMap);
  const Points p = points(kPoints, 1);
  const std::vector<std::uint64_t> expected = bits_of(map, p);
  const std::size_t expected_outside = map.count_outside(p.speed, p.torque);
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const FuelMap copy = map;  // copies share the data
      mismatches[t] += bits_of(t % 2 ? copy : map, p) != expected;
      mismatches[t] += map.count_outside(p.speed, p.torque) != expected_outside;
      for (int i = t; i < kPoints; i += 97)
        mismatches[t] +=
            std::bit_cast<std::uint64_t>(map.fuel(p.speed[i], p.torque[i])) != expected[i];
      mismatches[t] += map.grid().fuel[3][4] != copy.grid().fuel[3][4];
    });
  }
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST(LibraryThreads, DistinctMapsOnDistinctThreads) {
  const Points p = points(kPoints / 10, 2);
  // Each thread builds its own map (a file, text, arrays, and maps that fail)
  // and evaluates it; the reference is the same work on this thread.
  const auto work = [&](int t) {
    std::vector<double> s, q, f;
    for (int i = 0; i < 6; ++i)
      for (int j = 0; j < 5; ++j) {
        s.push_back(600.0 + 300.0 * i + t);
        q.push_back(100.0 * j + i);
        f.push_back(s.back() * 0.02 * (q.back() + 40.0) + t);
      }
    const FuelMap map = t % 3 == 0 ? FuelMap::load(kMap)
                        : t % 3 == 1
                            ? FuelMap::from_points(s, q, f)
                            : FuelMap::parse("h\nh\n1000 10 1\n1000 20 2\n2000 10 3\n2000 20 " +
                                             std::to_string(t) + "\n");
    try {
      FuelMap::from_points(std::vector<double>{1, 2, 2}, std::vector<double>{1, 1, 2},
                           std::vector<double>{1, 1, 1});
    } catch (const fuelcalc::Error&) {
    }
    return bits_of(map, p);
  };
  std::vector<std::vector<std::uint64_t>> expected, got(kThreads);
  for (int t = 0; t < kThreads; ++t) expected.push_back(work(t));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back([&, t] { got[t] = work(t); });
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(got[t], expected[t]) << "thread " << t;
}

}  // namespace
