#pragma once
// The one exception type of the library: every failure is an Error that says
// what went wrong in plain words and carries the details a caller may act on.
#include <cstddef>
#include <exception>
#include <optional>
#include <string>

namespace fuelcalc {

enum class ErrorKind {
  open,              // a file could not be opened (os_error() holds errno)
  read,              // a file could not be read: a value that is not a number, an OS read failure
  interpolation,     // the monotone interpolation refused the data (code() and ierr())
  invalid_argument,  // arrays of different lengths, empty arrays to build a map from, ...
  outside,           // a point outside the measured map under Outside::error
  write,             // a file could not be written (os_error() holds errno)
};

class Error : public std::exception {
 public:
  // An error of the given kind whose what() is message.
  Error(ErrorKind kind, std::string message);

  // What kind of failure this is.
  ErrorKind kind() const noexcept { return kind_; }
  // The interpolation call that failed (1 to 8, the program's call-site code), 0 if none.
  int code() const noexcept { return code_; }
  // The interpolation status of that call (negative), 0 if none.
  int ierr() const noexcept { return ierr_; }
  // The first failing point of an array (0-based), or the ordinal of the
  // failed read of a file (1-based, as the program counts it).
  std::optional<std::size_t> index() const noexcept { return index_; }
  // The line of a file where a read failed, or for a map from a file that
  // gives no grid the first line of the points involved (1-based), where it
  // is known.
  std::optional<std::size_t> line() const noexcept { return line_; }
  // The operating system's error number of an open or read failure, 0 if none.
  int os_error() const noexcept { return os_error_; }
  // The plain English message naming the cause.
  const char* what() const noexcept override { return message_.c_str(); }

  // Setters of the details, for the code that raises the error; each returns *this.
  Error& with_code(int code, int ierr) noexcept;
  Error& with_index(std::size_t index) noexcept;
  Error& with_line(std::size_t line) noexcept;
  Error& with_os_error(int os_error) noexcept;

 private:
  ErrorKind kind_;
  std::string message_;
  int code_ = 0;
  int ierr_ = 0;
  std::optional<std::size_t> index_;
  std::optional<std::size_t> line_;
  int os_error_ = 0;
};

}  // namespace fuelcalc
