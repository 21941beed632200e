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
  int NRUN = 1, MAXRUN = 1;
  if (nmap > 0) {
    double run_x = map.XMAP[0];
    int length = 0;
    MAXRUN = 0;
    for (int i = 0; i < nmap; ++i) {
      if (differs(map.XMAP[i], run_x)) {
        ++NRUN;
        run_x = map.XMAP[i];
        length = 0;
      }
      if (++length > MAXRUN) MAXRUN = length;
    }
  }

  const auto nrun = static_cast<std::size_t>(NRUN);
  std::vector<double> XRUN(nrun);
  std::vector<int> NPRUN(nrun);
  std::vector<double> YRUN(nrun * static_cast<std::size_t>(MAXRUN));
  std::vector<double> FCRUN(nrun * static_cast<std::size_t>(MAXRUN));

  // Distribute the points: run k's j-th point at (k, j) of the tables, which
  // are stored column by column (element (k, j) at k + NRUN * j, 0-based).
  if (nmap > 0) XRUN[0] = map.XMAP[0];
  std::size_t k = 0;
  for (int i = 0; i < nmap; ++i) {
    if (differs(map.XMAP[i], XRUN[k])) {
      ++k;
      XRUN[k] = map.XMAP[i];
    }
    const auto j = static_cast<std::size_t>(NPRUN[k]++);
    YRUN[k + nrun * j] = map.YMAP[i];
    FCRUN[k + nrun * j] = map.FCMAP[i];
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
    std::vector<double> DRUN(nrun * static_cast<std::size_t>(MAXRUN));
    for (std::size_t run = 0; run < nrun; ++run) {
      const int place = static_cast<int>(run);
      const int npoints = NPRUN[run];
      std::vector<double> YK(static_cast<std::size_t>(npoints));
      for (int j = 0; j < npoints; ++j) YK[j] = YRUN[run + nrun * j];
      hermite::DPCHIM(npoints, YK.data(), &FCRUN[run], &DRUN[run], NRUN, IERR);
      if (IERR < 0) return {1, IERR, place};
      std::vector<double> FEBUF(kPoints);
      CHECK = true;
      hermite::DPCHFE(npoints, YK.data(), &FCRUN[run], &DRUN[run], NRUN, CHECK, grid.NGY,
                      grid.GY.data(), FEBUF.data(), IERR);
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
