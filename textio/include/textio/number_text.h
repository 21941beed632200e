#pragma once
// The text a message or report gives a double.
#include <string>

namespace textio {

// The shortest text that reads back to the value ("1500", "0.1", "-inf");
// a not-a-number of either sign is "nan".
std::string number_text(double value);

}  // namespace textio
