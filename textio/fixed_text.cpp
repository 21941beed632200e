#include "textio/fixed_text.h"

#include <algorithm>

namespace textio {

FixedText blank_text() {
  FixedText text;
  text.fill(' ');
  return text;
}

void assign_text(FixedText& text, std::string_view value) {
  const std::size_t n = std::min(value.size(), kTextLength);
  std::copy_n(value.data(), n, text.data());
  std::fill(text.begin() + n, text.end(), ' ');
}

std::string_view trim_trailing_blanks(const FixedText& text) {
  std::size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  return {text.data(), n};
}

bool is_blank(const FixedText& text) { return trim_trailing_blanks(text).empty(); }

}  // namespace textio
