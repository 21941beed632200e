#include "textio/number_text.h"

#include <charconv>
#include <cmath>

namespace textio {

std::string number_text(double value) {
  if (std::isnan(value)) return "nan";
  char text[32];
  return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

}  // namespace textio
