#pragma once
// Fixed-length text items: every text the system reads is 1024 bytes,
// padded with blanks on the right.
#include <array>
#include <cstddef>
#include <string_view>

namespace textio {

inline constexpr std::size_t kTextLength = 1024;
using FixedText = std::array<char, kTextLength>;

// A text of all blanks.
FixedText blank_text();

// Copies the first kTextLength bytes of value into text and pads with blanks.
void assign_text(FixedText& text, std::string_view value);

// The text without its trailing blanks.
std::string_view trim_trailing_blanks(const FixedText& text);

// True when the text holds nothing but blanks.
bool is_blank(const FixedText& text);

inline std::string_view whole(const FixedText& text) { return {text.data(), text.size()}; }

}  // namespace textio
