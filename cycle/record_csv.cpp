#include "record_csv.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "fuelcalc/error.hpp"
#include "fuelcalc/number_text.hpp"

namespace cycle {
namespace {

// A cell that holds a comma, a quote or a line end is quoted, its quotes doubled.
void append_cell(std::string& out, std::string_view cell) {
  if (cell.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += cell;
    return;
  }
  out += '"';
  for (char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

fuelcalc::Error failure(const std::string& path, const char* what, int error) {
  return std::move(fuelcalc::Error(fuelcalc::ErrorKind::write,
                                   path + ": cannot " + what + ": " + std::strerror(error))
                       .with_os_error(error));
}

}  // namespace

RecordCsv::RecordCsv(std::string path, const std::vector<std::string>& header)
    : path_(std::move(path)) {
  const std::filesystem::path target(path_);
  temporary_ = (target.parent_path() / (std::string(".").append(target.filename().string()).append(".XXXXXX"))).string();
  const int fd = mkstemp(temporary_.data());
  if (fd < 0) {
    const int error = errno;
    temporary_.clear();
    throw fuelcalc::Error(fuelcalc::ErrorKind::open,
                          path_ + ": cannot create a file beside it: " + std::strerror(error))
        .with_os_error(error);
  }
  file_ = fdopen(fd, "wb");
  for (const std::string& cell : header) {
    append_cell(buffer_, cell);
    buffer_ += ',';
  }
  buffer_ += "fuel [g/h],where\n";
}

RecordCsv::~RecordCsv() {
  if (file_) std::fclose(file_);
  if (!temporary_.empty()) std::remove(temporary_.c_str());
}

void RecordCsv::write(std::span<const std::string> cells, std::size_t width,
                      std::span<const double> fuel, std::span<const fuelcalc::Where> where) {
  for (std::size_t i = 0; i < fuel.size(); ++i) {
    for (std::size_t k = 0; k < width; ++k) {
      append_cell(buffer_, cells[i * width + k]);
      buffer_ += ',';
    }
    buffer_ += fuelcalc::number_text(fuel[i]);
    buffer_ += ',';
    buffer_ += fuelcalc::where_name(where[i]);
    buffer_ += '\n';
  }
  if (buffer_.size() >= (1u << 20)) flush();
}

void RecordCsv::flush() {
  if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
    failed_ = true;
  buffer_.clear();
}

void RecordCsv::commit() {
  flush();
  const bool flushed = std::fflush(file_) == 0 && !failed_;
  const int error = errno;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed) throw failure(path_, "write", flushed ? errno : error);
  // mkstemp creates the file for its owner alone; the output gets the usual mode.
  const mode_t mask = umask(0);
  umask(mask);
  chmod(temporary_.c_str(), 0666 & ~mask);
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) throw failure(path_, "rename", errno);
  temporary_.clear();
}

}  // namespace cycle
