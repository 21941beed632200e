#include "textio/record_source.h"

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

namespace textio {
namespace {

constexpr std::size_t kInitialBuffer = std::size_t{1} << 20;
constexpr std::size_t kSmallestBuffer = std::size_t{4} << 10;

// Reads more bytes after `filled`, first dropping the records already taken
// (unless every byte must be kept) and doubling the buffer when it is full.
// Returns the byte count read, 0 at end of data, -1 on failure.
long fill(RecordSource& source) {
  if (source.fd < 0) return 0;
  if (!source.keep_all && source.next > 0) {
    std::memmove(source.buffer.data(), source.buffer.data() + source.next,
                 source.filled - source.next);
    source.filled -= source.next;
    source.next = 0;
  }
  if (source.buffer.size() < source.first_size) source.buffer.resize(source.first_size);
  if (source.filled == source.buffer.size()) source.buffer.resize(2 * source.buffer.size());
  for (;;) {
    // The hook sees a signal noted before the read, or while it waited,
    // before anything more is taken (the wait may also have ended with data
    // or the end of the stream).
    if (source.at_read) source.at_read();
    const ssize_t n = ::read(source.fd, source.buffer.data() + source.filled,
                             source.buffer.size() - source.filled);
    if (source.at_read) source.at_read();
    if (n >= 0) {
      source.filled += static_cast<std::size_t>(n);
      if (n == 0) source.os_end = true;
      return static_cast<long>(n);
    }
    if (errno != EINTR || (source.abandoned && source.abandoned->load())) {
      source.os_error = errno;
      return -1;
    }
  }
}

std::string_view cut_record(RecordSource& source, std::size_t end, std::size_t after) {
  const char* begin = source.buffer.data() + source.next;
  std::size_t length = end - source.next;
  while (length > 0 && begin[length - 1] == '\r') --length;
  source.next = after;
  ++source.records;
  return {begin, length};
}

}  // namespace

RecordSource source_from_descriptor(int fd, bool replay_on_rewind) {
  RecordSource source;
  source.fd = fd;
  source.keep_all = replay_on_rewind && ::lseek(fd, 0, SEEK_CUR) < 0;
  // A small regular file is read whole into a buffer of its size (one byte
  // more, so that the first read leaves room to find the end), not into a
  // full-sized one that would only be cleared.
  source.first_size = kInitialBuffer;
  struct stat file;
  if (::fstat(fd, &file) == 0 && S_ISREG(file.st_mode) &&
      static_cast<std::uint64_t>(file.st_size) < kInitialBuffer)
    source.first_size = std::max(kSmallestBuffer, static_cast<std::size_t>(file.st_size) + 1);
  return source;
}

RecordSource source_from_bytes(std::string_view bytes) {
  RecordSource source;
  source.buffer.assign(bytes.begin(), bytes.end());
  source.filled = bytes.size();
  source.os_end = true;
  source.keep_all = true;
  return source;
}

RecordStatus next_record(RecordSource& source, std::string_view& record) {
  std::size_t searched = source.next;
  // A short record's line feed is found in its first 32 bytes, without a
  // call.
  if (source.filled - searched >= 32) {
    const char* const start = source.buffer.data() + searched;
    const __m128i line_feed = _mm_set1_epi8('\n');
    const auto flags = [&](std::size_t at) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + at));
      return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, line_feed)));
    };
    const std::uint32_t line_feeds = flags(0) | (flags(16) << 16);
    if (line_feeds != 0) {
      const std::size_t at = searched + static_cast<std::size_t>(std::countr_zero(line_feeds));
      record = cut_record(source, at, at + 1);
      return RecordStatus::Record;
    }
    searched += 32;
  }
  for (;;) {
    const char* base = source.buffer.data();
    const void* lf = searched < source.filled
                         ? std::memchr(base + searched, '\n', source.filled - searched)
                         : nullptr;
    if (lf) {
      const auto at = static_cast<std::size_t>(static_cast<const char*>(lf) - base);
      record = cut_record(source, at, at + 1);
      return RecordStatus::Record;
    }
    if (source.os_end) {
      if (source.next == source.filled) return RecordStatus::End;
      record = cut_record(source, source.filled, source.filled);
      return RecordStatus::Record;
    }
    const std::size_t scanned = source.filled - source.next;
    if (fill(source) < 0) return RecordStatus::Failed;
    searched = source.next + scanned;
  }
}

bool source_at_end(RecordSource& source) {
  while (source.next == source.filled) {
    if (source.os_end) return true;
    if (fill(source) <= 0) return source.os_end;
  }
  return false;
}

bool rewind_source(RecordSource& source) {
  if (source.keep_all) {
    source.next = 0;
    source.records = 0;
    return true;
  }
  if (::lseek(source.fd, 0, SEEK_SET) < 0) return false;
  source.next = 0;
  source.records = 0;
  source.filled = 0;
  source.os_end = false;
  return true;
}

}  // namespace textio
