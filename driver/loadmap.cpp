#include <cstring>

#include "fuelmap/map.h"
#include "fuelmap/map_reader.h"
#include "textio/endings.h"
#include "textio/formats.h"
#include "textio/storage.h"
#include "textio/units.h"

namespace fuelmap {
namespace {

using textio::StatusReturn;

std::string_view without_trailing_blanks(std::string_view name) {
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return name;
}

[[noreturn]] void read_failure(const int& unit, std::string_view name) {
  textio::write_formatted(textio::kErrorOutput, textio::TEXT3_FMT,
                          {" Failed to read TORQUE MAP [ ", name, " ]"});
  textio::close_unit(unit);
  textio::stop("", 1);
}

}  // namespace

void LOADMAP(const int& UNIT, std::string_view FILENAME, MAP& map) {
  const textio::RoutineFrame frame("LOADMAP");
  const std::string_view name = without_trailing_blanks(FILENAME);

  map.NMAP = 0;
  if (textio::open_unit(UNIT, FILENAME, textio::OpenStatus::Old, StatusReturn::Error,
                        /*replay_on_rewind=*/true) != 0) {
    textio::write_formatted(textio::kErrorOutput, textio::TEXT3_FMT,
                            {" Cannot open TORQUE MAP file [ ", name, " ]"});
    textio::stop("", 1);
  }

  const MapReading reading =
      textio::reporting_storage_failures([&] { return read_map(textio::unit_source(UNIT), map); });
  switch (reading.status) {
    case MapReadStatus::ok: break;
    case MapReadStatus::unreadable:
    case MapReadStatus::incomplete_point: read_failure(UNIT, name);
    case MapReadStatus::header_missing:
    case MapReadStatus::shrank:
      // The header reads and the reading pass ask for no end-of-file return.
      textio::runtime_error(24, UNIT);
    case MapReadStatus::rewind_failed:
      textio::runtime_error(39, UNIT, std::strerror(reading.os_error));
  }
  textio::close_unit(UNIT);

  textio::reporting_storage_failures([&] { order_map(map); });
}

}  // namespace fuelmap
