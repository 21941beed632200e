#pragma once
// The TORQUE MAP read from any record source by the loader's rules, with
// every outcome returned rather than reported: the program's loader and the
// library share it.
#include <cstddef>
#include <vector>

#include "fuelmap/map.h"
#include "textio/record_source.h"

namespace fuelmap {

enum class MapReadStatus {
  ok,
  header_missing,    // the data end before the second header record
  unreadable,        // a read failed (code: the list-directed read's message number)
  incomplete_point,  // a read ended without all three values (a null, a slash)
  rewind_failed,     // the source could not be positioned at its start again (os_error)
  shrank,            // the data ended early in the reading pass: they changed between passes
};

struct MapReading {
  MapReadStatus status = MapReadStatus::ok;
  int code = 0;           // for unreadable: 59 syntax, 64 conversion, 39 refused by the OS
  int os_error = 0;       // errno of a refused read or rewind
  std::size_t line = 0;   // the record (line) the failing read stood on, 1-based
  std::size_t point = 0;  // the failing data read, 1-based (0: a header read)
};

// Reads the two header records and then every group of three numbers into
// map, in file order (not ordered): a counting pass, then a reading pass
// after a rewind, into arrays allocated once. With lines, the reading pass
// also gives each point the line its first value stands on (1-based), in
// the same order. Writes nothing and ends nothing; storage that cannot be
// had throws std::bad_alloc or std::length_error.
MapReading read_map(textio::RecordSource& source, MAP& map,
                    std::vector<std::size_t>* lines = nullptr);

}  // namespace fuelmap
