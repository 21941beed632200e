// Writers of the program's map and input files. Every number is written as
// the shortest text that the reading rules turn back into the same double.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "library/writers.h"

#include "fuelcalc/points.hpp"
#include "library/failure_messages.h"

namespace fuelcalc {
namespace {

constexpr std::size_t kFlushAt = std::size_t{1} << 16;

class Writer {
 public:
  explicit Writer(const std::filesystem::path& file) : name_(file.string()) {
    fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) throw open_failure(name_, "writing", errno);
  }
  ~Writer() {
    if (fd_ >= 0) ::close(fd_);
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void bytes(std::string_view text) {
    buffer_ += text;
    if (buffer_.size() >= kFlushAt) flush();
  }
  void numbers(std::initializer_list<double> values) {
    const char* separator = "";
    for (const double v : values) {
      buffer_ += separator;
      buffer_ += number_text(v);
      separator = " ";
    }
    buffer_ += '\n';
    if (buffer_.size() >= kFlushAt) flush();
  }
  void close() {
    flush();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) failed(errno);
  }

 private:
  void flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
      const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) failed(n < 0 ? errno : EIO);
      done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
  }
  [[noreturn]] void failed(int os_error) {
    throw std::move(Error(ErrorKind::write, "cannot write '" + name_ + "': " + os_text(os_error))
                        .with_os_error(os_error));
  }

  std::string name_;
  int fd_ = -1;
  std::string buffer_;
};

}  // namespace

void write_map(const std::filesystem::path& file, std::span<const double> speed,
               std::span<const double> torque, std::span<const double> fuel) {
  write_map(file, kMapHeader, speed, torque, fuel);
}

void write_map(const std::filesystem::path& file, std::string_view header,
               std::span<const double> speed, std::span<const double> torque,
               std::span<const double> fuel) {
  require_same_lengths({"speed", "torque", "fuel"}, {speed.size(), torque.size(), fuel.size()});
  Writer out(file);
  out.bytes(header);
  for (std::size_t i = 0; i < speed.size(); ++i) out.numbers({speed[i], torque[i], fuel[i]});
  out.close();
}

void write_points(const std::filesystem::path& file, std::span<const double> speed,
                  std::span<const double> torque) {
  require_same_lengths({"speed", "torque"}, {speed.size(), torque.size()});
  Writer out(file);
  out.bytes("SPEED TORQUE\n");
  for (std::size_t i = 0; i < speed.size(); ++i) out.numbers({speed[i], torque[i]});
  out.close();
}

}  // namespace fuelcalc
