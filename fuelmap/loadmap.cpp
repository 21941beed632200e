#include <string>

#include "fuelmap/map.h"
#include "textio/endings.h"
#include "textio/fixed_text.h"
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

// Reads the two header records; only an error returns (end of file there is
// a run-time error of the read).
void read_headers(const int& unit, std::string_view name, textio::FixedText& header) {
  for (int record = 0; record < 2; ++record)
    if (textio::read_text(unit, StatusReturn::Error, header) != 0) read_failure(unit, name);
}

}  // namespace

void LOADMAP(const int& UNIT, std::string_view FILENAME, MAP& map) {
  const textio::RoutineFrame frame("LOADMAP");
  const std::string_view name = without_trailing_blanks(FILENAME);
  textio::FixedText MAPHDR = textio::blank_text();

  map.NMAP = 0;
  if (textio::open_unit(UNIT, FILENAME, textio::OpenStatus::Old, StatusReturn::Error,
                        /*replay_on_rewind=*/true) != 0) {
    textio::write_formatted(textio::kErrorOutput, textio::TEXT3_FMT,
                            {" Cannot open TORQUE MAP file [ ", name, " ]"});
    textio::stop("", 1);
  }

  // Counting pass. A read that succeeds without all three values (a null, a
  // slash) would leave a point partly invented, so it is a read failure too.
  read_headers(UNIT, name, MAPHDR);
  for (;;) {
    double first = 0.0, second = 0.0, fuel = 0.0;
    double* const point[] = {&first, &second, &fuel};
    int stored = 0;
    const int status = textio::read_numbers(UNIT, StatusReturn::ErrorAndEnd, point, &stored);
    if (status < 0) break;
    if (status > 0 || stored < 3) read_failure(UNIT, name);
    ++map.NMAP;
  }

  const auto count = static_cast<std::size_t>(map.NMAP);
  map.XMAP = textio::allocate_array<double>(count);
  map.YMAP = textio::allocate_array<double>(count);
  map.FCMAP = textio::allocate_array<double>(count);

  // Reading pass over the same records.
  textio::rewind_unit(UNIT);
  read_headers(UNIT, name, MAPHDR);
  for (std::size_t i = 0; i < count; ++i) {
    double* const point[] = {&map.XMAP[i], &map.YMAP[i], &map.FCMAP[i]};
    if (textio::read_numbers(UNIT, StatusReturn::Error, point) != 0) read_failure(UNIT, name);
  }
  textio::close_unit(UNIT);

  order_map(map);
}

}  // namespace fuelmap
