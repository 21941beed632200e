#pragma once
// A file opened for reading by the program's rules and cut into records.
// Internal to the library.
#include <filesystem>

#include "textio/record_source.h"

namespace fuelcalc {

class FileSource {
 public:
  // Opens the file for reading (a folder is no file: EISDIR); throws Error of
  // kind open. replay_on_rewind keeps what a stream that cannot seek gives,
  // so that it can be read twice.
  FileSource(const std::filesystem::path& file, bool replay_on_rewind);
  ~FileSource();
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  textio::RecordSource source;

 private:
  int fd_ = -1;
};

}  // namespace fuelcalc
