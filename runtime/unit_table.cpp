#include "runtime/unit_table.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/interrupts.h"
#include "runtime/units.h"

namespace runtime {

UnitTable the_unit_table;

Unit& add_unit(int number) {
  UnitTable& table = unit_table();
  Unit& unit = table.units.emplace_back();
  unit.number = number;
  const int slot = number - kLowestIndexed;
  if (slot >= 0 && slot < kIndexedUnits) table.index[slot] = &unit;
  return unit;
}

Unit* find_unit_in_table(int number) {
  UnitTable& table = unit_table();
  auto& units = table.units;
  for (Unit& unit : units)
    if (unit.number == number) return unit.connected ? &unit : nullptr;
  int fd = -1;
  const char* name = "CONOUT$";
  switch (number) {
    case kConsoleInput:
      fd = 0;
      name = "CONIN$";
      break;
    case kConsoleOutput: fd = 1; break;
    case kErrorOutput: fd = 2; break;
    default: return nullptr;
  }
  Unit& unit = add_unit(number);
  unit.connected = true;
  unit.name = name;
  unit.fd = fd;
  return &unit;
}

namespace {

// A write that failed partway left part of a record in the file: the file is
// cut back to the end of the last whole record written, so that it holds
// whole lines only. Streams that cannot seek are left as they are.
void drop_partial_record(const Unit& unit, std::size_t written) {
  std::size_t whole = written;
  while (whole > 0 && unit.output[whole - 1] != '\n') --whole;
  if (whole == written) return;
  const off_t end = ::lseek(unit.fd, 0, SEEK_CUR);
  if (end < 0) return;
  const off_t cut = end - static_cast<off_t>(written - whole);
  if (::ftruncate(unit.fd, cut) == 0) ::lseek(unit.fd, cut, SEEK_SET);
}

// Whether a write may wait for a reader: a pipe, FIFO, terminal or socket
// (not a regular file or a block device, which always take it).
bool waits_for_reader(int fd) {
  struct stat file;
  return ::fstat(fd, &file) != 0 || !(S_ISREG(file.st_mode) || S_ISBLK(file.st_mode));
}

}  // namespace

int flush_unit(Unit& unit) {
  std::size_t done = 0;
  int error = 0;
  while (done < unit.output_used) {
    // After an interrupt a reader is waited for only so long (a stopped one
    // would hold the run forever); what it has not taken is dropped.
    if (!output_may_wait() && waits_for_reader(unit.fd)) {
      error = EINTR;
      break;
    }
    const ssize_t n = ::write(unit.fd, unit.output.data() + done, unit.output_used - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (error != 0 && unit.owns_fd) drop_partial_record(unit, done);
  unit.output_used = 0;
  return error;
}

}  // namespace runtime
