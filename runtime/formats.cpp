#include "runtime/formats.h"

#include <algorithm>
#include <charconv>

#include "runtime/units.h"
#include "textio/fixed_edit.h"

namespace runtime {
namespace {

constexpr Edit kText{EditKind::Text};
constexpr Edit kInteger{EditKind::Integer};
constexpr Edit kNoTerminator{EditKind::NoTerminator};
constexpr Edit kFixed2{EditKind::Fixed, 2};
constexpr Edit kFixed3{EditKind::Fixed, 3};

constexpr Edit kPrompt[] = {kText, kNoTerminator};
constexpr Edit kResult[] = {kFixed2, kText, kFixed3, kText, kFixed3};  // F0.2, 2(A, F0.3)
constexpr Edit kText3[] = {kText, kText, kText};
constexpr Edit kText1[] = {kText};
constexpr Edit kIerr[] = {kText, kInteger};

constexpr std::size_t kListLineLength = 80;
constexpr std::size_t kFormatIntegerWidth = 12;
constexpr std::size_t kListIntegerWidth = 22;

// Writes value right-justified in width columns at p; 0 is all blanks when
// zero_is_blank (the I descriptor forces no digit). A value too wide for its
// field fills it with asterisks.
char* put_integer(char* p, std::int64_t value, std::size_t width, bool zero_is_blank) {
  char digits[24];
  std::size_t length = 0;
  if (value != 0 || !zero_is_blank)
    length =
        static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
  if (length > width) return std::fill_n(p, width, '*');
  p = std::fill_n(p, width - length, ' ');
  return std::copy_n(digits, length, p);
}

char* put_text(char* p, std::string_view text) { return std::copy(text.begin(), text.end(), p); }

// Characters a descriptor can produce for an item, at most.
std::size_t field_bound(const Edit& edit, const OutItem& item) {
  switch (edit.kind) {
    case EditKind::Text: return item.text.size();
    case EditKind::Integer: return kFormatIntegerWidth;
    case EditKind::Fixed: return textio::fixed_field_capacity(edit.decimals);
    case EditKind::NoTerminator: break;
  }
  return 0;
}

}  // namespace

const Format PROMPT_FMT{kPrompt};
const Format RESULT_FMT{kResult};
const Format TEXT3_FMT{kText3};
const Format TEXT1_FMT{kText1};
const Format IERR_FMT{kIerr};

void write_formatted(int unit, Format format, std::initializer_list<OutItem> items) {
  std::size_t bound = 0;
  auto item = items.begin();
  for (const Edit& edit : format) {
    if (edit.kind == EditKind::NoTerminator || item == items.end()) continue;
    bound += field_bound(edit, *item++);
  }

  char* p = begin_record(unit, bound);
  item = items.begin();
  bool terminate = true;
  for (const Edit& edit : format) {
    if (edit.kind == EditKind::NoTerminator) {
      terminate = false;
      continue;
    }
    if (item == items.end()) break;
    switch (edit.kind) {
      case EditKind::Text: p = put_text(p, item->text); break;
      case EditKind::Integer: p = put_integer(p, item->integer, kFormatIntegerWidth, true); break;
      case EditKind::Fixed: p += textio::edit_fixed(item->number, edit.decimals, p); break;
      case EditKind::NoTerminator: break;
    }
    ++item;
  }
  end_record(unit, p, terminate);
}

void write_result(int unit, double x, double y, double fc, const textio::PlainText& x_text,
                  const textio::PlainText& y_text) {
  char* const fields = begin_record(unit, textio::kResultFieldsCapacity);
  end_record(unit, textio::edit_result_fields(x, y, fc, x_text, y_text, fields), true);
}

void write_list(int unit, std::initializer_list<OutItem> items) {
  std::size_t bound = 0;
  for (const OutItem& item : items)
    bound += item.kind == OutItem::Kind::Text ? item.text.size() + 1 : kListIntegerWidth;

  char* p = begin_record(unit, bound);
  char* line = p;
  bool previous_was_text = false;
  for (const OutItem& item : items) {
    const bool is_text = item.kind == OutItem::Kind::Text;
    std::size_t width = is_text ? item.text.size() : kListIntegerWidth;
    if (is_text && !previous_was_text) ++width;  // a text opening a record or after a number
    // An item that does not fit in the line's 80 columns opens a new record.
    if (p != line && static_cast<std::size_t>(p - line) + width > kListLineLength) {
      end_record(unit, p, true);
      p = line = begin_record(unit, bound);
      previous_was_text = false;
    }
    if (is_text) {
      if (!previous_was_text) *p++ = ' ';
      p = put_text(p, item.text);
    } else {
      p = put_integer(p, item.integer, kListIntegerWidth, false);
    }
    previous_was_text = is_text;
  }
  end_record(unit, p, true);
}

}  // namespace runtime
