#include <cstring>

#include "driver/reporting.h"
#include "fuelmap/map.h"
#include "fuelmap/map_reader.h"
#include "runtime/endings.h"
#include "runtime/formats.h"
#include "runtime/storage.h"
#include "runtime/units.h"

namespace driver {
namespace {

using runtime::StatusReturn;

std::string_view without_trailing_blanks(std::string_view name) {
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return name;
}

[[noreturn]] void read_failure(const int& unit, std::string_view name) {
  runtime::write_formatted(runtime::kErrorOutput, runtime::TEXT3_FMT,
                           {" Failed to read TORQUE MAP [ ", name, " ]"});
  runtime::close_unit(unit);
  runtime::stop("", 1);
}

}  // namespace

void LOADMAP(const int& UNIT, std::string_view FILENAME, fuelmap::MAP& map) {
  const runtime::RoutineFrame frame("LOADMAP");
  const std::string_view name = without_trailing_blanks(FILENAME);

  map.NMAP = 0;
  if (runtime::open_unit(UNIT, FILENAME, runtime::OpenStatus::Old, StatusReturn::Error,
                         /*replay_on_rewind=*/true) != 0) {
    runtime::write_formatted(runtime::kErrorOutput, runtime::TEXT3_FMT,
                             {" Cannot open TORQUE MAP file [ ", name, " ]"});
    runtime::stop("", 1);
  }

  const fuelmap::MapReading reading = runtime::reporting_storage_failures(
      [&] { return fuelmap::read_map(runtime::unit_source(UNIT), map); });
  switch (reading.status) {
    case fuelmap::MapReadStatus::ok: break;
    case fuelmap::MapReadStatus::unreadable:
    case fuelmap::MapReadStatus::incomplete_point: read_failure(UNIT, name);
    case fuelmap::MapReadStatus::header_missing:
    case fuelmap::MapReadStatus::shrank:
      // The header reads and the reading pass ask for no end-of-file return.
      runtime::runtime_error(24, UNIT);
    case fuelmap::MapReadStatus::rewind_failed:
      runtime::runtime_error(39, UNIT, std::strerror(reading.os_error));
  }
  runtime::close_unit(UNIT);

  runtime::reporting_storage_failures([&] { fuelmap::order_map(map); });
}

}  // namespace driver
