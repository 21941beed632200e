#pragma once
// The text the library, its tools and their files give a double.
#include <string>

#include "fuelcalc/export.hpp"

namespace fuelcalc {

// The shortest text that reads back to the value ("1500", "0.1", "-inf");
// a not-a-number of either sign is "nan".
FUELCALC_API std::string number_text(double value);

}  // namespace fuelcalc
