#pragma once
// The Errors the library raises, with their plain English messages. Internal
// to the library.
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "fuelcalc/error.hpp"
#include "fuelcalc/number_text.hpp"
#include "fuelmap/grid.h"
#include "fuelmap/map.h"
#include "fuelmap/map_reader.h"

namespace fuelcalc {

// The operating system's text for an error number.
std::string os_text(int os_error);

// Why a list-directed read of numbers failed, from its status (59, 64, 39) and errno.
std::string read_cause(int status, int os_error);

// Why the read of a header record (one text item) failed: a text has no
// number to be malformed, so its statuses mean other things.
std::string header_read_cause(int status, int os_error);

// Throws invalid_argument unless every array has the length of the first;
// `names` names them in order ("speed", "torque", "out").
void require_same_lengths(std::initializer_list<std::string_view> names,
                          std::initializer_list<std::size_t> sizes);

// A failed interpolation call of the grid construction, named by what in the
// ordered map caused it.
Error grid_failure(const fuelmap::HermiteFailure& failure, const fuelmap::MAP& map,
                   const fuelmap::GRID& grid);

// The points of the ordered map a failed grid construction concerns (their
// places in it): a speed's single point, the points at a repeated torque,
// or else those of the failing run (codes 1 and 2) or of the whole map that
// hold a value not finite, all of them when none does.
std::vector<std::size_t> failure_points(const fuelmap::HermiteFailure& failure,
                                        const fuelmap::MAP& map);

// A failed interpolation call of the literal procedure at point `index` of
// an array (named in the message when the array holds more than one point):
// the grid's (codes 5 to 8) or the direct method's (codes 1 to 4, as the grid
// construction's).
Error point_failure(const fuelmap::HermiteFailure& failure, std::size_t index, bool in_array,
                    double speed, double torque);

// A map that could not be read; `source` names it ("the map file 'x.dat'", "the map text").
Error map_read_failure(const fuelmap::MapReading& reading, std::string_view source);

// A file that could not be opened for `purpose` ("reading", "writing").
Error open_failure(std::string_view file, std::string_view purpose, int os_error);

}  // namespace fuelcalc
