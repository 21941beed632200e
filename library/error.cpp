#include "fuelcalc/error.hpp"

#include <utility>

namespace fuelcalc {

Error::Error(ErrorKind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

Error& Error::with_code(int code, int ierr) noexcept {
  code_ = code;
  ierr_ = ierr;
  return *this;
}

Error& Error::with_index(std::size_t index) noexcept {
  index_ = index;
  return *this;
}

Error& Error::with_line(std::size_t line) noexcept {
  line_ = line;
  return *this;
}

Error& Error::with_os_error(int os_error) noexcept {
  os_error_ = os_error;
  return *this;
}

}  // namespace fuelcalc
