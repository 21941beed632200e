#include <cstddef>
#include <vector>

#include "fuelmap/grid.h"
#include "hermite/hermite.h"

namespace fuelmap {
namespace {

// Two first coordinates belong to one run unless they compare unequal; a
// not-a-number compares equal, so it joins the current run.
bool differs(double a, double b) { return a < b || a > b; }

}  // namespace

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

  // Run sizes: a new run opens where the first coordinate differs from that of
  // the current run's first point. An empty map is one run with no points.
  int NRUN = 1;
  if (nmap > 0) {
    double run_x = map.XMAP[0];
    for (int i = 0; i < nmap; ++i) {
      if (differs(map.XMAP[i], run_x)) {
        ++NRUN;
        run_x = map.XMAP[i];
      }
    }
  }

  // The runs' points one run after another, run k's from RUNSTART[k]: storage
  // grows with the points, not with the runs times the longest run. The
  // routines read a run's values with a stride of 1 at that offset, the same
  // values in the same order as from a table of runs by points.
  const auto nrun = static_cast<std::size_t>(NRUN);
  const auto npoints_total = static_cast<std::size_t>(nmap);
  std::vector<double> XRUN(nrun);
  std::vector<int> NPRUN(nrun);
  std::vector<std::size_t> RUNSTART(nrun);
  std::vector<double> YRUN(npoints_total);
  std::vector<double> FCRUN(npoints_total);

  // Distribute the points; they stand in map order, so each run's are already
  // consecutive.
  if (nmap > 0) XRUN[0] = map.XMAP[0];
  std::size_t k = 0;
  for (int i = 0; i < nmap; ++i) {
    if (differs(map.XMAP[i], XRUN[k])) {
      ++k;
      XRUN[k] = map.XMAP[i];
      RUNSTART[k] = static_cast<std::size_t>(i);
    }
    ++NPRUN[k];
    YRUN[static_cast<std::size_t>(i)] = map.YMAP[i];
    FCRUN[static_cast<std::size_t>(i)] = map.FCMAP[i];
  }

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
      const int npoints = NPRUN[run];
      const double* YK = YRUN.data() + RUNSTART[run];
      const double* F = FCRUN.data() + RUNSTART[run];
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
