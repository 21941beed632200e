#pragma once
// Random interpolation data for the property tests of the Hermite routines:
// strictly increasing abscissae and values that rise, fall and stay flat in
// runs, so that turns, flat stretches and flat ends all occur.
#include <random>
#include <vector>

namespace hermite_random {

struct Curve {
  std::vector<double> x;
  std::vector<double> f;
};

inline Curve random_curve(std::mt19937_64& rng, int n) {
  std::uniform_real_distribution<double> start(-100.0, 100.0);
  std::uniform_real_distribution<double> width(0.01, 10.0);
  std::uniform_real_distribution<double> rise(0.01, 5.0);
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  Curve c;
  c.x.push_back(start(rng));
  c.f.push_back(start(rng));
  double direction = chance(rng) < 0.5 ? 1.0 : -1.0;
  for (int i = 1; i < n; ++i) {
    c.x.push_back(c.x.back() + width(rng));
    if (chance(rng) < 0.3) direction = -direction;
    const double step = chance(rng) < 0.2 ? 0.0 : direction * rise(rng);
    c.f.push_back(c.f.back() + step);
  }
  return c;
}

// The secant slope of interval i, as the routines form it.
inline double secant(const Curve& c, int i) {
  return (c.f[i + 1] - c.f[i]) / (c.x[i + 1] - c.x[i]);
}

}  // namespace hermite_random
