#include "file_blocks.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
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

struct LinesBlock {
  std::string text;            // whole lines, each with its line feed
  std::size_t first_line = 0;  // the 1-based line of the first of them
};

// The block's lines that come after line `after` (the header's end), read
// in pieces from the block's start: a line begun before it belongs to the
// block before.
LinesBlock lines_block(File& file, const BlockRange& range, std::size_t after) {
  std::vector<char> piece(kPiece);
  LinesBlock block;
  block.first_line = range.first_line;
  std::uint64_t offset = range.start;
  bool skipping = false;  // the rest of a line begun before start
  if (offset > 0) {
    char before = '\n';
    if (file.read_at(&before, 1, offset - 1) == 0) return {};
    skipping = before != '\n';
  }
  bool taking = false;     // lines are being taken into the text
  bool line_start = true;  // p is at the start of a line
  while (true) {
    const std::size_t got = file.read_at(piece.data(), kPiece, offset);
    if (got == 0) break;
    const char* p = piece.data();
    const char* const stop = p + got;
    while (p < stop) {
      if (line_start && !skipping) {
        if (offset + static_cast<std::uint64_t>(p - piece.data()) >= range.end) return block;
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

}  // namespace

std::vector<std::size_t> lines_at(const std::filesystem::path& path,
                                  std::span<const std::uint64_t> offsets) {
  File file(path);
  std::vector<char> piece(kPiece);
  std::vector<std::size_t> lines;
  lines.reserve(offsets.size());
  std::size_t feeds = 0;
  std::uint64_t offset = 0;
  for (const std::uint64_t at : offsets) {
    while (offset < at) {
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, at - offset));
      const std::size_t got = file.read_at(piece.data(), want, offset);
      if (got == 0) break;
      feeds += static_cast<std::size_t>(std::count(piece.data(), piece.data() + got, '\n'));
      offset += got;
    }
    lines.push_back(feeds + 1);
  }
  return lines;
}

fuelcalc::TableReader block_reader(const std::filesystem::path& path,
                                   fuelcalc::TableOptions options,
                                   const std::optional<BlockRange>& range) {
  fuelcalc::TableReader reader(path, std::move(options));
  if (range) {
    const std::size_t after = std::max(reader.header_line(), reader.unit_line().value_or(0));
    File file(path);
    const LinesBlock block = lines_block(file, *range, after);
    reader.read_rows_of(block.text, std::max(block.first_line, after + 1));
  }
  return reader;
}

}  // namespace fuelcalc_python
