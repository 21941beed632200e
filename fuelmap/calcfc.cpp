#include <cstddef>

#include "fuelmap/grid.h"
#include "hermite/hermite.h"
#include "textio/endings.h"
#include "textio/storage.h"

namespace fuelmap {

void CALCFC(const double& X, const double& Y, double& FC, const GRID& grid) {
  const textio::RoutineFrame frame("CALCFC");
  const int ngx = grid.NGX, ngy = grid.NGY;
  const auto columns = static_cast<std::size_t>(ngy);
  auto DGX = textio::allocate_array<double>(static_cast<std::size_t>(ngx) * columns);
  auto FCX = textio::allocate_array<double>(columns);
  auto DFCX = textio::allocate_array<double>(columns);
  int IERR = 0;
  bool CHECK = true;
  const int one = 1;

  // First pass: the value at X on every grid line of constant second coordinate.
  for (std::size_t j = 0; j < columns; ++j) {
    const double* column = &grid.GFC[j * static_cast<std::size_t>(ngx)];
    double* slopes = &DGX[j * static_cast<std::size_t>(ngx)];
    hermite::DPCHIM(ngx, grid.GX.data(), column, slopes, one, IERR);
    if (IERR < 0) hermite::HERMERR(5, IERR);
    CHECK = true;
    hermite::DPCHFE(ngx, grid.GX.data(), column, slopes, one, CHECK, one, &X, &FCX[j], IERR);
    if (IERR < 0) hermite::HERMERR(6, IERR);
  }

  // Second pass: through those values, at Y.
  hermite::DPCHIM(ngy, grid.GY.data(), FCX.data(), DFCX.data(), one, IERR);
  if (IERR < 0) hermite::HERMERR(7, IERR);
  CHECK = true;
  hermite::DPCHFE(ngy, grid.GY.data(), FCX.data(), DFCX.data(), one, CHECK, one, &Y, &FC, IERR);
  if (IERR < 0) hermite::HERMERR(8, IERR);
}

}  // namespace fuelmap
