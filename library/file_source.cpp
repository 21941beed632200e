#include "library/file_source.h"

#include <unistd.h>

#include "library/failure_messages.h"
#include "textio/opening.h"

namespace fuelcalc {

FileSource::FileSource(const std::filesystem::path& file, bool replay_on_rewind) {
  const textio::OpenedFile opened = textio::open_for_reading(file.c_str());
  fd_ = opened.fd;
  if (fd_ < 0) throw open_failure(file.string(), "reading", opened.error);
  source = textio::source_from_descriptor(fd_, replay_on_rewind);
}

FileSource::~FileSource() { ::close(fd_); }

}  // namespace fuelcalc
