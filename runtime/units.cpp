#include "runtime/units.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "runtime/descriptor_names.h"
#include "runtime/endings.h"
#include "runtime/interrupts.h"
#include "runtime/unit_table.h"
#include "textio/list_input.h"
#include "textio/opening.h"

namespace runtime {
namespace {

constexpr std::size_t kFlushThreshold = std::size_t{1} << 20;
constexpr std::size_t kMaxShownPath = 256;

// An open failure: returned when the statement asked for it, else reported.
// Failures of an unnamed reason (30) carry the operating system's text.
int open_failed(int unit, int number, std::string_view os_text, StatusReturn choice) {
  if (choice != StatusReturn::None) return number;
  runtime_error(number, unit, number == 30 ? os_text : std::string_view{});
}

std::string_view trim_name(std::string_view name) {
  const auto first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  name.remove_prefix(first);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.remove_suffix(1);
  return name;
}

// The slot of a unit number in the table, connected or not.
Unit& slot(int number) {
  for (Unit& unit : unit_table().units)
    if (unit.number == number) return unit;
  return add_unit(number);
}

// A write that failed: an interrupt that cut short the wait for a reader
// ends the run as the interrupt does; any other reason is a write error.
[[noreturn]] void write_failed(int unit_number, int error) {
  if (error == EINTR) end_if_interrupted();
  runtime_error(38, unit_number, std::strerror(error));
}

// Opens the file, again after a signal that ended no run. An interrupt noted
// while the open waits (a FIFO waiting for its other end) ends the run.
int open_file(const std::string& path, int flags) {
  for (;;) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EINTR) return fd;
    end_if_interrupted();
  }
}

// Refused for want of permission (message 9): the program falls back to reading.
bool refused_for_access(int error) { return textio::open_refusal(error).number == 9; }

Unit& connected(int number) {
  Unit* unit = find_unit(number);
  if (!unit) runtime_error(30, number, "the unit is not connected");
  return *unit;
}

textio::RecordSource& input_of(Unit& unit, bool replay_on_rewind = false) {
  if (!unit.has_input) {
    unit.input = textio::source_from_descriptor(unit.fd, replay_on_rewind);
    // A signal noted ends the run at the unit's next read.
    unit.input.at_read = end_if_interrupted;
    unit.has_input = true;
  }
  return unit.input;
}

// Maps a statement's outcome to what its status-return choice lets through.
int settle_read(Unit& unit, int code, StatusReturn choice) {
  if (code == textio::kReadOk) return 0;
  if (code == textio::kReadEnd) {
    unit.eof_mark = true;
    if (choice == StatusReturn::ErrorAndEnd) return -1;
    runtime_error(24, unit.number);
  }
  if (choice != StatusReturn::None) return code;
  runtime_error(code, unit.number,
                code == textio::kReadFailure ? std::strerror(unit.input.os_error) : "");
}

Unit& reading(int number) {
  if (number == kConsoleInput) {
    if (Unit* out = find_unit(kConsoleOutput)) flush_unit(*out);
  }
  return connected(number);
}

void release(Unit& unit) {
  // A regular file stays known after it is closed: the run has computed from
  // it (the map), so a later output must not replace it.
  struct stat file;
  const bool regular = unit.owns_fd && ::fstat(unit.fd, &file) == 0 && S_ISREG(file.st_mode);
  if (unit.owns_fd) ::close(unit.fd);
  Unit closed;
  closed.number = unit.number;
  if (regular) {
    closed.device = unit.device;
    closed.inode = unit.inode;
    closed.was_connected = true;
  }
  unit = std::move(closed);
}

// Why a file may not be connected to unit `number`: it is connected to
// another unit, or it is to be written (status unknown) and was connected to
// one before. Empty when it may.
std::string connection_conflict(int number, const struct stat& file, OpenStatus status) {
  for (const Unit& other : unit_table().units) {
    if (other.number == number || other.device != file.st_dev || other.inode != file.st_ino)
      continue;
    if (other.connected && other.owns_fd)
      return "the file is already connected to unit " + std::to_string(other.number);
    if (other.was_connected && status == OpenStatus::Unknown)
      return "the file was connected to unit " + std::to_string(other.number);
  }
  return {};
}

// Another process's lock on the output file: two runs writing one file
// would cut and overwrite each other's lines. The lock is the process's and
// goes with it; a file system without locks is written unlocked.
bool locked_elsewhere(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;  // l_start and l_len 0: the whole file, however long
  return ::fcntl(fd, F_SETLK, &lock) != 0 && (errno == EACCES || errno == EAGAIN);
}

}  // namespace

std::string full_path_name(std::string_view name) {
  const std::string_view trimmed = trim_name(name);
  std::string joined;
  if (!trimmed.starts_with('/')) {
    std::vector<char> cwd(4096);
    while (!::getcwd(cwd.data(), cwd.size())) {
      if (errno != ERANGE) return std::string(trimmed);
      cwd.resize(cwd.size() * 2);
    }
    joined = cwd.data();
    joined += '/';
  }
  joined += trimmed;

  // Lexical clean-up: drop empty and "." components, let ".." remove its parent.
  std::vector<std::string_view> parts;
  std::string_view rest = joined;
  while (!rest.empty()) {
    const auto slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string full;
  for (const auto part : parts) {
    full += '/';
    full += part;
  }
  if (full.empty()) full.push_back('/');
  if (full.size() > kMaxShownPath) return std::string(trimmed);
  return full;
}

int open_unit(int unit_number, std::string_view name, OpenStatus status, StatusReturn choice,
              bool replay_on_rewind) {
  Unit& unit = slot(unit_number);
  if (unit.connected) close_unit(unit_number);
  const std::string path(trim_name(name));
  unit.name = full_path_name(name);

  // The operating system takes a name up to its first NUL: a NUL left inside
  // the name would open some other file than the one named.
  if (path.find('\0') != std::string::npos) return open_failed(unit_number, 43, {}, choice);

  // One file is never connected to two units, and a file read is not written
  // later: writing through one would destroy what the other reads, or what
  // the results came from.
  struct stat existing;
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (exists) {
    const std::string conflict = connection_conflict(unit_number, existing, status);
    if (!conflict.empty()) return open_failed(unit_number, 30, conflict, choice);
  }

  // A name for a descriptor of a regular file the process was given
  // (/dev/stdout, /dev/fd/N) that it may write.
  int given = -1;
  int given_flags = 0;
  if (status == OpenStatus::Unknown && exists && S_ISREG(existing.st_mode)) {
    given = descriptor_named(path);
    given_flags = given >= 0 ? ::fcntl(given, F_GETFL) : -1;
    if (given_flags < 0 || (given_flags & O_ACCMODE) == O_RDONLY) given = -1;
  }

  int fd;
  bool read_only = status == OpenStatus::Old;
  if (read_only) {
    fd = open_file(path, O_RDONLY);
  } else if (given >= 0) {
    // Written through that descriptor, where it stands: its lines and those
    // of the console, when it is the console output, share one position, and
    // one opened for append is written at the file's end.
    fd = ::fcntl(given, F_DUPFD_CLOEXEC, 0);
  } else if (exists && S_ISFIFO(existing.st_mode)) {
    // A pipe is opened for writing only: holding its read end too would keep
    // it open after its reader has gone, so that a full pipe waited forever
    // instead of reporting the broken pipe. Like any writer, the open waits
    // for a reader. The read-only fallback must not wait for a writer.
    fd = open_file(path, O_WRONLY);
    if (fd < 0 && refused_for_access(errno)) {
      const int refused = errno;
      fd = open_file(path, O_RDONLY | O_NONBLOCK);
      if (fd < 0) errno = refused;
      read_only = true;
    }
  } else {
    fd = open_file(path, O_RDWR | O_CREAT);
    if (fd < 0 && refused_for_access(errno)) {
      const int refused = errno;
      fd = open_file(path, O_RDONLY);
      if (fd < 0) errno = refused;
      read_only = true;
    }
  }
  struct stat opened;
  if (fd >= 0 && ::fstat(fd, &opened) == 0 && S_ISDIR(opened.st_mode)) {
    // A folder opens for reading here but holds no records: it is no file.
    ::close(fd);
    fd = -1;
    errno = EISDIR;
  }
  if (fd < 0) {
    const int error = errno;
    return open_failed(unit_number, textio::open_refusal(error).number, std::strerror(error),
                       choice);
  }
  if (status == OpenStatus::Unknown && !read_only && S_ISREG(opened.st_mode) &&
      locked_elsewhere(fd)) {
    ::close(fd);
    return open_failed(unit_number, 30, "the file is in use by another process", choice);
  }
  unit.connected = true;
  unit.fd = fd;
  unit.owns_fd = true;
  unit.read_only = read_only;
  unit.device = opened.st_dev;
  unit.inode = opened.st_ino;
  unit.cut_pending = status == OpenStatus::Unknown && !(given >= 0 && (given_flags & O_APPEND));
  input_of(unit, replay_on_rewind);
  return 0;
}

void rewind_unit(int unit_number) {
  Unit& unit = connected(unit_number);
  if (!textio::rewind_source(input_of(unit))) runtime_error(39, unit_number, std::strerror(errno));
  unit.eof_mark = false;
}

void close_unit(int unit_number) {
  Unit* unit = find_unit(unit_number);
  if (!unit || !unit->owns_fd) return;
  const int error = flush_unit(*unit);
  release(*unit);
  if (error) write_failed(unit_number, error);
}

bool at_end_of_file(int unit_number) {
  Unit& unit = connected(unit_number);
  return unit.eof_mark || textio::source_at_end(input_of(unit));
}

int read_numbers(int unit_number, StatusReturn choice, std::span<double* const> items,
                 int* stored) {
  Unit& unit = reading(unit_number);
  return settle_read(unit, textio::read_list_numbers(input_of(unit), items, stored), choice);
}

void abandon_reads_with(int unit_number, const std::atomic<bool>* flag) {
  input_of(connected(unit_number)).abandoned = flag;
}

int read_number_pairs(int unit_number, int max, double* xs, double* ys, textio::PlainText* x_texts,
                      textio::PlainText* y_texts) {
  return textio::read_plain_pairs(input_of(reading(unit_number)), max, xs, ys, x_texts, y_texts);
}

int read_text(int unit_number, StatusReturn choice, textio::FixedText& item) {
  Unit& unit = reading(unit_number);
  return settle_read(unit, textio::read_list_text(input_of(unit), item), choice);
}

textio::RecordSource& unit_source(int unit_number) { return input_of(reading(unit_number)); }

namespace {

// The rare cases of a record: a unit not connected or read-only, a buffer
// to grow.
[[gnu::noinline]] char* begin_record_slowly(int unit_number, std::size_t needed) {
  Unit& unit = connected(unit_number);
  if (unit.read_only) runtime_error(47, unit_number);
  if (needed > unit.output.size()) unit.output.resize(std::max(needed, 2 * unit.output.size()));
  return unit.output.data() + unit.output_used;
}

// The rare cases after a record: the first record of an output file, a line
// on the console, a full buffer.
[[gnu::noinline]] void hand_over(Unit& unit) {
  if (unit.cut_pending) {
    // Nothing has been written yet, so cutting where the records go (the
    // start, unless the file is written through a descriptor that stands
    // further on) leaves exactly the records of this run after that place.
    // Streams that cannot be cut are left as they are.
    unit.cut_pending = false;
    const off_t position = ::lseek(unit.fd, 0, SEEK_CUR);
    [[maybe_unused]] const int cut = position < 0 ? -1 : ::ftruncate(unit.fd, position);
  }
  if (!unit.owns_fd) {
    // A console line goes out at once, after everything written before it to
    // the files, which may be the same stream (an output file of /dev/stdout).
    // When that fails the line is withdrawn: a closing message must not
    // follow the report that the output was not written.
    for (Unit& file : unit_table().units) {
      if (file.connected && file.owns_fd && file.output_used > 0) {
        if (const int error = flush_unit(file)) {
          unit.output_used = 0;
          write_failed(file.number, error);
        }
      }
    }
  }
  if (!unit.owns_fd || unit.output_used >= kFlushThreshold) {
    if (const int error = flush_unit(unit)) write_failed(unit.number, error);
  }
}

}  // namespace

char* begin_record(int unit_number, std::size_t bytes) {
  Unit* unit = find_unit(unit_number);
  const std::size_t needed = (unit ? unit->output_used : 0) + bytes + 2;  // room for CR LF too
  if (!unit || unit->read_only || needed > unit->output.size())
    return begin_record_slowly(unit_number, needed);
  return unit->output.data() + unit->output_used;
}

void end_record(int unit_number, char* end, bool terminate) {
  Unit& unit = *find_unit(unit_number);
  if (terminate) {
    *end++ = '\r';
    *end++ = '\n';
  }
  unit.output_used = static_cast<std::size_t>(end - unit.output.data());
  if (unit.cut_pending || !unit.owns_fd || unit.output_used >= kFlushThreshold) hand_over(unit);
}

std::string unit_file_name(int unit_number) {
  for (const Unit& unit : unit_table().units)
    if (unit.number == unit_number) return unit.name;
  return {};
}

void hold_standard_streams() {
  // All three are taken by the null device opened for reading only: closed
  // console input reads as an empty one, and a write to closed console output
  // still fails (EBADF) and is reported.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) ::open("/dev/null", O_RDONLY);
  }
}

int close_all_units() noexcept {
  int failure = 0;
  for (Unit& unit : unit_table().units) {
    if (unit.connected && unit.output_used > 0 && flush_unit(unit) != 0 && failure == 0)
      failure = 38;
    if (unit.owns_fd) release(unit);
    // The run is over: the files it was connected to are no longer known (a
    // file since removed may lend its identity to a new one).
    unit.was_connected = false;
  }
  return failure;
}

}  // namespace runtime
