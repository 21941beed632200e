#include "fuelcalc/version.hpp"

namespace fuelcalc {

std::string_view version() noexcept { return "1.0.0"; }

}  // namespace fuelcalc
