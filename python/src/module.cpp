// fuelcalc._fuelcalc: the library's public face for Python; the package
// fuelcalc re-exports it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

#include "bindings.h"
#include "errors.h"
#include "fuelcalc/version.hpp"

PYBIND11_MODULE(_fuelcalc, module) {
  module.doc() = "Fuel maps evaluated bit for bit as the fuelcalc program evaluates them.";
  // numpy's C API is looked up on first use under a static guard; a thread
  // waiting there holds the GIL that the looking-up thread (importing numpy)
  // needs. Looked up here, while the import runs alone.
  pybind11::detail::npy_api::get();
  fuelcalc_python::register_errors();
  fuelcalc_python::bind_fuel_map(module);
  fuelcalc_python::bind_points(module);
  fuelcalc_python::bind_check(module);
  fuelcalc_python::bind_tables(module);
  fuelcalc_python::bind_cycle(module);
  fuelcalc_python::bind_cycle_files(module);
  fuelcalc_python::bind_log_runs(module);
  fuelcalc_python::bind_units(module);
  module.def(
      "version", [] { return std::string(fuelcalc::version()); },
      "The library's version, \"major.minor.patch\".");
}
