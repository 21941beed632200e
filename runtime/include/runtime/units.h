#pragma once
// Units: the numbers by which every read and write names its file or stream,
// with open, rewind, close, the end-of-file inquiry and the status returns.
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "textio/fixed_text.h"
#include "textio/plain_values.h"
#include "textio/record_source.h"

namespace runtime {

inline constexpr int kConsoleInput = -4;   // standard input, "CONIN$"
inline constexpr int kConsoleOutput = -1;  // standard output, "CONOUT$"
inline constexpr int kErrorOutput = 0;     // standard error, "CONOUT$"

enum class OpenStatus { Old, Unknown };

// What a statement asks to have returned rather than raised as a run-time error.
enum class StatusReturn { None, Error, ErrorAndEnd };

// Connects unit to the named file. Status old opens an existing file for
// reading only; status unknown opens or creates it for reading and writing
// (read-only as a fallback), locks a regular file against other processes
// (30 when one holds it) and cuts it after the first record written; a
// FIFO (a pipe named as /dev/stdout, too) it opens for writing only, waiting
// for a reader, so that a reader that goes makes the next write fail. A name
// for a writable descriptor of a regular file the process holds
// (/dev/stdout, /dev/fd/N) is written through that descriptor where it
// stands, and never cut when it appends. A file connected to another unit,
// or for status unknown one that was, is refused (30).
// replay_on_rewind keeps what is read from a stream that cannot seek, so that
// a rewind can replay it. A name that still holds a NUL once its trailing
// blanks and NULs are dropped is refused (43) before anything is touched.
// Returns 0 or, with an error return, the message number.
int open_unit(int unit, std::string_view name, OpenStatus status, StatusReturn choice,
              bool replay_on_rewind = false);

void rewind_unit(int unit);
void close_unit(int unit);

// Whether the unit stands at its end of file: after a read that met the end,
// or when the position after the last record read is at the end of the data.
bool at_end_of_file(int unit);

// One list-directed read statement. Returns 0, -1 for end of file, or the
// error's message number, as the status-return choice allows; anything the
// choice does not return is a run-time error.
int read_numbers(int unit, StatusReturn choice, std::span<double* const> items,
                 int* stored = nullptr);
int read_text(int unit, StatusReturn choice, textio::FixedText& item);

// Lets another thread give up the unit's reads: while *flag is true, a read
// interrupted by a signal fails (error 39) instead of waiting on (nullptr:
// never).
void abandon_reads_with(int unit, const std::atomic<bool>* flag);

// Statements of two double items, as many as read_plain_pairs takes at once
// (at most max, perhaps none): each gives x[i] and y[i] as read_numbers
// would, and their texts. The rest is for read_numbers.
int read_number_pairs(int unit, int max, double* xs, double* ys, textio::PlainText* x_texts,
                      textio::PlainText* y_texts);

// The records of a connected unit, for a routine that reads them by the
// reading rules directly (list_input.h) and settles every outcome itself.
textio::RecordSource& unit_source(int unit);

// Output records. begin_record checks that the unit can be written and
// returns room for at least `bytes` characters of a record; end_record takes
// the characters written up to `end` as the record and ends it (with CR LF
// unless `terminate` is false).
char* begin_record(int unit, std::size_t bytes);
void end_record(int unit, char* end, bool terminate);

// The name shown for a unit in messages: "CONIN$", "CONOUT$", or the file's
// full path name.
std::string unit_file_name(int unit);

// Keeps standard input, output and error taken when the process was started
// without them, so that no file opened later gets their numbers and console
// lines cannot land in it. Closed console input then reads as empty; a write
// to closed console output fails as before.
void hold_standard_streams();

// Flushes and closes every unit; the console streams are flushed only. The
// files the run was connected to are forgotten. Returns 0, or 38 when some
// pending output could not be written.
int close_all_units() noexcept;

// Full path name of a file name as shown in messages: leading blanks skipped,
// trailing blanks and NULs dropped, resolved against the current directory;
// the trimmed name itself when the full path would exceed 256 characters.
std::string full_path_name(std::string_view name);

}  // namespace runtime
