#pragma once
// Storage for the run's records and work tables: storage that cannot be had
// is a run-time error of the run, reported while the routines that asked for
// it are still active.
#include <cstddef>
#include <new>
#include <stdexcept>

#include "runtime/endings.h"

namespace runtime {

inline constexpr int kNoMemory = 41;
inline constexpr int kArraySizeOverflow = 179;

// Runs body, which allocates with plain std::vector and so throws when
// storage cannot be had; that becomes the run-time error above, reported
// while the routines that asked for the storage are still active.
template <class Body>
decltype(auto) reporting_storage_failures(Body&& body) {
  try {
    return body();
  } catch (const std::length_error&) {
    runtime_error(kArraySizeOverflow);
  } catch (const std::bad_alloc&) {
    runtime_error(kNoMemory);
  }
}

}  // namespace runtime
