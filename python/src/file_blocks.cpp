#include "file_blocks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "fuelcalc/error.hpp"

namespace fuelcalc_python {

namespace {

class File {
 public:
  explicit File(const std::filesystem::path& path) : path_(path) {
    do fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) fail(fuelcalc::ErrorKind::open, "cannot be opened");
  }
  ~File() { ::close(fd_); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Up to size bytes at offset; fewer only at the end of the file.
  std::size_t read_at(char* into, std::size_t size, std::uint64_t offset) {
    std::size_t got = 0;
    while (got < size) {
      const ssize_t n = ::pread(fd_, into + got, size - got, static_cast<off_t>(offset + got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) fail(fuelcalc::ErrorKind::read, "cannot be read");
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return got;
  }

 private:
  [[noreturn]] void fail(fuelcalc::ErrorKind kind, const char* what) {
    const int error = errno;
    fuelcalc::Error e(
        kind, "the table file '" + path_.string() + "' " + what + ": " + std::strerror(error));
    e.with_os_error(error);
    throw e;
  }
  std::filesystem::path path_;
  int fd_ = -1;
};

constexpr std::size_t kPiece = std::size_t{1} << 20;

}  // namespace

LinesBlock lines_block(const std::filesystem::path& path, std::uint64_t start, std::uint64_t end,
                       std::size_t after) {
  File file(path);
  std::vector<char> piece(kPiece);
  // The line feeds before start give the first line's number; a line that
  // starts before start belongs to the block before.
  std::size_t feeds = 0;
  bool at_line_start = true;  // the byte at `offset` starts a line
  std::uint64_t offset = 0;
  while (offset < start) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, start - offset));
    const std::size_t got = file.read_at(piece.data(), want, offset);
    if (got == 0) return {};
    feeds += static_cast<std::size_t>(std::count(piece.data(), piece.data() + got, '\n'));
    at_line_start = piece[got - 1] == '\n';
    offset += got;
  }
  LinesBlock block;
  block.first_line = feeds + 1;  // the number of the line at offset (or begun before it)
  // The rest of a line begun before start belongs to the block before.
  bool skipping = !at_line_start;
  bool taking = false;     // lines are being taken into the text
  bool line_start = true;  // p is at the start of a line
  while (true) {
    const std::size_t got = file.read_at(piece.data(), kPiece, offset);
    if (got == 0) break;
    const char* p = piece.data();
    const char* const stop = p + got;
    while (p < stop) {
      if (line_start && !skipping) {
        if (offset + static_cast<std::uint64_t>(p - piece.data()) >= end) return block;
        taking = taking || block.first_line > after;
      }
      const auto* feed =
          static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
      const char* const next = feed ? feed + 1 : stop;
      if (taking) block.text.append(p, next);
      line_start = feed != nullptr;
      if (feed && !taking) {
        skipping = false;
        ++block.first_line;  // a line left out: the next one is the first
      }
      p = next;
    }
    offset += got;
  }
  return block;
}

}  // namespace fuelcalc_python
