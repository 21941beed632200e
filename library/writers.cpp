// Writers of the program's map and input files. Every number is written as
// the shortest text that the reading rules turn back into the same double.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>
#include <system_error>

#include "library/writers.h"

#include "fuelcalc/points.hpp"
#include "library/failure_messages.h"

namespace fuelcalc {
namespace {

constexpr std::size_t kFlushAt = std::size_t{1} << 16;

// Where a written file goes: a regular file (or a name not there yet) is
// written to a new file beside it that replaces it on close, so that a write
// that fails partway (a full disk, a file size limit) leaves the old file
// whole; a symbolic link is followed, and its target replaced. Anything else
// (a FIFO, a terminal, /dev/stdout), and a file in a folder that takes no new
// file, is written in place.
struct Target {
  std::filesystem::path file;  // the file replaced, links resolved
  bool replace = false;
  mode_t mode = 0666;  // an existing file's permissions; a new one's are 0666 less the umask
  bool existed = false;
};

Target target_of(const std::filesystem::path& file) {
  Target target{file};
  for (int links = 0; links < 40; ++links) {
    struct stat st;
    if (::lstat(target.file.c_str(), &st) != 0) {
      target.replace = errno == ENOENT;
      return target;
    }
    if (!S_ISLNK(st.st_mode)) {
      target.replace = S_ISREG(st.st_mode);
      target.existed = true;
      target.mode = st.st_mode & 07777;
      return target;
    }
    const std::filesystem::path link = target.file;
    std::error_code error;
    const std::filesystem::path to = std::filesystem::read_symlink(link, error);
    if (error) return target;
    target.file = to.is_absolute() ? to : link.parent_path() / to;
  }
  return target;  // a loop of links: the open says so
}

class Writer {
 public:
  explicit Writer(const std::filesystem::path& file)
      : name_(file.string()), target_(target_of(file)) {
    const auto in_place = [&] {
      fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      if (fd_ < 0) throw open_failure(name_, "writing", errno);
    };
    if (!target_.replace) {
      in_place();
      return;
    }
    // A file the caller may not write stays as it is, as an open would leave it.
    if (target_.existed && ::faccessat(AT_FDCWD, target_.file.c_str(), W_OK, AT_EACCESS) != 0)
      throw open_failure(name_, "writing", errno);
    // A name of its own beside the target (cut so that it stays a valid name).
    std::random_device entropy;
    const std::string base = target_.file.filename().string().substr(0, 200);
    for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
      std::filesystem::path temporary = target_.file;
      temporary.replace_filename("." + base + "." + std::to_string(entropy()) + ".tmp");
      fd_ = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0)
        temporary_ = std::move(temporary);
      else if (errno != EEXIST)
        break;
    }
    // A folder that takes no new file may still hold a file the caller may
    // write: that is written in place, as it always could be.
    if (fd_ < 0 && (errno == EACCES || errno == EPERM)) {
      in_place();
      return;
    }
    if (fd_ < 0) throw open_failure(name_, "writing", errno);
    if (target_.existed && ::fchmod(fd_, target_.mode) != 0) {
      const int error = errno;
      ::close(fd_);
      ::unlink(temporary_.c_str());
      throw open_failure(name_, "writing", error);
    }
  }
  ~Writer() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
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
    if (!temporary_.empty() && ::fsync(fd_) != 0) failed(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) failed(errno);
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), target_.file.c_str()) != 0) failed(errno);
    temporary_.clear();
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
  Target target_;
  std::filesystem::path temporary_;  // written in place of the target until close
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
