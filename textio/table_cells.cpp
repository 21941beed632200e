#include "textio/table_cells.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <system_error>

#include "textio/decimal_to_double.h"

namespace textio {
namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

char separator_char(Separator separator) {
  switch (separator) {
    case Separator::comma: return ',';
    case Separator::semicolon: return ';';
    case Separator::tab: return '\t';
    case Separator::blanks: break;
  }
  return ' ';
}

std::string_view unquote(std::string_view cell) {
  if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"')
    return trim_blanks(cell.substr(1, cell.size() - 2));
  return cell;
}

// A number from_chars finds out of range: zero of its sign when it lies
// below the smallest subnormal, nothing when beyond the largest double.
std::optional<double> out_of_range_value(std::string_view text) {
  const bool negative = text.front() == '-';
  if (text.front() == '-' || text.front() == '+') text.remove_prefix(1);
  const std::size_t e = text.find_first_of("eE");
  std::int64_t exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view digits = text.substr(e + 1);
    const bool minus = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+'))
      digits.remove_prefix(1);
    for (const char c : digits)
      if (exponent < kExponentLimit) exponent = exponent * 10 + (c - '0');
    if (minus) exponent = -exponent;
    text = text.substr(0, e);
  }
  const std::optional<double> magnitude = decimal_to_double(text, exponent);
  if (!magnitude) return std::nullopt;
  return negative ? -*magnitude : *magnitude;
}

// The mantissa digit by digit from p: the digits as one integer (wrapping
// past 19 significant digits), the power of ten of the last one, how many
// are significant (from the first non-zero one), whether there was one.
inline void mantissa_by_digit(const char*& p, const char* const end, std::uint64_t& digits,
                              int& significant, std::int64_t& exponent, bool& any) {
  for (; p < end && *p >= '0' && *p <= '9'; ++p, any = true) {
    digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
    significant += digits != 0;
  }
  if (p < end && *p == '.')
    for (++p; p < end && *p >= '0' && *p <= '9'; ++p, any = true) {
      digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
      significant += digits != 0;
      --exponent;
    }
}

static_assert(std::endian::native == std::endian::little, "eight_digits reads bytes in order");

constexpr std::uint64_t kDigitPowers[] = {1,      10,      100,      1000,     10000,
                                          100000, 1000000, 10000000, 100000000};

// How many decimal digits start the eight bytes at p (all readable), 0 to
// 8, and their value. Less '0' per byte, the bytes before the first one
// that is no digit hold 0 to 9 (a byte below '0' borrows only from those
// after it); that one is the first of 10 or more. The run, moved to the top
// bytes, is summed pairwise: tens, hundreds, ten thousands.
inline unsigned eight_digits(const char* p, std::uint64_t& value) {
  std::uint64_t chunk;
  std::memcpy(&chunk, p, sizeof chunk);
  const std::uint64_t x = chunk - 0x3030303030303030u;
  const std::uint64_t flags = ((x + 0x7676767676767676u) | x) & 0x8080808080808080u;
  const auto run = static_cast<unsigned>(flags == 0 ? 8 : std::countr_zero(flags) / 8);
  if (run == 0) {
    value = 0;
    return 0;
  }
  std::uint64_t v = x << (64 - 8 * run);
  v = ((v & 0x0F0F0F0F0F0F0F0Fu) * 2561) >> 8;
  v = ((v & 0x00FF00FF00FF00FFu) * 6553601) >> 16;
  value = ((v & 0x0000FFFF0000FFFFu) * 42949672960001u) >> 32;
  return run;
}

// The digits from p into digits and count, eight at a time while eight
// bytes remain, then one by one; stops early once count passes 19 (digits
// then means nothing).
inline void digit_run(const char*& p, const char* const end, std::uint64_t& digits, int& count) {
  while (end - p >= 8) {
    std::uint64_t value = 0;
    const unsigned n = eight_digits(p, value);
    digits = digits * kDigitPowers[n] + value;
    count += static_cast<int>(n);
    p += n;
    if (n < 8 || count > kExactDigitsMax) return;
  }
  for (; p < end && *p >= '0' && *p <= '9'; ++p, ++count)
    digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
}

// The shortcut of read_number_cell: a decimal number from p, with an
// optional sign, point and exponent (of at most four digits), whose
// significant digits fit in 19 and whose value one multiplication or
// division by an exact power of ten gives (decimal_to_double.h). p is left
// where the number's text stops; false when the shortcut does not apply.
// The mantissa's digits are taken eight at a time; a mantissa of more than
// 19 digits (leading zeros among them) is read again digit by digit.
inline bool scan_short_number(const char*& p, const char* const end, double& value) {
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  const char* const mantissa = p;
  std::uint64_t digits = 0;
  int count = 0;
  std::int64_t exponent = 0;
  digit_run(p, end, digits, count);
  if (count <= kExactDigitsMax && p < end && *p == '.') {
    ++p;
    const int whole = count;
    digit_run(p, end, digits, count);
    exponent = whole - count;
  }
  bool any = count > 0;
  if (count > kExactDigitsMax) {
    p = mantissa;
    digits = 0;
    exponent = 0;
    any = false;
    int significant = 0;
    mantissa_by_digit(p, end, digits, significant, exponent, any);
    if (significant > kExactDigitsMax) return false;
  }
  if (any && p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool minus = false;
    if (p < end && (*p == '-' || *p == '+')) minus = *p++ == '-';
    const char* const first = p;
    std::int64_t power = 0;
    for (; p < end && *p >= '0' && *p <= '9' && p - first < 4; ++p) power = power * 10 + (*p - '0');
    if (p == first) any = false;
    exponent += minus ? -power : power;
  }
  if (!any || !exact_decimal_to_double(digits, exponent, value)) return false;
  if (negative) value = -value;
  return true;
}

}  // namespace

Separator detect_separator(std::string_view header) {
  if (header.find('\t') != std::string_view::npos) return Separator::tab;
  if (header.find(';') != std::string_view::npos) return Separator::semicolon;
  if (header.find(',') != std::string_view::npos) return Separator::comma;
  return Separator::blanks;
}

std::string_view trim_blanks(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool comment_or_blank(std::string_view line) {
  if (!line.empty() && line.front() != '#' && !blank(line.front())) return false;
  const std::string_view text = trim_blanks(line);
  return text.empty() || text.front() == '#';
}

void split_cells(std::string_view line, Separator separator, std::vector<std::string_view>& cells) {
  cells.clear();
  const char* p = line.data();
  const char* const end = p + line.size();
  if (separator == Separator::blanks) {
    for (;;) {
      while (p < end && blank(*p)) ++p;
      if (p == end) return;
      const char* start = p;
      while (p < end && !blank(*p)) ++p;
      cells.push_back(unquote(std::string_view(start, static_cast<std::size_t>(p - start))));
    }
  }
  const char c = separator_char(separator);
  for (;;) {
    const void* found = std::memchr(p, c, static_cast<std::size_t>(end - p));
    const char* stop = found ? static_cast<const char*>(found) : end;
    cells.push_back(unquote(trim_blanks(std::string_view(p, static_cast<std::size_t>(stop - p)))));
    if (!found) return;
    p = stop + 1;
  }
}

NameAndUnit split_name_unit(std::string_view cell) {
  cell = trim_blanks(cell);
  NameAndUnit result{cell, {}, false};
  if (cell.empty()) return result;
  const char close = cell.back();
  if (close != ']' && close != ')') return result;
  const std::size_t open = cell.rfind(close == ']' ? '[' : '(');
  if (open == std::string_view::npos) return result;
  result.name = trim_blanks(cell.substr(0, open));
  result.unit = trim_blanks(cell.substr(open + 1, cell.size() - open - 2));
  result.has_unit = true;
  return result;
}

bool unit_cell(std::string_view cell, std::string_view& unit) {
  cell = trim_blanks(cell);
  if (cell.size() < 2) return false;
  const char open = cell.front();
  if (!((open == '[' && cell.back() == ']') || (open == '(' && cell.back() == ')'))) return false;
  unit = trim_blanks(cell.substr(1, cell.size() - 2));
  return true;
}

CellNumber read_number_cell(std::string_view cell, double& value) {
  const char* p = cell.data();
  const char* const end = p + cell.size();
  if (scan_short_number(p, end, value) && p == end) return CellNumber::number;
  return read_number_cell_reference(cell, value);
}

bool read_plain_row(std::string_view line, Separator separator, std::span<const int> slot,
                    double* values) {
  if (separator == Separator::blanks) return false;
  const char c = separator_char(separator);
  const char* p = line.data();
  const char* const end = p + line.size();
  for (std::size_t i = 0; i < slot.size(); ++i) {
    if (i > 0) {
      if (p == end || *p != c) return false;
      ++p;
    }
    if (slot[i] < 0) {
      const void* found = std::memchr(p, c, static_cast<std::size_t>(end - p));
      p = found ? static_cast<const char*>(found) : end;
      continue;
    }
    // The cell ends where the number does: at the separator or the line's end.
    if (!scan_short_number(p, end, values[slot[i]]) || (p != end && *p != c)) return false;
  }
  return p == end;
}

CellNumber read_number_cell_reference(std::string_view cell, double& value) {
  if (cell.empty()) {
    value = std::numeric_limits<double>::quiet_NaN();
    return CellNumber::empty;
  }
  const char* first = cell.data();
  const char* const last = first + cell.size();
  // from_chars takes no '+'; a second sign after it is no number.
  if (*first == '+') {
    ++first;
    if (first == last || *first == '-' || *first == '+') return CellNumber::not_a_number;
  }
  const std::from_chars_result read = std::from_chars(first, last, value);
  if (read.ptr != last) return CellNumber::not_a_number;
  if (read.ec == std::errc()) return CellNumber::number;
  if (read.ec != std::errc::result_out_of_range) return CellNumber::not_a_number;
  const std::optional<double> near = out_of_range_value(cell);
  if (!near) return CellNumber::out_of_range;
  value = *near;
  return CellNumber::number;
}

bool names_map_column(std::size_t column, std::string_view name) {
  std::string n(name);
  for (char& c : n)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  switch (column) {
    case 0: return n.find("speed") != std::string::npos || n == "n" || n == "rpm";
    case 1: return n.find("torque") != std::string::npos || n == "me" || n == "t" || n == "tq";
    default:
      return n.find("fuel") != std::string::npos || n.find("bsfc") != std::string::npos ||
             n == "fc";
  }
}

}  // namespace textio
