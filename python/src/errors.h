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

// A str, bytes or os.PathLike as a path, its bytes as the file system's.
std::filesystem::path to_path(py::handle file);

// Runs f, raising an Error that leaves it with the file's name.
template <class F>
auto naming_file(py::handle file, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const fuelcalc::Error& error) {
    raise_error(error, py::module_::import("os").attr("fspath")(file));
  }
}

}  // namespace fuelcalc_python
