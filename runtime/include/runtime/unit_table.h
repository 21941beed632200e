#pragma once
// The unit table: the one piece of mutable state the program's run-time
// keeps for the whole run. Internal to the run-time.
#include <sys/types.h>
#include <deque>
#include <string>
#include <vector>

#include "textio/record_source.h"

namespace runtime {

struct Unit {
  int number = 0;
  bool connected = false;
  std::string name;  // shown in messages: "CONIN$", "CONOUT$" or the full path
  int fd = -1;
  bool owns_fd = false;  // a file opened here, closed on close; the console streams are not
  bool read_only = false;
  bool eof_mark = false;       // set when a read met the end of the file, cleared by rewind
  bool cut_pending = false;    // the next record written becomes the file's last record
  dev_t device = 0;            // identity of the connected file, or once the unit is
  ino_t inode = 0;             // closed, of the regular file it was connected to
  bool was_connected = false;  // closed after a connection to a regular file
  bool has_input = false;      // `input` has been set up for this connection
  textio::RecordSource input;
  std::vector<char> output;     // record buffer; its first output_used bytes are not yet handed
  std::size_t output_used = 0;  // to the operating system
};

// Unit numbers with a direct slot in the table's index.
inline constexpr int kLowestIndexed = -4;
inline constexpr int kIndexedUnits = 32;

struct UnitTable {
  std::deque<Unit> units;             // deque: references stay valid as units are added
  Unit* index[kIndexedUnits] = {};    // units numbered kLowestIndexed.., by number; found at once
  std::vector<const char*> routines;  // active routines, outermost first, for stack traces
};

// The run's unit table.
extern UnitTable the_unit_table;
inline UnitTable& unit_table() { return the_unit_table; }

// A new, unconnected entry for the unit number.
Unit& add_unit(int number);

// The unit with this number, connecting the console units on first use;
// nullptr when a file unit is not connected.
Unit* find_unit_in_table(int number);

// As find_unit_in_table, at once for a unit already in the index.
inline Unit* find_unit(int number) {
  const int slot = number - kLowestIndexed;
  if (slot >= 0 && slot < kIndexedUnits && the_unit_table.index[slot]) {
    Unit* unit = the_unit_table.index[slot];
    return unit->connected ? unit : nullptr;
  }
  return find_unit_in_table(number);
}

// Hands the unit's pending output to the operating system. Returns 0 or
// errno; EINTR when an interrupt cut short the wait for a pipe's reader.
int flush_unit(Unit& unit);

}  // namespace runtime
