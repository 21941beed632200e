#include <cstddef>

#include "fuelmap/grid.h"
#include "hermite/hermite.h"
#include "textio/endings.h"
#include "textio/storage.h"

namespace fuelmap {
namespace {

// Two first coordinates belong to one run unless they compare unequal; a
// not-a-number compares equal, so it joins the current run.
bool differs(double a, double b) { return a < b || a > b; }

}  // namespace

void FCGRID(GRID& grid, const MAP& map) {
  const textio::RoutineFrame frame("FCGRID");
  constexpr int kPoints = kGridPoints;

  grid.GX = textio::allocate_array<double>(kPoints);
  grid.GY = textio::allocate_array<double>(kPoints);
  grid.GFC = textio::allocate_array<double>(kPoints * kPoints);
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
  auto XRUN = textio::allocate_array<double>(nrun);
  auto NPRUN = textio::allocate_array<int>(nrun);
  auto YRUN = textio::allocate_array<double>(nrun * static_cast<std::size_t>(MAXRUN));
  auto FCRUN = textio::allocate_array<double>(nrun * static_cast<std::size_t>(MAXRUN));

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

  auto FCMID = textio::allocate_array<double>(nrun * kPoints);
  int IERR = 0;
  bool CHECK = true;

  // First pass: along the second coordinate, one run at a time.
  {
    auto DRUN = textio::allocate_array<double>(nrun * static_cast<std::size_t>(MAXRUN));
    for (std::size_t run = 0; run < nrun; ++run) {
      const int npoints = NPRUN[run];
      auto YK = textio::allocate_array<double>(static_cast<std::size_t>(npoints));
      for (int j = 0; j < npoints; ++j) YK[j] = YRUN[run + nrun * j];
      hermite::DPCHIM(npoints, YK.data(), &FCRUN[run], &DRUN[run], NRUN, IERR);
      if (IERR < 0) hermite::HERMERR(1, IERR);
      auto FEBUF = textio::allocate_array<double>(kPoints);
      CHECK = true;
      hermite::DPCHFE(npoints, YK.data(), &FCRUN[run], &DRUN[run], NRUN, CHECK, grid.NGY,
                      grid.GY.data(), FEBUF.data(), IERR);
      if (IERR < 0) hermite::HERMERR(2, IERR);
      for (int j = 0; j < kPoints; ++j) FCMID[run + nrun * j] = FEBUF[j];
    }
  }

  // Second pass: along the first coordinate, one grid column at a time.
  auto DMID = textio::allocate_array<double>(nrun * kPoints);
  for (int j = 0; j < kPoints; ++j) {
    double* column = &FCMID[nrun * j];
    double* slopes = &DMID[nrun * j];
    hermite::DPCHIM(NRUN, XRUN.data(), column, slopes, 1, IERR);
    if (IERR < 0) hermite::HERMERR(3, IERR);
    auto FEBUF = textio::allocate_array<double>(kPoints);
    CHECK = true;
    hermite::DPCHFE(NRUN, XRUN.data(), column, slopes, 1, CHECK, grid.NGX, grid.GX.data(),
                    FEBUF.data(), IERR);
    if (IERR < 0) hermite::HERMERR(4, IERR);
    for (int i = 0; i < kPoints; ++i) grid.GFC[i + kPoints * j] = FEBUF[i];
  }
}

}  // namespace fuelmap
