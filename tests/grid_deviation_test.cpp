// The 95th percentile of the grid's deviation: the same double as
// numpy.percentile(x, 95) (its default, linear method), on vectors where the
// plain a + (b - a) * g would give a neighbouring double.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "checks/check_grid_deviation.h"

namespace {

struct PercentileCase {
  std::vector<double> ascending;
  double expected;  // numpy.percentile(ascending, 95)
};

TEST(LinearPercentile, GivesNumpysDouble) {
  const std::vector<PercentileCase> cases = {
      {{0.5}, 0.5},
      {{1, 2, 3, 4, 5}, 4.8},                        // index 3.8
      {{0.001, 0.012}, 0.01145},                     // index 0.95: b - (b - a) * (1 - g)
      {{0.001, 0.001, 0.01}, 0.009099999999999999},  // index 1.9
      {{0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.01},
       0.0055},  // index 9.5: g = 0.5 takes the formula from b
      {{0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.01}, 0.006399999999999996},
  };
  for (const PercentileCase& c : cases)
    EXPECT_EQ(std::bit_cast<std::uint64_t>(fuelcalc::checks::linear_percentile(c.ascending, 95.0)),
              std::bit_cast<std::uint64_t>(c.expected))
        << c.ascending.size() << " values: " << c.expected;
}

}  // namespace
