#pragma once
// The library's Error as Python exceptions: OSError with its errno for a file
// that cannot be opened or read by the operating system, fuelcalc.ReadError
// for a value that is not a number, fuelcalc.FuelMapError for the rest.
#include <pybind11/pybind11.h>

#include <filesystem>

#include "fuelcalc/error.hpp"

namespace fuelcalc_python {

namespace py = pybind11;

// Imports fuelcalc._errors and translates every Error leaving a binding.
void register_errors();

// Sets the Python exception for an Error; filename, when not None, goes
// into an OSError.
void set_error(const fuelcalc::Error& error, py::handle filename);
// The same, then throws error_already_set.
[[noreturn]] void raise_error(const fuelcalc::Error& error, py::handle filename);

// A str, bytes or os.PathLike as a path, its bytes as the file system's;
// ValueError for a NUL byte, where the operating system's name would end.
std::filesystem::path to_path(py::handle file);

// Whether an Error is an open cut short by a signal. Its Python handler runs
// first (an exception it raises propagates), then the caller tries again, as
// the interpreter's own open() does.
bool interrupted_open(const fuelcalc::Error& error);

// Runs f, raising an Error that leaves it with the file's name; f is run
// again after an interrupted open.
template <class F>
auto naming_file(py::handle file, F&& f) -> decltype(f()) {
  for (;;) {
    try {
      return f();
    } catch (const fuelcalc::Error& error) {
      if (!interrupted_open(error)) {
        raise_error(error, py::module_::import("os").attr("fspath")(file));
      }
    }
  }
}

}  // namespace fuelcalc_python
