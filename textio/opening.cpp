#include "textio/opening.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace textio {

OpenedFile open_for_reading(const char* path) {
  OpenedFile opened{::open(path, O_RDONLY | O_CLOEXEC), errno};
  struct stat status;
  if (opened.fd >= 0 && ::fstat(opened.fd, &status) == 0 && S_ISDIR(status.st_mode)) {
    ::close(opened.fd);
    opened = {-1, EISDIR};
  }
  if (opened.fd >= 0) opened.error = 0;
  return opened;
}

OpenRefusal open_refusal(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return {29, "file not found"};
    case EACCES:
    case EPERM:
    case EROFS: return {9, "permission to access file denied"};
    case ENODEV:
    case ENXIO: return {42, "no such device"};
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL: return {43, "file name specification error"};
    default: return {30, "open failure"};
  }
}

}  // namespace textio
