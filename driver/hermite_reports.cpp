// The program's interpolation calls and the fatal report of a failed one:
// which call failed, its status, and a stop that tells the user to check the
// fuel map.
#include <cstring>
#include <string_view>

#include "driver/reporting.h"
#include "runtime/endings.h"
#include "runtime/formats.h"
#include "runtime/storage.h"
#include "runtime/units.h"

namespace driver {

namespace {

constexpr std::size_t kFailMsgLength = 1024;

// The message of each call site, indexed by ICALL - 1; each is 42 characters.
constexpr std::string_view kMessages[] = {
    "Error : DPCHIM ( called from FCGRID, 1st )", "Error : DPCHFE ( called from FCGRID, 1st )",
    "Error : DPCHIM ( called from FCGRID, 2nd )", "Error : DPCHFE ( called from FCGRID, 2nd )",
    "Error : DPCHIM ( called from CALCFC, 1st )", "Error : DPCHFE ( called from CALCFC, 1st )",
    "Error : DPCHIM ( called from CALCFC, 2nd )", "Error : DPCHFE ( called from CALCFC, 2nd )",
};

}  // namespace

void HERMERR(const int& ICALL, const int& IERR) {
  // A code outside 1..8 names no call site; its line is left all blanks.
  char failmsg[kFailMsgLength];
  std::memset(failmsg, ' ', kFailMsgLength);
  if (ICALL >= 1 && ICALL <= 8) {
    const std::string_view message = kMessages[ICALL - 1];
    std::memcpy(failmsg, message.data(), message.size());
  }
  runtime::write_formatted(runtime::kErrorOutput, runtime::TEXT1_FMT,
                           {std::string_view(failmsg, kFailMsgLength)});
  runtime::write_formatted(runtime::kErrorOutput, runtime::IERR_FMT, {"ierr = ", IERR});
  // Exit status 1: a script running the calculator must see the failure.
  runtime::stop(" Terminated by error of Hermite function. Check input fuel map.", 1);
}

void FCGRID(fuelmap::GRID& grid, const fuelmap::MAP& map) {
  const runtime::RoutineFrame frame("FCGRID");
  const fuelmap::HermiteFailure failure =
      runtime::reporting_storage_failures([&] { return fuelmap::build_grid(grid, map); });
  if (failure) HERMERR(failure.code, failure.ierr);
}

void CALCFC(const double& X, const double& Y, double& FC, const fuelmap::GRID& grid) {
  const runtime::RoutineFrame frame("CALCFC");
  const fuelmap::HermiteFailure failure =
      runtime::reporting_storage_failures([&] { return fuelmap::literal_fuel(X, Y, FC, grid); });
  if (failure) HERMERR(failure.code, failure.ierr);
}

}  // namespace driver
