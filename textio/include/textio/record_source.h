#pragma once
// Cuts a byte stream into records (lines) for the list-directed reader.
//
// A record ends at a line feed; the line feed and every carriage return just
// before it are not part of the record. A last line without a line feed is a
// record too. Records have no length limit: the buffer doubles as needed.
#include <atomic>
#include <cstddef>
#include <string_view>
#include <vector>

namespace textio {

struct RecordSource {
  int fd = -1;               // -1: the bytes were handed over whole (no descriptor)
  std::vector<char> buffer;  // bytes read and not yet dropped
  std::size_t next = 0;      // offset in buffer of the first byte after the last record taken
  std::size_t filled = 0;    // bytes of buffer that hold data
  bool os_end = false;       // the descriptor has reported end of data
  bool keep_all = false;     // keep every byte read, so rewind can replay a stream that cannot seek
  int os_error = 0;          // errno of the last failed read
  std::size_t first_size = 0;  // bytes the buffer gets before the first read
  std::size_t records =
      0;  // records taken since the start (or the last rewind): the line of the last one
  // Set by another thread that no longer wants what this source reads: a
  // read interrupted by a signal then fails (EINTR) instead of being tried
  // again. nullptr: never.
  const std::atomic<bool>* abandoned = nullptr;
  // Called before and after every read of the descriptor, also one retried
  // after a signal: the program's run-time ends the run there when a signal
  // has been noted (it may throw). nullptr: nothing.
  void (*at_read)() = nullptr;
};

enum class RecordStatus { Record, End, Failed };

// A source over a descriptor. keep_all is set when the descriptor cannot seek
// and replay_on_rewind is asked for.
RecordSource source_from_descriptor(int fd, bool replay_on_rewind);

// A source over bytes held in memory (tests, fuzzing).
RecordSource source_from_bytes(std::string_view bytes);

// Takes the next record. The view stays valid until the next call on the source.
// Failed means the operating system refused the read (errno in os_error).
RecordStatus next_record(RecordSource& source, std::string_view& record);

// True when the position after the last record taken is at or beyond the end
// of the data. May read ahead (blocking on a pipe) to find out.
bool source_at_end(RecordSource& source);

// Positions the source before its first record again: seeks the descriptor,
// or replays the kept bytes. Returns false (errno set) when neither is possible.
bool rewind_source(RecordSource& source);

}  // namespace textio
