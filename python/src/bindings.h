#pragma once
// The pieces of the fuelcalc extension module, each adding its names.
#include <pybind11/pybind11.h>

namespace fuelcalc_python {

void bind_fuel_map(pybind11::module_& module);
void bind_log_runs(pybind11::module_& module);
void bind_check(pybind11::module_& module);
void bind_cycle(pybind11::module_& module);
void bind_cycle_files(pybind11::module_& module);
void bind_points(pybind11::module_& module);
void bind_tables(pybind11::module_& module);
void bind_units(pybind11::module_& module);

}  // namespace fuelcalc_python
