#include <cstddef>
#include <vector>

#include "fuelmap/grid.h"
#include "fuelmap/runs.h"
#include "hermite/hermite.h"

namespace fuelmap {

HermiteFailure build_grid(GRID& grid, const MAP& map) {
  constexpr int kPoints = kGridPoints;

  grid.GX = std::vector<double>(kPoints);
  grid.GY = std::vector<double>(kPoints);
  grid.GFC = std::vector<double>(kPoints * kPoints);
  grid.NGX = kPoints;
  grid.NGY = kPoints;

  // Ranges of the map.
  const int nmap = map.NMAP;
  double xmin = 0.0, xmax = 0.0, ymin = 0.0, ymax = 0.0;
  if (nmap > 0) {
    xmin = xmax = map.XMAP[0];
    ymin = ymax = map.YMAP[0];
    for (int i = 1; i < nmap; ++i) {
      if (map.XMAP[i] < xmin) xmin = map.XMAP[i];
      if (map.XMAP[i] > xmax) xmax = map.XMAP[i];
      if (map.YMAP[i] < ymin) ymin = map.YMAP[i];
      if (map.YMAP[i] > ymax) ymax = map.YMAP[i];
    }
  }

  // The runs stand one after another in map order, run k's points from
  // RUNSTART[k]: the routines read a run's values with a stride of 1 at that
  // offset, the same values in the same order as from a table of runs by
  // points, with storage that grows with the points alone. An empty map is
  // one run with no points.
  const std::vector<int> RUNSTART = run_starts(map);
  const int NRUN = static_cast<int>(RUNSTART.size()) - 1;
  const auto nrun = static_cast<std::size_t>(NRUN);
  const auto npoints_total = static_cast<std::size_t>(nmap);
  std::vector<double> XRUN(nrun);
  if (nmap > 0)
    for (std::size_t k = 0; k < nrun; ++k) XRUN[k] = map.XMAP[RUNSTART[k]];

  // Grid axes: the product first, then the sum; GX(20) is the formula's value.
  const double DX = (xmax - xmin) / 19.0;
  const double DY = (ymax - ymin) / 19.0;
  for (int i = 0; i < kPoints; ++i) {
    grid.GX[i] = i * DX + xmin;
    grid.GY[i] = i * DY + ymin;
  }

  std::vector<double> FCMID(nrun * kPoints);
  int IERR = 0;
  bool CHECK = true;

  // First pass: along the second coordinate, one run at a time.
  {
    std::vector<double> DRUN(npoints_total);
    for (std::size_t run = 0; run < nrun; ++run) {
      const int place = static_cast<int>(run);
      const int npoints = RUNSTART[run + 1] - RUNSTART[run];
      const double* YK = map.YMAP.data() + RUNSTART[run];
      const double* F = map.FCMAP.data() + RUNSTART[run];
      double* D = DRUN.data() + RUNSTART[run];
      hermite::DPCHIM(npoints, YK, F, D, 1, IERR);
      if (IERR < 0) return {1, IERR, place};
      std::vector<double> FEBUF(kPoints);
      CHECK = true;
      hermite::DPCHFE(npoints, YK, F, D, 1, CHECK, grid.NGY, grid.GY.data(), FEBUF.data(), IERR);
      if (IERR < 0) return {2, IERR, place};
      for (int j = 0; j < kPoints; ++j) FCMID[run + nrun * j] = FEBUF[j];
    }
  }

  // Second pass: along the first coordinate, one grid column at a time.
  std::vector<double> DMID(nrun * kPoints);
  for (int j = 0; j < kPoints; ++j) {
    double* column = &FCMID[nrun * j];
    double* slopes = &DMID[nrun * j];
    hermite::DPCHIM(NRUN, XRUN.data(), column, slopes, 1, IERR);
    if (IERR < 0) return {3, IERR, j};
    std::vector<double> FEBUF(kPoints);
    CHECK = true;
    hermite::DPCHFE(NRUN, XRUN.data(), column, slopes, 1, CHECK, grid.NGX, grid.GX.data(),
                    FEBUF.data(), IERR);
    if (IERR < 0) return {4, IERR, j};
    for (int i = 0; i < kPoints; ++i) grid.GFC[i + kPoints * j] = FEBUF[i];
  }
  return {};
}

}  // namespace fuelmap
