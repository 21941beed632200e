#include "fuelcalc/version.hpp"

#define FUELCALC_TEXT(x) #x
#define FUELCALC_NUMBER_TEXT(x) FUELCALC_TEXT(x)

namespace fuelcalc {

std::string_view version() noexcept {
  return FUELCALC_NUMBER_TEXT(FUELCALC_VERSION_MAJOR) "." FUELCALC_NUMBER_TEXT(
      FUELCALC_VERSION_MINOR) "." FUELCALC_NUMBER_TEXT(FUELCALC_VERSION_PATCH);
}

}  // namespace fuelcalc
