#include "checks/check_reading.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "textio/list_input.h"
#include "textio/number_token.h"
#include "textio/opening.h"

namespace fuelcalc::checks {
namespace {

constexpr std::size_t kShownText = 40;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_quote(char c) { return c == '\'' || c == '"'; }
bool ends_value(char c) { return is_blank(c) || c == ',' || c == '/'; }

// The end of the value that starts at `at`: a quoted one runs to its closing
// quote (or the record end), a pair to its parenthesis, any other to the next
// blank, comma or slash.
std::size_t value_end(std::string_view record, std::size_t at) {
  const char c = record[at];
  if (is_quote(c)) {
    const std::size_t close = record.find(c, at + 1);
    return close == std::string_view::npos ? record.size() : close + 1;
  }
  if (c == '(') {
    const std::size_t close = record.find(')', at);
    return close == std::string_view::npos ? record.size() : close + 1;
  }
  std::size_t end = at;
  while (end < record.size() && !ends_value(record[end])) ++end;
  return end;
}

// r of a repeat form r*c at the start of `value`, else 1.
std::size_t repeat_count(std::string_view value) {
  std::size_t digits = 0;
  while (digits < value.size() && is_digit(value[digits])) ++digits;
  if (digits == 0 || digits == value.size() || value[digits] != '*') return 1;
  std::size_t count = 0;
  for (std::size_t i = 0; i < digits; ++i)
    count = std::min<std::size_t>(count * 10 + static_cast<std::size_t>(value[i] - '0'),
                                  std::numeric_limits<int>::max());
  return std::max<std::size_t>(count, 1);
}

// The values a statement left in the rest of its record: their count and
// the offset of the first. The statement ended right after a value, so a
// first comma is that value's separator.
std::pair<std::size_t, std::size_t> values_left(std::string_view rest) {
  std::size_t count = 0, first = 0, i = 0;
  bool after_value = true;
  const auto counted = [&](std::size_t at, std::size_t n) {
    if (count == 0) first = at;
    count += n;
  };
  while (i < rest.size()) {
    if (is_blank(rest[i])) {
      ++i;
      continue;
    }
    const char c = rest[i];
    if (c == '/') break;
    if (c == ',') {
      if (!after_value) counted(i, 1);
      after_value = false;
      ++i;
      continue;
    }
    const std::size_t end = value_end(rest, i);
    counted(i, repeat_count(rest.substr(i, end - i)));
    after_value = true;
    i = end;
  }
  return {count, first};
}

}  // namespace

TracedFile::~TracedFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::string TracedFile::open(const std::filesystem::path& file) {
  const textio::OpenedFile opened = textio::open_for_reading(file.c_str());
  fd_ = opened.fd;
  if (fd_ < 0) return open_reason(opened.error);
  source_ = textio::source_from_descriptor(fd_, false);
  return {};
}

int TracedFile::read_numbers(std::span<double* const> items, int& stored) {
  before_ += trace_.records;
  return textio::read_list_numbers_traced(source_, items, stored, trace_);
}

int TracedFile::read_text(textio::FixedText& item) {
  before_ += trace_.records;
  return textio::read_list_text_traced(source_, item, trace_);
}

bool TracedFile::at_end() { return textio::source_at_end(source_); }

std::string TracedFile::bytes_taken() {
  source_.keep_all = false;
  return std::string(source_.buffer.data(), source_.next);
}

ValueLayout value_layout(const textio::StatementTrace& trace, std::size_t items) {
  ValueLayout layout;
  std::size_t used = 0;
  for (const textio::ValueMark& mark : trace.marks) {
    if (mark.kind == textio::ValueMark::Kind::Slash) {
      layout.slash = true;
      return layout;
    }
    const auto copies = static_cast<std::size_t>(mark.copies);
    if (layout.values == 0) layout.first_record = mark.record;
    if (mark.record == layout.first_record) layout.first_count += copies;
    layout.values += copies;
    if (used < items) {
      const std::size_t taken = std::min(copies, items - used);
      used += taken;
      layout.last_record = mark.record;
      if (taken < copies) {
        layout.dropped = copies - taken;
        layout.dropped_column = mark.column;
      }
    }
  }
  if (trace.end <= trace.last_record.size()) {
    const auto [left, first] = values_left(trace.last_record.substr(trace.end));
    if (left > 0 && layout.dropped == 0) layout.dropped_column = trace.end + first;
    layout.dropped += left;
    if (layout.last_record == layout.first_record) layout.first_count += left;
  }
  return layout;
}

std::string value_text(std::string_view record, std::size_t column) {
  if (column >= record.size()) return {};
  const std::string_view raw = record.substr(column, value_end(record, column) - column);
  std::string text;
  for (const char c : raw.substr(0, kShownText)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      text += c;
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 15];
    }
  }
  if (raw.size() > kShownText) text += "...";
  return text;
}

std::string unreadable_reason(int status, std::string_view record, std::size_t column,
                              int os_error) {
  if (status == textio::kReadFailure)
    return std::string("the file could not be read: ") + std::strerror(os_error);
  const std::string text = value_text(record, column);
  const std::string quoted = "'" + text + "'";
  if (status == textio::kSyntaxError) {
    if (column < record.size() && (is_quote(record[column]) || record.size() - column > 2049))
      return "a text value longer than 2049 characters";
    // A repeat form r* is refused for a zero count or a slash after it.
    std::size_t star = column;
    while (star < record.size() && is_digit(record[star])) ++star;
    if (star > column && star < record.size() && record[star] == '*') {
      if (star + 1 < record.size() && record[star + 1] == '/')
        return "the repeat count " + quoted + " is followed by a slash";
      if (record.find_first_not_of('0', column) == star)
        return "the repeat count of " + quoted + " is zero";
    }
    return quoted + " is not a number";
  }
  // A conversion error.
  if (!text.empty() && is_quote(text[0]))
    return quoted + " is a quoted text where a number is expected";
  if (repeat_count(text) > 1 || (text.find('*') != std::string::npos && is_digit(text[0])))
    return "the repeat count of " + quoted + " is too large";
  const std::size_t lead = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (lead < text.size() && std::strchr("INin", text[lead]))
    return quoted + " is not a number (INF, INFINITY and NAN are the only words read as numbers)";
  return quoted + " is beyond the largest double";
}

std::string open_reason(int error) {
  const textio::OpenRefusal refusal = textio::open_refusal(error);
  if (refusal.number == 30) return std::string(refusal.words) + ": " + std::strerror(error);
  return std::string(refusal.words);
}

std::vector<std::string> numbers_in_header(std::string_view record) {
  std::vector<std::string> numbers;
  std::size_t i = 0;
  while (i < record.size()) {
    if (is_blank(record[i]) || record[i] == ',') {
      ++i;
      continue;
    }
    if (record[i] == '/') break;
    const std::size_t end = value_end(record, i);
    const std::string_view token = record.substr(i, end - i);
    // Digits, with a sign or point before them: logical and word tokens
    // (T, F, INF, NAN) are taken for words here.
    const std::size_t lead = token[0] == '+' || token[0] == '-' ? 1 : 0;
    const std::size_t digit = lead < token.size() && token[lead] == '.' ? lead + 1 : lead;
    if (digit >= token.size() || !is_digit(token[digit])) return {};
    const textio::NumberToken number = textio::scan_number_token(token, 0);
    if (number.status != 0 || number.end != token.size()) return {};
    numbers.emplace_back(token);
    i = end;
  }
  return numbers;
}

}  // namespace fuelcalc::checks
