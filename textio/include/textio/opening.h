#pragma once
// Opening a file to read, and the program's classes of an open the
// operating system refuses.
#include <string_view>

namespace textio {

struct OpenedFile {
  int fd = -1;    // -1 when refused
  int error = 0;  // errno of the refusal
};

// Opens the file read-only (closed on exec). A folder is no file: it is
// refused with EISDIR.
OpenedFile open_for_reading(const char* path);

// An open refused by the operating system as the program reports it: the
// run-time message number and its words (29 for a missing file, 9 for a
// refused permission, 42 for a missing device, 43 for a name the system
// cannot take, or 30 for any other errno, which the program reports with the
// system's text).
struct OpenRefusal {
  int number;
  std::string_view words;
};
OpenRefusal open_refusal(int error);

}  // namespace textio
