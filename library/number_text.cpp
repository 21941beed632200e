#include "fuelcalc/number_text.hpp"

#include "textio/number_text.h"

namespace fuelcalc {

std::string number_text(double value) { return textio::number_text(value); }

}  // namespace fuelcalc
