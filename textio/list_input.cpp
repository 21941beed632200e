#include "textio/list_input.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "textio/list_input_general.h"
#include "textio/list_trace.h"
#include "textio/number_token.h"
#include "textio/plain_values.h"

namespace textio {
namespace {

constexpr std::size_t kMaxTextValue = 2049;  // characters; one more is a syntax error
constexpr std::size_t kNone = std::string_view::npos;

// The state of one read statement; nothing in it outlives the statement.
struct Statement {
  RecordSource& source;
  std::string_view record{};  // valid until the next record is taken
  std::size_t pos = 0;
  // A value has been read and no comma has followed it yet, so the next comma
  // is its separator; any other comma is a null value. This covers a comma
  // after a value in the same record and a comma that opens a later record,
  // and makes a comma at the start of the statement or after another comma
  // (with only blanks and record ends between) a null.
  bool after_value = false;
  int copies_left = 0;              // repeat copies still owed to the following items
  bool copies_null = false;         // the owed copies are null values
  double copy = 0;                  // the repeated number
  StatementTrace* trace = nullptr;  // the account of a traced statement
};

// A text value as it is read: every character is counted for the length
// limit, the first kTextLength are kept for the item.
struct TextValue {
  FixedText kept;
  std::size_t length = 0;
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_quote(char c) { return c == '\'' || c == '"'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool ends_undelimited(char c) {
  return c == ' ' || c == '\t' || c == ',' || c == '/' || c == '\n' || c == '\0';
}

int take_record(Statement& s) {
  switch (next_record(s.source, s.record)) {
    case RecordStatus::Record:
      s.pos = 0;
      if (s.trace) ++s.trace->records;
      return kReadOk;
    case RecordStatus::End: return kReadEnd;
    case RecordStatus::Failed: break;
  }
  return kReadFailure;
}

// Notes a null or a slash at `column` of the current record in a traced statement.
void note(Statement& s, std::size_t column, ValueMark::Kind kind) {
  if (s.trace) s.trace->marks.push_back({s.trace->records - 1, column, kind, 1});
}

// Moves to the next non-blank character, taking further records as needed:
// a record end is a blank, and records of blanks pass without effect.
int skip_blanks(Statement& s) {
  for (;;) {
    while (s.pos < s.record.size() && is_blank(s.record[s.pos])) ++s.pos;
    if (s.pos < s.record.size()) return kReadOk;
    if (const int status = take_record(s)) return status;
  }
}

// What the next item gets: a value that starts at s.pos, a null value, or
// the slash that ends the value list.
enum class Lead { Value, Null, Slash };

int seek_value(Statement& s, Lead& lead) {
  for (;;) {
    if (const int status = skip_blanks(s)) return status;
    const char c = s.record[s.pos];
    if (c != ',') {
      lead = c == '/' ? Lead::Slash : Lead::Value;
      if (lead == Lead::Slash) note(s, s.pos, ValueMark::Kind::Slash);
      return kReadOk;
    }
    ++s.pos;
    if (!s.after_value) {
      lead = Lead::Null;
      note(s, s.pos - 1, ValueMark::Kind::Null);
      return kReadOk;
    }
    s.after_value = false;
  }
}

// Skips blanks and takes `c`, which must come next.
int expect(Statement& s, char c) {
  if (const int status = skip_blanks(s)) return status;
  if (s.record[s.pos] != c) return kSyntaxError;
  ++s.pos;
  return kReadOk;
}

// A repeat count: decimal digits directly followed by an asterisk at the
// start of a value. On success `count` is the count (1 when the value has
// none) and `nulls` tells whether the form stands for null values (nothing,
// a blank or a comma after the asterisk); otherwise s.pos is at the value.
int read_repeat(Statement& s, int& count, bool& nulls) {
  count = 1;
  nulls = false;
  std::size_t asterisk = s.pos;
  while (asterisk < s.record.size() && is_digit(s.record[asterisk])) ++asterisk;
  if (asterisk == s.pos || asterisk == s.record.size() || s.record[asterisk] != '*') {
    return kReadOk;
  }
  std::int64_t value = 0;
  for (std::size_t i = s.pos; i < asterisk; ++i) {
    value = value * 10 + (s.record[i] - '0');
    if (value > std::numeric_limits<int>::max()) return kConversionError;
  }
  if (value == 0) return kSyntaxError;
  count = static_cast<int>(value);

  s.pos = asterisk + 1;
  const char after = s.pos < s.record.size() ? s.record[s.pos] : ' ';  // the record end is a blank
  if (after == '/') return kSyntaxError;  // a count must be followed by a value or a null form
  nulls = after == ' ' || after == '\t' || after == ',';
  if (nulls) {
    // The comma of "r*," is consumed as the separator after these nulls.
    s.after_value = after != ',';
    s.pos = std::min(s.pos + 1, s.record.size());
  }
  return kReadOk;
}

// Adds chars to the value; a syntax error once it passes the length limit.
int append(TextValue& value, std::string_view chars) {
  if (value.length < kTextLength) {
    const std::size_t n = std::min(chars.size(), kTextLength - value.length);
    std::copy_n(chars.data(), n, value.kept.data() + value.length);
  }
  value.length += chars.size();
  return value.length > kMaxTextValue ? kSyntaxError : kReadOk;
}

// A value between apostrophes or quotation marks, s.pos at the opening one.
// A doubled delimiter stands for one; the value runs on over record ends,
// which add nothing to it. A delimiter that ends its record closes the value:
// doubling is looked for within the record only, so that closing a value
// never reads ahead into the next record.
int read_quoted(Statement& s, TextValue& value) {
  const char quote = s.record[s.pos++];
  for (;;) {
    const std::size_t close = s.record.find(quote, s.pos);
    if (close == kNone) {
      if (const int status = append(value, s.record.substr(s.pos))) return status;
      if (const int status = take_record(s)) return status;  // still open at end of file
      continue;
    }
    const bool doubled = close + 1 < s.record.size() && s.record[close + 1] == quote;
    const std::size_t through = doubled ? close + 1 : close;  // keeps one of a doubled pair
    const int status = append(value, s.record.substr(s.pos, through - s.pos));
    s.pos = close + (doubled ? 2 : 1);
    if (status || !doubled) return status;
  }
}

// A value without delimiters: up to a blank, tab, comma, slash, line feed,
// NUL or the record end. A carriage return inside the record is part of it.
int read_undelimited(Statement& s, TextValue& value) {
  std::size_t end = s.pos;
  while (end < s.record.size() && !ends_undelimited(s.record[end])) ++end;
  const int status = append(value, s.record.substr(s.pos, end - s.pos));
  s.pos = end;
  return status;
}

int read_token(Statement& s, double& value) {
  const NumberToken token = scan_number_token(s.record, s.pos);
  if (token.status) return token.status;
  value = token.value;
  s.pos = token.end;
  return kReadOk;
}

// (a, b): the item takes a; b is read by the same rules and dropped. Both
// are number tokens (a quote or parenthesis in them is a syntax error);
// blanks and record ends may stand around either.
int read_pair(Statement& s, double& value) {
  ++s.pos;
  double dropped = 0;
  int status = skip_blanks(s);
  if (!status) status = read_token(s, value);
  if (!status) status = expect(s, ',');
  if (!status) status = skip_blanks(s);
  if (!status) status = read_token(s, dropped);
  if (!status) status = expect(s, ')');
  return status;
}

// The value at s.pos for a double item. A quoted value is read whole (it
// may run on over records) before it is refused, so that the next statement
// starts after the record that closed it.
int read_number_value(Statement& s, double& value) {
  const char c = s.record[s.pos];
  if (is_quote(c)) {
    TextValue text;
    if (const int status = read_quoted(s, text)) return status;
    return kConversionError;
  }
  if (c == '(') return read_pair(s, value);
  return read_token(s, value);
}

// A traced statement notes where the value (or its repeat form) began.
void note_item(Statement& s, ValueMark mark, int status, bool nulls, int count) {
  if (status) {
    s.trace->failed = mark;
    return;
  }
  mark.kind = nulls ? ValueMark::Kind::Null : ValueMark::Kind::Value;
  mark.copies = count;
  s.trace->marks.push_back(mark);
}

int read_number_item(Statement& s, double& item, int& stored) {
  const ValueMark mark{s.trace ? s.trace->records - 1 : 0, s.pos};
  int count = 0;
  bool nulls = false;
  int status = read_repeat(s, count, nulls);
  double value = 0;
  if (!status && !nulls) status = read_number_value(s, value);
  if (s.trace) note_item(s, mark, status, nulls, count);
  if (status) return status;
  if (!nulls) {
    s.after_value = true;
    item = value;
    ++stored;
  }
  s.copies_left = count - 1;
  s.copies_null = nulls;
  s.copy = value;
  return kReadOk;
}

// The general statement, from the start of its first record (already taken).
int read_numbers(Statement& s, std::span<double* const> items, int& stored) {
  for (double* item : items) {
    if (s.copies_left > 0) {
      --s.copies_left;
      if (!s.copies_null) {
        *item = s.copy;
        ++stored;
      }
      continue;
    }
    Lead lead = Lead::Null;
    if (const int status = seek_value(s, lead)) return status;
    if (lead == Lead::Slash) return kReadOk;
    if (lead == Lead::Value) {
      if (const int status = read_number_item(s, *item, stored)) return status;
    }
  }
  return kReadOk;
}

// The text item is the only item of its statement, so repeat copies after
// the first are dropped with the rest of the record.
int read_text_item(Statement& s, FixedText& item) {
  const ValueMark mark{s.trace ? s.trace->records - 1 : 0, s.pos};
  int count = 0;
  bool nulls = false;
  int status = read_repeat(s, count, nulls);
  TextValue value;
  if (!status && !nulls)
    status = is_quote(s.record[s.pos]) ? read_quoted(s, value) : read_undelimited(s, value);
  if (s.trace) note_item(s, mark, status, nulls, count);
  if (status || nulls) return status;
  assign_text(item, {value.kept.data(), std::min(value.length, kTextLength)});
  return kReadOk;
}

}  // namespace

int read_list_numbers(RecordSource& source, std::span<double* const> items, int* stored) {
  Statement s{source};
  int count = 0;
  int status = take_record(s);
  if (!status) {
    // The record lies in the source's buffer, all of which may be read.
    const char* const readable_end = source.buffer.data() + source.buffer.size();
    if (read_plain_values(s.record, readable_end, items)) {
      count = static_cast<int>(items.size());
    } else {
      status = read_numbers(s, items, count);
    }
  }
  if (stored) *stored = count;
  return status;
}

int read_list_numbers_general(RecordSource& source, std::span<double* const> items, int* stored) {
  Statement s{source};
  int count = 0;
  int status = take_record(s);
  if (!status) status = read_numbers(s, items, count);
  if (stored) *stored = count;
  return status;
}

int read_list_text(RecordSource& source, FixedText& item) {
  Statement s{source};
  if (const int status = take_record(s)) return status;
  Lead lead = Lead::Null;
  if (const int status = seek_value(s, lead)) return status;
  if (lead != Lead::Value) return kReadOk;
  return read_text_item(s, item);
}

}  // namespace textio

namespace textio {
namespace {

// Closes the account of a traced statement. After an end of file or a failed
// read the last record may have been moved in the buffer: it is not kept.
int close_trace(Statement& s, int status) {
  const bool record_kept = status != kReadEnd && status != kReadFailure;
  s.trace->last_record = record_kept ? s.record : std::string_view{};
  s.trace->end = record_kept ? s.pos : 0;
  return status;
}

// The places of the values the plain reading took from the statement's
// record, by its rules: blanks, and after a value at most one comma with
// blanks around it; a value runs to a blank, tab, comma or the record end.
// The statement stops after the last of them.
void mark_plain_values(Statement& s, std::size_t count) {
  const std::string_view r = s.record;
  std::size_t i = 0;
  const auto skip_blanks = [&] {
    while (i < r.size() && (r[i] == ' ' || r[i] == '\t')) ++i;
  };
  for (std::size_t item = 0; item < count; ++item) {
    skip_blanks();
    if (item > 0 && i < r.size() && r[i] == ',') {
      ++i;
      skip_blanks();
    }
    s.trace->marks.push_back({0, i, ValueMark::Kind::Value, 1});
    while (i < r.size() && r[i] != ' ' && r[i] != '\t' && r[i] != ',') ++i;
  }
  s.pos = i;
}

}  // namespace

int read_list_numbers_traced(RecordSource& source, std::span<double* const> items, int& stored,
                             StatementTrace& trace) {
  trace.clear();
  Statement s{source};
  s.trace = &trace;
  stored = 0;
  int status = take_record(s);
  if (!status) {
    const char* const readable_end = source.buffer.data() + source.buffer.size();
    if (read_plain_values(s.record, readable_end, items)) {
      stored = static_cast<int>(items.size());
      mark_plain_values(s, items.size());
    } else {
      status = read_numbers(s, items, stored);
    }
  }
  return close_trace(s, status);
}

int read_list_text_traced(RecordSource& source, FixedText& item, StatementTrace& trace) {
  trace.clear();
  Statement s{source};
  s.trace = &trace;
  int status = take_record(s);
  Lead lead = Lead::Null;
  if (!status) status = seek_value(s, lead);
  if (!status && lead == Lead::Value) status = read_text_item(s, item);
  return close_trace(s, status);
}

}  // namespace textio
