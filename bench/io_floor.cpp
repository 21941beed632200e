// io_floor IN [OUT]: the input/output floor the throughput of fuelcalc is
// measured against. It does the least work a program of the same shape can
// do with the standard library alone: the input is read in 4 MiB blocks,
// the first two numbers of every line after the first are converted with
// std::from_chars, a stand-in value is formed from them, and the three are
// written with std::to_chars (fixed, 2, 3 and 3 decimals, tab-separated,
// CR LF) into a 4 MiB block that goes out whenever it is nearly full.
// Blank lines are passed over; OUT defaults to standard output.
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 22;
constexpr std::size_t kLineRoom = 128;  // one result line is far shorter

[[noreturn]] void fail(const char* what, long line) {
  if (line < 0)
    std::perror(what);
  else
    std::fprintf(stderr, "io_floor: %s at line %ld\n", what, line);
  std::exit(1);
}

void write_whole(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t written = ::write(fd, p, n);
    if (written < 0) fail("write", -1);
    p += written;
    n -= static_cast<std::size_t>(written);
  }
}

// Converts one line (without its line end) into a result line at out.
char* convert_line(const char* p, const char* end, char* out, char* out_end, long line) {
  double a = 0, b = 0;
  const auto first = std::from_chars(p, end, a);
  if (first.ec != std::errc()) fail("bad first number", line);
  p = first.ptr;
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  const auto second = std::from_chars(p, end, b);
  if (second.ec != std::errc()) fail("bad second number", line);
  const double c = a * 0.01 + b * 0.5;
  out = std::to_chars(out, out_end, a, std::chars_format::fixed, 2).ptr;
  *out++ = '\t';
  out = std::to_chars(out, out_end, b, std::chars_format::fixed, 3).ptr;
  *out++ = '\t';
  out = std::to_chars(out, out_end, c, std::chars_format::fixed, 3).ptr;
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: io_floor IN [OUT]\n", stderr);
    return 2;
  }
  const int in = ::open(argv[1], O_RDONLY);
  if (in < 0) fail("open input", -1);
  const int out = argc > 2 ? ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644) : 1;
  if (out < 0) fail("open output", -1);

  std::vector<char> input(kBlock), output(kBlock);
  std::size_t held = 0, used = 0;
  long line = 0;
  for (bool at_end = false; !at_end;) {
    const ssize_t got = ::read(in, input.data() + held, kBlock - held);
    if (got < 0) fail("read", -1);
    at_end = got == 0;
    held += static_cast<std::size_t>(got);
    const char* p = input.data();
    const char* const end = p + held;
    while (p < end) {
      const char* feed =
          static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (!feed) {
        if (!at_end) break;  // the rest of this line comes with the next block
        feed = end;
      }
      const char* stop = feed;
      if (stop > p && stop[-1] == '\r') --stop;
      ++line;
      if (line > 1 && stop > p) {
        char* const o = convert_line(p, stop, output.data() + used, output.data() + kBlock, line);
        used = static_cast<std::size_t>(o - output.data());
        if (used > kBlock - kLineRoom) {
          write_whole(out, output.data(), used);
          used = 0;
        }
      }
      p = feed + (feed < end);
    }
    const auto rest = static_cast<std::size_t>(end - p);
    if (rest == kBlock) fail("line longer than a block", line);
    std::memmove(input.data(), p, rest);
    held = rest;
  }
  write_whole(out, output.data(), used);
  if (out != 1) ::close(out);
  ::close(in);
  return 0;
}
