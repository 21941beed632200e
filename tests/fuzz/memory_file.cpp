#include "memory_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "report.h"

namespace fuzzing {

MemoryFile::MemoryFile(std::string_view bytes) {
  fd = ::memfd_create("fuzz", MFD_CLOEXEC);
  if (fd < 0) setup_failure("memfd_create");
  path = "/proc/self/fd/" + std::to_string(fd);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) setup_failure("write to a memory file");
    done += static_cast<std::size_t>(n);
  }
}

MemoryFile::~MemoryFile() { ::close(fd); }

std::string MemoryFile::contents() const {
  std::string bytes;
  char chunk[65536];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, chunk, sizeof chunk, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) setup_failure("read from a memory file");
    if (n == 0) return bytes;
    bytes.append(chunk, static_cast<std::size_t>(n));
    at += n;
  }
}

}  // namespace fuzzing
