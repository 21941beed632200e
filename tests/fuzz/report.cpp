#include "report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzzing {
namespace {

// Taken while static objects are initialised, before libFuzzer's main can
// redirect descriptor 2.
const int kReportFd = [] {
  const int fd = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
  return fd >= 0 ? fd : 2;
}();

}  // namespace

void fault(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  ::vdprintf(kReportFd, format, args);
  va_end(args);
  ::dprintf(kReportFd, "\n");
  std::abort();
}

void setup_failure(const char* what) {
  ::dprintf(kReportFd, "fuzzing set-up failed: %s: %s\n", what, std::strerror(errno));
  std::exit(2);
}

}  // namespace fuzzing
