#pragma once
// A check's finding as the dict of fuelcalc-check's JSON document.
#include <pybind11/pybind11.h>

#include "fuelcalc/check.hpp"

namespace fuelcalc_python {

pybind11::dict finding_dict(const fuelcalc::Finding& finding);

}  // namespace fuelcalc_python
