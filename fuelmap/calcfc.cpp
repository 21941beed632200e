#include <cstddef>
#include <vector>

#include "fuelmap/grid.h"
#include "hermite/hermite.h"

namespace fuelmap {

HermiteFailure literal_fuel(const double& X, const double& Y, double& FC, const GRID& grid) {
  const int ngx = grid.NGX, ngy = grid.NGY;
  const auto columns = static_cast<std::size_t>(ngy);
  std::vector<double> DGX(static_cast<std::size_t>(ngx) * columns);
  std::vector<double> FCX(columns);
  std::vector<double> DFCX(columns);
  int IERR = 0;
  bool CHECK = true;
  const int one = 1;

  // First pass: the value at X on every grid line of constant second coordinate.
  for (std::size_t j = 0; j < columns; ++j) {
    const double* column = &grid.GFC[j * static_cast<std::size_t>(ngx)];
    double* slopes = &DGX[j * static_cast<std::size_t>(ngx)];
    const int place = static_cast<int>(j);
    hermite::DPCHIM(ngx, grid.GX.data(), column, slopes, one, IERR);
    if (IERR < 0) return {5, IERR, place};
    CHECK = true;
    hermite::DPCHFE(ngx, grid.GX.data(), column, slopes, one, CHECK, one, &X, &FCX[j], IERR);
    if (IERR < 0) return {6, IERR, place};
  }

  // Second pass: through those values, at Y.
  hermite::DPCHIM(ngy, grid.GY.data(), FCX.data(), DFCX.data(), one, IERR);
  if (IERR < 0) return {7, IERR, 0};
  CHECK = true;
  hermite::DPCHFE(ngy, grid.GY.data(), FCX.data(), DFCX.data(), one, CHECK, one, &Y, &FC, IERR);
  if (IERR < 0) return {8, IERR, 0};
  return {};
}

}  // namespace fuelmap
