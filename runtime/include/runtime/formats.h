#pragma once
// Output records: the five fixed formats and list-directed writes.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

#include "textio/plain_values.h"

namespace runtime {

// Edit descriptors: A (a text, whole), I (32-bit integer in 12 columns),
// F0.d (a double, shortest field, d decimals), $ (no record terminator).
enum class EditKind { Text, Integer, Fixed, NoTerminator };

struct Edit {
  EditKind kind;
  int decimals = 0;  // d of F0.d
};

// A format is a fixed list of edit descriptors, repeat groups written out.
using Format = std::span<const Edit>;

extern const Format PROMPT_FMT;  // A, $
extern const Format RESULT_FMT;  // F0.2, 2(A, F0.3)
extern const Format TEXT3_FMT;   // 3A
extern const Format TEXT1_FMT;   // A
extern const Format IERR_FMT;    // A, I

// One item of a write statement.
struct OutItem {
  enum class Kind { Text, Int32, Int64, Double } kind;
  std::string_view text{};
  std::int64_t integer = 0;
  double number = 0.0;

  OutItem(std::string_view t) : kind(Kind::Text), text(t) {}
  OutItem(const char* t) : kind(Kind::Text), text(t) {}
  OutItem(std::int32_t i) : kind(Kind::Int32), integer(i) {}
  OutItem(std::int64_t i) : kind(Kind::Int64), integer(i) {}
  OutItem(double d) : kind(Kind::Double), number(d) {}
};

// Writes one record laid out by the format; there are exactly as many data
// descriptors as items.
void write_formatted(int unit, Format format, std::initializer_list<OutItem> items);

// Writes the record RESULT_FMT lays out for x, a tab, y, a tab and fc:
// what write_formatted gives for these items, in one step, with x and y
// edited from the texts they were read from where that gives the field
// (edit_fixed_from_text).
void write_result(int unit, double x, double y, double fc, const textio::PlainText& x_text,
                  const textio::PlainText& y_text);

// Writes texts and 64-bit integers as a list-directed record (80 columns).
void write_list(int unit, std::initializer_list<OutItem> items);

}  // namespace runtime
