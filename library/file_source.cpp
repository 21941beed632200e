#include "library/file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "library/failure_messages.h"

namespace fuelcalc {

FileSource::FileSource(const std::filesystem::path& file, bool replay_on_rewind) {
  fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat opened;
  if (fd_ >= 0 && ::fstat(fd_, &opened) == 0 && S_ISDIR(opened.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    errno = EISDIR;
  }
  if (fd_ < 0) throw open_failure(file.string(), "reading", errno);
  source = textio::source_from_descriptor(fd_, replay_on_rewind);
}

FileSource::~FileSource() { ::close(fd_); }

}  // namespace fuelcalc
