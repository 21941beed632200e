#include "runtime/descriptor_names.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace runtime {
namespace {

// Links followed at most, as the operating system allows in one name.
constexpr int kMaxLinks = 40;

// The folder's full path with every link resolved, or empty.
std::string resolved_folder(const std::string& folder) {
  const std::unique_ptr<char, decltype(&std::free)> path(::realpath(folder.c_str(), nullptr),
                                                         &std::free);
  return path ? std::string(path.get()) : std::string();
}

// The descriptor number a last name component spells (digits only), or -1.
int descriptor_number(std::string_view digits) {
  if (digits.empty() || digits.size() > 9) return -1;
  int number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

int descriptor_named(const std::string& name) {
  // The folders that list this process's descriptors, as /proc/self/fd and
  // /proc/thread-self/fd resolve.
  const std::string process = "/proc/" + std::to_string(::getpid());
  const std::string own_folders[] = {process + "/fd",
                                     process + "/task/" + std::to_string(::gettid()) + "/fd"};
  std::string path = name;
  for (int links = 0; links <= kMaxLinks; ++links) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const std::string_view last =
        std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string resolved = resolved_folder(folder);
    if (resolved.empty()) return -1;
    for (const std::string& own : own_folders)
      if (resolved == own) return descriptor_number(last);

    // Not in such a folder: follow the name if it is a link (/dev/stdout is
    // one to /proc/self/fd/1).
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || length == static_cast<ssize_t>(sizeof target)) return -1;
    const std::string_view link(target, static_cast<std::size_t>(length));
    path = link.starts_with('/') ? std::string(link) : resolved + "/" + std::string(link);
  }
  return -1;
}

}  // namespace runtime
