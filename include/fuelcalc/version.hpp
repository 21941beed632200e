#pragma once
#include <string_view>

#include "fuelcalc/export.hpp"

// The library's version. CMakeLists.txt's project() holds it; a configure
// stops when these differ from it.
#define FUELCALC_VERSION_MAJOR 1
#define FUELCALC_VERSION_MINOR 1
#define FUELCALC_VERSION_PATCH 0

namespace fuelcalc {

// The library's version, "major.minor.patch" of the macros above.
FUELCALC_API std::string_view version() noexcept;

}  // namespace fuelcalc
