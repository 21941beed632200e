#pragma once
// Arrays of the run's records and work tables. Storage that cannot be had is
// a run-time error of the run, reported while the routines that asked for it
// are still active.
#include <cstddef>
#include <new>
#include <stdexcept>
#include <vector>

#include "textio/endings.h"

namespace textio {

inline constexpr int kNoMemory = 41;
inline constexpr int kArraySizeOverflow = 179;

template <class T>
std::vector<T> allocate_array(std::size_t count) {
  try {
    return std::vector<T>(count);
  } catch (const std::length_error&) {
    runtime_error(kArraySizeOverflow);
  } catch (const std::bad_alloc&) {
    runtime_error(kNoMemory);
  }
}

}  // namespace textio
