#include "fuelcalc/version.hpp"

namespace fuelcalc {

// FUELCALC_VERSION is the project's version, given by the build.
std::string_view version() noexcept { return FUELCALC_VERSION; }

}  // namespace fuelcalc
