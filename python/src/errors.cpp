#include "errors.h"

#include <Python.h>

#include <cerrno>
#include <string>

namespace fuelcalc_python {

namespace {

// Set once at import and kept for the life of the interpreter.
PyObject* fuel_map_error = nullptr;
PyObject* read_error = nullptr;

const char* kind_name(fuelcalc::ErrorKind kind) {
  switch (kind) {
    case fuelcalc::ErrorKind::open: return "open";
    case fuelcalc::ErrorKind::read: return "read";
    case fuelcalc::ErrorKind::write: return "write";
    case fuelcalc::ErrorKind::interpolation: return "interpolation";
    case fuelcalc::ErrorKind::invalid_argument: return "invalid_argument";
    case fuelcalc::ErrorKind::outside: return "outside";
  }
  return "unknown";
}

py::object optional_index(std::optional<std::size_t> value) {
  return value ? py::object(py::int_(*value)) : py::object(py::none());
}

}  // namespace

void register_errors() {
  auto errors = py::module_::import("fuelcalc._errors");
  fuel_map_error = py::object(errors.attr("FuelMapError")).release().ptr();
  read_error = py::object(errors.attr("ReadError")).release().ptr();
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const fuelcalc::Error& error) {
      set_error(error, py::none());
    }
  });
}

void set_error(const fuelcalc::Error& error, py::handle filename) {
  py::object exception;
  if (error.os_error() != 0) {
    // OSError(errno, strerror, filename) gives the errno's subclass, e.g.
    // FileNotFoundError, as the interpreter's own file functions do.
    const auto os = py::module_::import("os");
    exception = py::reinterpret_borrow<py::object>(PyExc_OSError)(
        error.os_error(), os.attr("strerror")(error.os_error()), filename);
  } else {
    auto type = py::reinterpret_borrow<py::object>(
        error.kind() == fuelcalc::ErrorKind::read ? read_error : fuel_map_error);
    exception = type(error.what(), kind_name(error.kind()), error.code(), error.ierr(),
                     optional_index(error.index()), optional_index(error.line()));
  }
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
}

void raise_error(const fuelcalc::Error& error, py::handle filename) {
  set_error(error, filename);
  throw py::error_already_set();
}

std::filesystem::path to_path(py::handle file) {
  const auto bytes = py::module_::import("os").attr("fsencode")(file).cast<std::string>();
  if (bytes.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
  return std::filesystem::path(bytes);
}

bool interrupted_open(const fuelcalc::Error& error) {
  if (error.kind() != fuelcalc::ErrorKind::open || error.os_error() != EINTR) return false;
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  return true;
}

}  // namespace fuelcalc_python
