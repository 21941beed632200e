#include "textio/formats.h"

#include <charconv>

#include "textio/fixed_edit.h"
#include "textio/units.h"

namespace textio {
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

constexpr int kMaxDecimals = 17;
constexpr std::size_t kListLineLength = 80;
constexpr std::size_t kFormatIntegerWidth = 12;
constexpr std::size_t kListIntegerWidth = 22;

// Appends value right-justified in width columns; 0 is all blanks when
// zero_is_blank (the I descriptor forces no digit).
void append_integer(std::string& record, std::int64_t value, std::size_t width,
                    bool zero_is_blank) {
  char digits[24];
  std::size_t length = 0;
  if (value != 0 || !zero_is_blank)
    length = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
  if (length > width) {
    record.append(width, '*');
    return;
  }
  record.append(width - length, ' ');
  record.append(digits, length);
}

void append_fixed(std::string& record, double value, int decimals) {
  char field[fixed_field_capacity(kMaxDecimals)];
  record.append(field, edit_fixed(value, decimals, field));
}

}  // namespace

const Format PROMPT_FMT{kPrompt};
const Format RESULT_FMT{kResult};
const Format TEXT3_FMT{kText3};
const Format TEXT1_FMT{kText1};
const Format IERR_FMT{kIerr};

void write_formatted(int unit, Format format, std::initializer_list<OutItem> items) {
  std::string& record = begin_record(unit);
  auto item = items.begin();
  bool terminate = true;
  for (const Edit& edit : format) {
    if (edit.kind == EditKind::NoTerminator) {
      terminate = false;
      continue;
    }
    if (item == items.end()) break;
    switch (edit.kind) {
      case EditKind::Text: record += item->text; break;
      case EditKind::Integer:
        append_integer(record, item->integer, kFormatIntegerWidth, true);
        break;
      case EditKind::Fixed: append_fixed(record, item->number, edit.decimals); break;
      case EditKind::NoTerminator: break;
    }
    ++item;
  }
  end_record(unit, terminate);
}

void write_list(int unit, std::initializer_list<OutItem> items) {
  std::string& record = begin_record(unit);
  std::size_t start = record.size();  // the record may follow a prompt on the same line
  bool previous_was_text = false;
  bool at_record_start = true;
  for (const OutItem& item : items) {
    const bool is_text = item.kind == OutItem::Kind::Text;
    std::size_t width = is_text ? item.text.size() : kListIntegerWidth;
    if (is_text && !previous_was_text) ++width;  // a text after a number, or opening a record
    if (!at_record_start && record.size() - start + width > kListLineLength) {
      end_record(unit, true);
      start = record.size();
      at_record_start = true;
      previous_was_text = false;
    }
    if (is_text) {
      if (!previous_was_text) record += ' ';
      record += item.text;
    } else {
      append_integer(record, item.integer, kListIntegerWidth, false);
    }
    previous_was_text = is_text;
    at_record_start = false;
  }
  end_record(unit, true);
}

}  // namespace textio
