#pragma once
#include <string_view>

#include "fuelcalc/export.hpp"

namespace fuelcalc {

// The library's version, "major.minor.patch".
FUELCALC_API std::string_view version() noexcept;

}  // namespace fuelcalc
