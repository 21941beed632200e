// fuelcalc._fuelcalc: the library's public face for Python; the package
// fuelcalc re-exports it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <span>
#include <string>
#include <string_view>

#include "bindings.h"
#include "errors.h"
#include "fuelcalc/cycle.hpp"
#include "fuelcalc/cycle_files.hpp"
#include "fuelcalc/fuel_map.hpp"
#include "fuelcalc/map_table.hpp"
#include "fuelcalc/version.hpp"

namespace {

pybind11::tuple names(std::span<const std::string_view> names) {
  pybind11::list list;
  for (const std::string_view name : names) list.append(pybind11::str(name.data(), name.size()));
  return pybind11::tuple(list);
}

}  // namespace

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
  // The names the options take, in the library's order.
  module.attr("METHOD_NAMES") = names(fuelcalc::method_names());
  module.attr("OUTSIDE_NAMES") = names(fuelcalc::outside_names());
  module.attr("FILE_FORMAT_NAMES") = names(fuelcalc::file_format_names());
  module.attr("MAP_LAYOUT_NAMES") = names(fuelcalc::map_layout_names());
  pybind11::list fuels;
  for (const fuelcalc::FuelProperties& fuel : fuelcalc::known_fuels()) fuels.append(fuel.name);
  module.attr("FUEL_NAMES") = pybind11::tuple(fuels);
}
