// fuelcalc._fuelcalc: the library's public face for Python; the package
// fuelcalc re-exports it.
#include <pybind11/pybind11.h>

#include <string>

#include "bindings.h"
#include "errors.h"
#include "fuelcalc/version.hpp"

PYBIND11_MODULE(_fuelcalc, module) {
  module.doc() = "Fuel maps evaluated bit for bit as the fuelcalc program evaluates them.";
  fuelcalc_python::register_errors();
  fuelcalc_python::bind_fuel_map(module);
  fuelcalc_python::bind_points(module);
  fuelcalc_python::bind_check(module);
  fuelcalc_python::bind_cycle(module);
  module.def(
      "version", [] { return std::string(fuelcalc::version()); },
      "The library's version, \"major.minor.patch\".");
}
