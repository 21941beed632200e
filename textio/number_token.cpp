#include "textio/number_token.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "textio/decimal_to_double.h"
#include "textio/list_input.h"

namespace textio {
namespace {

// Words (INF, NAN) and logical tokens end at a blank, tab, comma, slash or
// right parenthesis; a number ends at an asterisk too, which is how a repeat
// count is kept apart from its value.
bool ends_token(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/' || c == ')'; }

bool ends_number(char c) { return ends_token(c) || c == '*'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_sign(char c) { return c == '+' || c == '-'; }

bool is_exponent_letter(char c) {
  switch (c) {
    case 'E':
    case 'e':
    case 'D':
    case 'd':
    case 'Q':
    case 'q': return true;
    default: return false;
  }
}

char to_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::size_t token_end(std::string_view record, std::size_t i) {
  while (i < record.size() && !ends_token(record[i])) ++i;
  return i;
}

bool equals_ignoring_case(std::string_view text, std::string_view upper_word) {
  return std::equal(text.begin(), text.end(), upper_word.begin(), upper_word.end(),
                    [](char a, char b) { return to_upper(a) == b; });
}

NumberToken fail(int status) { return {status, 0.0, 0}; }

// INF, INFINITY or NAN in any case; every other word is a conversion error,
// also one that merely begins with a valid word (INFO, NANS).
NumberToken read_word(std::string_view record, std::size_t word_start, bool negative) {
  const std::size_t end = token_end(record, word_start);
  const std::string_view word = record.substr(word_start, end - word_start);
  if (equals_ignoring_case(word, "INF") || equals_ignoring_case(word, "INFINITY")) {
    const double infinity = std::numeric_limits<double>::infinity();
    return {kReadOk, negative ? -infinity : infinity, end};
  }
  if (equals_ignoring_case(word, "NAN")) {
    return {kReadOk, std::numeric_limits<double>::quiet_NaN(), end};
  }
  return fail(kConversionError);
}

}  // namespace

NumberToken scan_number_token(std::string_view record, std::size_t start) {
  const std::size_t size = record.size();
  const char first = record[start];

  // A logical token: T or F, directly or after a point, with anything after it.
  const char logical = first == '.' && start + 1 < size ? record[start + 1] : first;
  switch (logical) {
    case 'T':
    case 't': return {kReadOk, -1.0, token_end(record, start)};
    case 'F':
    case 'f': return {kReadOk, 0.0, token_end(record, start)};
    default: break;
  }

  std::size_t i = start;
  const bool negative = first == '-';
  if (is_sign(first)) ++i;
  if (i < size) {
    switch (record[i]) {
      case 'I':
      case 'i':
      case 'N':
      case 'n': return read_word(record, i, negative);
      default: break;
    }
  }

  // The mantissa. Its first kExactDigitsMax significant digits are gathered
  // on the way for the exact shortcut; leading zeros add nothing to them.
  const std::size_t mantissa_start = i;
  bool point = false;
  bool digits = false;
  std::uint64_t leading = 0;
  int significant = 0;
  bool more_digits = false;          // significant digits beyond those in `leading`
  std::int64_t fraction_digits = 0;  // digits after the point
  for (; i < size; ++i) {
    const char c = record[i];
    if (is_digit(c)) {
      digits = true;
      fraction_digits += point;
      if (significant < kExactDigitsMax) {
        leading = leading * 10 + static_cast<std::uint64_t>(c - '0');
        significant += leading != 0;
      } else {
        more_digits = true;
      }
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  const std::string_view mantissa = record.substr(mantissa_start, i - mantissa_start);

  // Exponent: a letter with an optional sign, or a sign alone, after mantissa
  // digits. A letter with nothing after it adds nothing (1.5E is 1.5).
  std::int64_t exponent = 0;
  if (i < size && !ends_number(record[i])) {
    const bool letter = is_exponent_letter(record[i]);
    if (!digits || !(letter || is_sign(record[i]))) return fail(kSyntaxError);
    if (letter) ++i;
    const bool exponent_sign = i < size && is_sign(record[i]);
    const bool exponent_negative = exponent_sign && record[i] == '-';
    if (exponent_sign) ++i;
    const std::size_t exponent_digits = i;
    for (; i < size && is_digit(record[i]); ++i) {
      exponent = std::min(exponent * 10 + (record[i] - '0'), kExponentLimit);
    }
    const bool ends_after_sign = exponent_sign && i == exponent_digits;
    if (ends_after_sign || (i < size && !ends_number(record[i]))) return fail(kSyntaxError);
    if (exponent_negative) exponent = -exponent;
  }
  if (!digits) return fail(kSyntaxError);

  double magnitude = 0;
  if (more_digits || !exact_decimal_to_double(leading, exponent - fraction_digits, magnitude)) {
    const std::optional<double> nearest = decimal_to_double(mantissa, exponent);
    if (!nearest) return fail(kConversionError);
    magnitude = *nearest;
  }
  return {kReadOk, negative ? -magnitude : magnitude, i};
}

}  // namespace textio
