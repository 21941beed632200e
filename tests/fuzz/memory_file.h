#pragma once
// Files held in memory for the fuzz targets. The program opens one by its
// /proc/self/fd path like any other file; it vanishes with its descriptor, so
// an execution leaves nothing behind in the file system, even when it crashes.
#include <string>
#include <string_view>

namespace fuzzing {

struct MemoryFile {
  explicit MemoryFile(std::string_view bytes = {});
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // The file's bytes as they are now, whatever was written through other
  // descriptors of it.
  std::string contents() const;

  int fd = -1;
  std::string path;  // "/proc/self/fd/N"
};

}  // namespace fuzzing
