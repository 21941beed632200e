#include <cstddef>

#include "fuelmap/direct.h"
#include "fuelmap/runs.h"
#include "hermite/data_checks.h"
#include "hermite/hermite.h"

namespace fuelmap {

HermiteFailure direct_check(const MAP& map) {
  const std::vector<int> starts = run_starts(map);
  const int nrun = static_cast<int>(starts.size()) - 1;
  std::vector<double> XRUN(static_cast<std::size_t>(nrun));
  int IERR = 0;
  for (int k = 0; k < nrun; ++k) {
    const int first = starts[k], n = starts[k + 1] - first;
    std::vector<double> D(static_cast<std::size_t>(n));
    hermite::DPCHIM(n, map.YMAP.data() + first, map.FCMAP.data() + first, D.data(), 1, IERR);
    if (IERR < 0) return {kRunSlopes, IERR, k};
    XRUN[k] = map.XMAP[first];
  }
  IERR = hermite::check_data(nrun, XRUN.data(), 1);
  if (IERR < 0) return {kAcrossSlopes, IERR, 0};
  return {};
}

HermiteFailure literal_direct_fuel(const double& X, const double& Y, double& FC, const MAP& map) {
  const std::vector<int> starts = run_starts(map);
  const int nrun = static_cast<int>(starts.size()) - 1;
  const auto runs = static_cast<std::size_t>(nrun);
  std::vector<double> XRUN(runs), FCX(runs), DFCX(runs);
  int IERR = 0;
  bool CHECK = true;
  const int one = 1;

  // First pass: every run at Y, along its own second coordinates.
  for (int k = 0; k < nrun; ++k) {
    const int first = starts[k], n = starts[k + 1] - first;
    const double* y = map.YMAP.data() + first;
    const double* f = map.FCMAP.data() + first;
    std::vector<double> D(static_cast<std::size_t>(n));
    hermite::DPCHIM(n, y, f, D.data(), one, IERR);
    if (IERR < 0) return {kRunSlopes, IERR, k};
    XRUN[k] = map.XMAP[first];
    int node = 0;
    while (node < n && !(y[node] == Y)) ++node;
    if (node < n) {
      FCX[k] = f[node];
      continue;
    }
    CHECK = true;
    hermite::DPCHFE(n, y, f, D.data(), one, CHECK, one, &Y, &FCX[k], IERR);
    if (IERR < 0) return {kRunValue, IERR, k};
  }

  // Second pass: through those values, at X.
  hermite::DPCHIM(nrun, XRUN.data(), FCX.data(), DFCX.data(), one, IERR);
  if (IERR < 0) return {kAcrossSlopes, IERR, 0};
  for (int k = 0; k < nrun; ++k) {
    if (XRUN[k] == X) {
      FC = FCX[k];
      return {};
    }
  }
  CHECK = true;
  hermite::DPCHFE(nrun, XRUN.data(), FCX.data(), DFCX.data(), one, CHECK, one, &X, &FC, IERR);
  if (IERR < 0) return {kAcrossValue, IERR, 0};
  return {};
}

}  // namespace fuelmap
