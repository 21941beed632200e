// Fuzz target: the free-form record reader, through the units and in memory.
//
// Input: a plan byte, an access byte, then the bytes of the file.
//   plan:   four steps taken in turn, two bits each from the lowest: 0 a
//           statement of two doubles, 1 of three doubles, 2 of one text, 3 the
//           end-of-file inquiry. The steps repeat until a statement does not
//           return 0.
//   access: bits 0-2 say how the unit reaches the file: 1 a pipe kept for
//           replay; 2 a pipe not kept, which cannot be rewound; 3 a regular
//           file after a record longer than the reader's first buffer, which
//           must grow; 4 a regular file after a record that ends (bits 3-7)
//           0 to 31 bytes before the end of the first buffer, so that the
//           file's records cross it; anything else a regular file. The added
//           record starts with a slash: a statement ends there at once.
//
// Each execution aborts when
// - the plain-number path, the general statement and the traced statement of
//   the file checks, on in-memory copies of the file, differ in status, stored
//   count, the bits of any item or the position after any statement;
// - a traced statement's account disagrees with what it read: the records it
//   took, or the items its values, empty values and slash account for;
// - the file read through a unit gives other results than the in-memory copy,
//   or other results again after a rewind (a pipe not kept must refuse it);
// - a double read is edited with 2 or 3 decimals to other text than the
//   reference editor gives;
// - runs of records taken at once (read_plain_pairs, over a buffer with
//   digits past the file's end) read otherwise than statements of two items
//   of the general rules, or a field written from a value's text differs
//   from the editor's.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "memory_file.h"
#include "report.h"
#include "runtime/endings.h"
#include "runtime/units.h"
#include "textio/fixed_edit.h"
#include "textio/fixed_edit_reference.h"
#include "textio/fixed_text.h"
#include "textio/list_input.h"
#include "textio/list_input_general.h"
#include "textio/list_trace.h"
#include "textio/plain_values.h"
#include "textio/record_source.h"

namespace {

using runtime::StatusReturn;

constexpr int kUnit = 17;

// The descriptor source starts with a buffer of this many bytes, filled by
// its first read; a record that does not fit makes it grow.
constexpr std::size_t kFirstBuffer = std::size_t{1} << 20;

// Items hold this before every statement, so that an item a statement leaves
// alone shows as such: a quiet NaN with a payload no number token gives.
constexpr std::uint64_t kUntouched = 0x7ff8'0000'5eed'0001;

enum class Kind { TwoNumbers, ThreeNumbers, Text, EndInquiry };
enum class Access { File, ReplayedPipe, UnkeptPipe, GrownBuffer, CrossedBuffer };

struct Plan {
  std::array<Kind, 4> kinds;
  Access access;
  std::size_t step_limit;  // a statement takes at least one record; inquiries take none
};

// The outcome of one step: a statement's status, stored count, items and
// text, or the inquiry's answer as status.
struct Step {
  Kind kind = Kind::TwoNumbers;
  int status = 0;
  int stored = 0;
  std::array<std::uint64_t, 3> items{};
  std::string text;
  std::size_t position = 0;  // in-memory sources only: offset of the next record
};

bool same_results(const Step& a, const Step& b) {
  return a.kind == b.kind && a.status == b.status && a.stored == b.stored && a.items == b.items &&
         a.text == b.text;
}

// Where the statements read: an in-memory source, by the plain-number path
// or the general statement, or the unit.
struct Reader {
  textio::RecordSource* memory = nullptr;  // nullptr: the unit
  bool general = false;
  textio::StatementTrace* trace = nullptr;  // the traced statement, on memory
};

// The records between two offsets of the bytes: line feeds, and a last line without one.
std::size_t records_between(std::string_view bytes, std::size_t from, std::size_t to) {
  const auto feeds =
      static_cast<std::size_t>(std::count(bytes.begin() + from, bytes.begin() + to, '\n'));
  return feeds + (to > from && to == bytes.size() && bytes.back() != '\n');
}

// The items a traced statement's account says were given a value.
int stored_by_account(const textio::StatementTrace& trace, std::size_t items) {
  std::size_t item = 0, stored = 0;
  for (const textio::ValueMark& mark : trace.marks) {
    if (mark.kind == textio::ValueMark::Kind::Slash || item >= items) break;
    const std::size_t end = std::min(items, item + static_cast<std::size_t>(mark.copies));
    if (mark.kind == textio::ValueMark::Kind::Value) stored += end - item;
    item = end;
  }
  return static_cast<int>(stored);
}

void expect_sound_trace(const Reader& reader, std::size_t before, int status, int stored,
                        std::size_t items) {
  const textio::StatementTrace& trace = *reader.trace;
  const std::string_view bytes(reader.memory->buffer.data(), reader.memory->filled);
  if (trace.records != records_between(bytes, before, reader.memory->next))
    fuzzing::fault("traced statement: %zu records in its account, %zu taken", trace.records,
                   records_between(bytes, before, reader.memory->next));
  for (const textio::ValueMark& mark : trace.marks)
    if (mark.record >= trace.records)
      fuzzing::fault("traced statement: a value after its last record");
  if (status == 0 && items > 0 && stored_by_account(trace, items) != stored)
    fuzzing::fault("traced statement: its account gives %d items, it stored %d",
                   stored_by_account(trace, items), stored);
}

int read_numbers(const Reader& reader, std::span<double* const> items, int& stored) {
  if (!reader.memory)
    return runtime::read_numbers(kUnit, StatusReturn::ErrorAndEnd, items, &stored);
  if (reader.trace) {
    const std::size_t before = reader.memory->next;
    const int status =
        textio::read_list_numbers_traced(*reader.memory, items, stored, *reader.trace);
    expect_sound_trace(reader, before, status, stored, items.size());
    return status;
  }
  if (reader.general) return textio::read_list_numbers_general(*reader.memory, items, &stored);
  return textio::read_list_numbers(*reader.memory, items, &stored);
}

int read_text(const Reader& reader, textio::FixedText& item) {
  if (!reader.memory) return runtime::read_text(kUnit, StatusReturn::ErrorAndEnd, item);
  if (reader.trace) {
    const std::size_t before = reader.memory->next;
    const int status = textio::read_list_text_traced(*reader.memory, item, *reader.trace);
    expect_sound_trace(reader, before, status, 0, 0);
    return status;
  }
  return textio::read_list_text(*reader.memory, item);
}

// Before any statement has met the end, the unit's inquiry is the source's.
bool at_end(const Reader& reader) {
  return reader.memory ? textio::source_at_end(*reader.memory) : runtime::at_end_of_file(kUnit);
}

Step take_step(const Reader& reader, Kind kind) {
  Step step;
  step.kind = kind;
  if (kind == Kind::EndInquiry) {
    step.status = at_end(reader);
  } else if (kind == Kind::Text) {
    textio::FixedText item = textio::blank_text();
    step.status = read_text(reader, item);
    step.text = textio::trim_trailing_blanks(item);
  } else {
    std::array<double, 3> values;
    values.fill(std::bit_cast<double>(kUntouched));
    double* const items[] = {&values[0], &values[1], &values[2]};
    const std::size_t count = kind == Kind::TwoNumbers ? 2 : 3;
    step.status = read_numbers(reader, std::span(items, count), step.stored);
    std::transform(values.begin(), values.end(), step.items.begin(),
                   [](double v) { return std::bit_cast<std::uint64_t>(v); });
  }
  if (reader.memory) step.position = reader.memory->next;
  return step;
}

std::vector<Step> run_plan(const Plan& plan, const Reader& reader) {
  std::vector<Step> steps;
  for (std::size_t i = 0; i < plan.step_limit; ++i) {
    const Kind kind = plan.kinds[i % plan.kinds.size()];
    steps.push_back(take_step(reader, kind));
    if (kind != Kind::EndInquiry && steps.back().status != 0) break;
  }
  return steps;
}

[[noreturn]] void mismatch(const char* what, std::size_t step) {
  fuzzing::fault("record reader: %s differ at step %zu", what, step);
}

void expect_same(const std::vector<Step>& a, const std::vector<Step>& b, bool with_position,
                 const char* what) {
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    if (!same_results(a[i], b[i]) || (with_position && a[i].position != b[i].position))
      mismatch(what, i);
  }
  if (a.size() != b.size()) mismatch(what, std::min(a.size(), b.size()));
}

template <int kDecimals>
void expect_same_edit(double v) {
  char fast[textio::fixed_field_capacity(kDecimals)];
  char reference[textio::fixed_field_capacity(kDecimals)];
  const std::size_t n = textio::edit_fixed(v, kDecimals, fast);
  const std::size_t m = textio::edit_fixed_reference(v, kDecimals, reference);
  if (n != m || std::memcmp(fast, reference, n) != 0)
    fuzzing::fault("fixed edit with %d decimals of %a: \"%.*s\", reference \"%.*s\"", kDecimals, v,
                   static_cast<int>(n), fast, static_cast<int>(m), reference);
}

void expect_same_edits(const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    for (const std::uint64_t bits : step.items) {
      expect_same_edit<2>(std::bit_cast<double>(bits));
      expect_same_edit<3>(std::bit_cast<double>(bits));
    }
  }
}

void expect_same_text_edit(const textio::PlainText& text, double v, int decimals) {
  char from_text[textio::fixed_field_capacity(3)];
  char reference[textio::fixed_field_capacity(3)];
  const std::size_t n = textio::edit_fixed_from_text(text, v, decimals, from_text);
  const std::size_t m = textio::edit_fixed_reference(v, decimals, reference);
  if (n != 0 && (n != m || std::memcmp(from_text, reference, n) != 0))
    fuzzing::fault("F0.%d of %a from its text: \"%.*s\", reference \"%.*s\"", decimals, v,
                   static_cast<int>(n), from_text, static_cast<int>(m), reference);
}

void expect_same_pairs(std::string_view bytes) {
  std::string padded(bytes);
  padded.append(64, '9');
  textio::RecordSource run = textio::source_from_bytes(padded);
  run.filled = bytes.size();
  textio::RecordSource general = textio::source_from_bytes(bytes);
  for (std::size_t step = 0;; ++step) {
    constexpr int kRun = 8;
    double xs[kRun], ys[kRun];
    textio::PlainText x_texts[kRun], y_texts[kRun];
    const int taken = textio::read_plain_pairs(run, kRun, xs, ys, x_texts, y_texts);
    for (int i = 0; i < taken; ++i) {
      const Step expected = take_step(Reader{&general, true}, Kind::TwoNumbers);
      if (expected.status != 0 || expected.stored != 2 ||
          expected.items[0] != std::bit_cast<std::uint64_t>(xs[i]) ||
          expected.items[1] != std::bit_cast<std::uint64_t>(ys[i]))
        mismatch("runs of pairs and statements", step);
      for (const int decimals : {2, 3}) {
        expect_same_text_edit(x_texts[i], xs[i], decimals);
        expect_same_text_edit(y_texts[i], ys[i], decimals);
      }
    }
    if (run.next != general.next) mismatch("positions after a run of pairs", step);
    const Step a = take_step(Reader{&run, false}, Kind::TwoNumbers);
    const Step b = take_step(Reader{&general, true}, Kind::TwoNumbers);
    if (!same_results(a, b) || a.position != b.position)
      mismatch("statements after a run of pairs", step);
    if (a.status != 0) return;
  }
}

// The file on a pipe, written whole before the reader starts. Empty when the
// pipe cannot take it all at once (the caller then uses a regular file).
struct PipeFile {
  int read_end = -1;
  std::string path;
};

PipeFile pipe_file(std::string_view bytes) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) fuzzing::setup_failure("pipe2");
  ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
  const ssize_t n = bytes.empty() ? 0 : ::write(ends[1], bytes.data(), bytes.size());
  ::close(ends[1]);
  if (n != static_cast<ssize_t>(bytes.size())) {
    ::close(ends[0]);
    return {};
  }
  return {ends[0], "/proc/self/fd/" + std::to_string(ends[0])};
}

// Reads the file through the unit, rewinds and reads it again; both passes
// must match the in-memory results.
void read_through_unit(const Plan& plan, std::string_view bytes,
                       const std::vector<Step>& expected) {
  const bool piped = plan.access == Access::ReplayedPipe || plan.access == Access::UnkeptPipe;
  const PipeFile pipe = piped ? pipe_file(bytes) : PipeFile{};
  std::optional<fuzzing::MemoryFile> file;
  if (pipe.path.empty()) file.emplace(bytes);
  const std::string& path = file ? file->path : pipe.path;
  const bool rewind_fails = plan.access == Access::UnkeptPipe && !file;

  if (runtime::open_unit(kUnit, path, runtime::OpenStatus::Old, StatusReturn::ErrorAndEnd,
                         plan.access == Access::ReplayedPipe) != 0)
    fuzzing::setup_failure("open_unit of a memory file or pipe");
  if (pipe.read_end >= 0) ::close(pipe.read_end);  // the unit holds its own descriptor

  const Reader unit{};
  try {
    const std::vector<Step> first = run_plan(plan, unit);
    expect_same(expected, first, false, "unit and in-memory results");
    runtime::rewind_unit(kUnit);
    if (rewind_fails) fuzzing::fault("record reader: a pipe not kept for replay was rewound");
    expect_same(first, run_plan(plan, unit), false, "results before and after the rewind");
  } catch (const runtime::RunEnd&) {
    // Every statement returns its errors; only the rewind of a pipe not kept ends the run.
    if (!rewind_fails) fuzzing::fault("record reader: a statement or rewind ended the run");
  }
  runtime::close_all_units();
}

// The file's bytes as the unit reads them: the input, after a long record for
// the accesses that need one.
std::string file_bytes(Access access, std::uint8_t access_byte, std::string_view input) {
  std::size_t long_record = 0;  // bytes, line feed included
  if (access == Access::GrownBuffer) long_record = kFirstBuffer + 2;
  if (access == Access::CrossedBuffer) long_record = kFirstBuffer - (access_byte >> 3);
  if (long_record == 0) return std::string(input);
  std::string bytes(long_record, ' ');
  bytes.front() = '/';
  bytes.back() = '\n';
  return bytes.append(input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  Plan plan{};
  for (std::size_t i = 0; i < plan.kinds.size(); ++i)
    plan.kinds[i] = static_cast<Kind>((data[0] >> (2 * i)) & 3);
  const int access = data[1] & 7;
  plan.access = access <= static_cast<int>(Access::CrossedBuffer) ? static_cast<Access>(access)
                                                                  : Access::File;
  const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string bytes = file_bytes(plan.access, data[1], input);
  // The input's records, the long record and one more step for the end.
  const auto records = static_cast<std::size_t>(std::count(input.begin(), input.end(), '\n')) + 1;
  plan.step_limit = plan.kinds.size() * (records + 2);

  textio::RecordSource plain = textio::source_from_bytes(bytes);
  textio::RecordSource general = textio::source_from_bytes(bytes);
  const std::vector<Step> expected = run_plan(plan, Reader{&plain, false});
  expect_same(expected, run_plan(plan, Reader{&general, true}), true,
              "plain-number path and general statement");
  textio::RecordSource traced = textio::source_from_bytes(bytes);
  textio::StatementTrace trace;
  expect_same(expected, run_plan(plan, Reader{&traced, true, &trace}), true,
              "plain-number path and traced statement");
  expect_same_edits(expected);
  expect_same_pairs(bytes);

  read_through_unit(plan, bytes, expected);
  return 0;
}
