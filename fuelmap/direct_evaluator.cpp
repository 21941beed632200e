#include "fuelmap/direct_evaluator.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "fuelmap/direct.h"
#include "fuelmap/runs.h"
#include "hermite/cubic_pieces.h"
#include "hermite/data_checks.h"
#include "hermite/hermite.h"

namespace fuelmap {
namespace {

bool all_finite(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// Index j of the interval [a[j], a[j + 1]] of the n >= 2 ascending values a
// that the evaluation walk places a finite v in: the last interval whose left
// end is <= v, the first for v below a[0], the last for v at or beyond a[n - 1].
// Bisection, without branches on the data.
[[gnu::always_inline]] inline int interval_in(const double* a, int n, double v) {
  const double* base = a;
  int length = n - 1;
  // The answer stays in base[0 .. length - 1]: a probe at or below v moves
  // the base up to it; either way what lies beyond the answer may stay.
  while (length > 1) {
    const int half = length / 2;
    base = base[half] <= v ? base + half : base;
    length -= half;
  }
  return static_cast<int>(base - a);
}

// The same index, guessed first from the scaled offset (scale = (n - 1) /
// (a[n - 1] - a[0])): on roughly even spacing the guess is the answer, and
// the comparisons that confirm it are all; otherwise bisection on the side
// the answer lies.
[[gnu::always_inline]] inline int interval_guessed(const double* a, int n, double scale, double v) {
  const double guess = (v - a[0]) * scale;
  int j = 0;
  if (guess > 0.0) j = guess < n - 2 ? static_cast<int>(guess) : n - 2;
  if (j < n - 2 && a[j + 1] <= v) return j + 1 + interval_in(a + j + 1, n - j - 1, v);
  if (j > 0 && !(a[j] <= v)) return interval_in(a, j + 1, v);
  return j;
}

// The second pass needs the values of at most four runs: those of the
// interval k holding X and the one on each side of it (the first or last four
// for an end interval, every run when there are fewer). The end slopes of
// interval k depend on no other secant.
constexpr int kRunsUsed = 4;

int first_run_used(int runs, int k) {
  if (runs <= kRunsUsed || k == 0) return 0;
  return k == runs - 2 ? runs - kRunsUsed : k - 1;
}

// The value of one run at Y, as the first pass gives it.
[[gnu::always_inline]] inline double run_value(const DirectEvaluator& evaluator, int run,
                                               double Y) {
  const int first = evaluator.start[run];
  const int n = evaluator.start[run + 1] - first;
  const double* y = &evaluator.y[first];
  const int j = interval_guessed(y, n, evaluator.y_scale[run], Y);
  const DirectEvaluator::Piece& piece = evaluator.pieces[first + j];
  if (Y == y[j]) return piece.f;
  if (Y == y[j + 1]) return evaluator.pieces[first + j + 1].f;
  return hermite::cubic_value(piece.c3, piece.c2, piece.d, piece.f, Y - y[j]);
}

// The slope the slope estimation gives at run i from the secants around it;
// del[g - first] is the secant of interval g.
double slope_at(const DirectEvaluator& evaluator, int i, const double* del, int first) {
  const int runs = evaluator.runs;
  const auto& w = evaluator.weights;
  if (runs == 2) return del[0];
  if (i == 0) return hermite::start_slope(w[0], del[0], del[1]);
  if (i == runs - 1) return hermite::end_slope(w[i], del[runs - 3 - first], del[runs - 2 - first]);
  return hermite::interior_slope(w[i], del[i - 1 - first], del[i - first]);
}

}  // namespace

DirectEvaluator prepare_direct(const MAP& map) {
  DirectEvaluator evaluator;
  if (!all_finite(map.XMAP) || !all_finite(map.YMAP) || !all_finite(map.FCMAP)) return evaluator;
  evaluator.start = run_starts(map);
  const int runs = evaluator.runs = static_cast<int>(evaluator.start.size()) - 1;
  evaluator.y = map.YMAP;
  evaluator.pieces.resize(map.YMAP.size());
  std::vector<double> slopes;
  for (int k = 0; k < runs; ++k) {
    const int first = evaluator.start[k], n = evaluator.start[k + 1] - first;
    const double* y = map.YMAP.data() + first;
    const double* f = map.FCMAP.data() + first;
    slopes.resize(static_cast<std::size_t>(n));
    int ierr = 0;
    hermite::DPCHIM(n, y, f, slopes.data(), 1, ierr);
    if (ierr < 0) return DirectEvaluator{};
    for (int p = 0; p < n; ++p) {
      DirectEvaluator::Piece& piece = evaluator.pieces[first + p];
      piece = {0.0, 0.0, slopes[p], f[p]};
      if (p == n - 1) continue;
      const auto c =
          hermite::cubic_coefficients(y[p + 1] - y[p], f[p], f[p + 1], slopes[p], slopes[p + 1]);
      piece.c3 = c.c3;
      piece.c2 = c.c2;
    }
    evaluator.run_x.push_back(map.XMAP[first]);
    evaluator.y_scale.push_back((n - 1) / (y[n - 1] - y[0]));
  }
  if (hermite::check_data(runs, evaluator.run_x.data(), 1) != 0) return DirectEvaluator{};
  evaluator.x_scale = (runs - 1) / (evaluator.run_x[runs - 1] - evaluator.run_x[0]);

  auto& hx = evaluator.hx;
  for (int k = 0; k + 1 < runs; ++k) hx.push_back(evaluator.run_x[k + 1] - evaluator.run_x[k]);
  evaluator.weights.resize(static_cast<std::size_t>(runs));
  if (runs > 2) {
    evaluator.weights[0] = hermite::start_weights(hx[0], hx[0] + hx[1]);
    for (int k = 1; k < runs - 1; ++k)
      evaluator.weights[k] = hermite::interior_weights(hx[k - 1], hx[k], hx[k - 1] + hx[k]);
    evaluator.weights[runs - 1] = hermite::end_weights(hx[runs - 2], hx[runs - 3] + hx[runs - 2]);
  }
  evaluator.literal_only = false;
  return evaluator;
}

bool takes_direct_point(const DirectEvaluator& evaluator, double X, double Y) {
  return !evaluator.literal_only && std::isfinite(X) && std::isfinite(Y);
}

void evaluate_direct_points(const DirectEvaluator& evaluator, int count, const double* X,
                            const double* Y, double* FC) {
  // Per point of the block: the interval holding X, the first run used, the
  // runs' values at Y, the secants between them and the slopes at the ends of
  // the interval.
  int interval[kDirectBlockPoints], first[kDirectBlockPoints];
  double value[kDirectBlockPoints][kRunsUsed];
  double del[kDirectBlockPoints][kRunsUsed - 1];
  double dk[kDirectBlockPoints], dk1[kDirectBlockPoints];
  bool taken[kDirectBlockPoints];
  const int runs = evaluator.runs;
  const int used = std::min(runs, kRunsUsed);

  // The interval holding X, then the first pass: the runs used, at Y.
  for (int i = 0; i < count; ++i) {
    taken[i] = takes_direct_point(evaluator, X[i], Y[i]);
    if (!taken[i]) continue;
    interval[i] = interval_guessed(evaluator.run_x.data(), runs, evaluator.x_scale, X[i]);
    first[i] = first_run_used(runs, interval[i]);
  }
  for (int i = 0; i < count; ++i) {
    if (!taken[i]) continue;
    for (int n = 0; n < used; ++n) value[i][n] = run_value(evaluator, first[i] + n, Y[i]);
  }

  // Second pass, stage by stage over the block.
  for (int i = 0; i < count; ++i) {
    if (!taken[i]) continue;
    for (int n = 0; n < used - 1; ++n)
      del[i][n] = (value[i][n + 1] - value[i][n]) / evaluator.hx[first[i] + n];
  }
  for (int i = 0; i < count; ++i) {
    if (!taken[i]) continue;
    dk[i] = slope_at(evaluator, interval[i], del[i], first[i]);
    dk1[i] = slope_at(evaluator, interval[i] + 1, del[i], first[i]);
  }
  for (int i = 0; i < count; ++i) {
    if (!taken[i]) continue;
    const int k = interval[i], local = interval[i] - first[i];
    if (X[i] == evaluator.run_x[k]) {
      FC[i] = value[i][local];
    } else if (X[i] == evaluator.run_x[k + 1]) {
      FC[i] = value[i][local + 1];
    } else {
      // The cubic's own secant is the one already formed for interval k.
      const auto c =
          hermite::cubic_coefficients_from_secant(evaluator.hx[k], del[i][local], dk[i], dk1[i]);
      FC[i] = hermite::cubic_value(c.c3, c.c2, dk[i], value[i][local], X[i] - evaluator.run_x[k]);
    }
  }
}

HermiteFailure evaluate_direct_point(const DirectEvaluator& evaluator, const MAP& map,
                                     const double& X, const double& Y, double& FC) {
  if (!takes_direct_point(evaluator, X, Y)) return literal_direct_fuel(X, Y, FC, map);
  evaluate_direct_points(evaluator, 1, &X, &Y, &FC);
  return {};
}

}  // namespace fuelmap
