#pragma once
#include <string_view>

namespace fuelcalc {

// The library's version, "major.minor.patch".
std::string_view version() noexcept;

}  // namespace fuelcalc
