#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <csignal>
#include <cstdio>
#include <grp.h>
#include <initializer_list>

#include "textio/endings.h"
#include "textio/units.h"

namespace testing_support {
namespace {

// In a forked child: makes `streams` its standard input, output and error,
// closes them and `others`, and runs program with args.
[[noreturn]] void exec_with_streams(const std::string& program, const std::vector<std::string>& args,
                                    std::initializer_list<int> streams,
                                    std::initializer_list<int> others) {
  int target = 0;
  for (const int fd : streams) ::dup2(fd, target++);
  // A descriptor may itself be 0, 1 or 2 when the test runs without them.
  for (const auto& fds : {streams, others})
    for (const int fd : fds)
      if (fd > 2) ::close(fd);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

}  // namespace

TempDir::TempDir() {
  char pattern[] = "/tmp/fuelcalc-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  path = pattern;
  ::chmod(path.c_str(), 0777);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool file_exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const RunOptions& options) {
  std::signal(SIGPIPE, SIG_IGN);  // a child that exits early must not kill the test
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (::pipe(in_pipe) || ::pipe(out_pipe) || ::pipe(err_pipe)) throw std::runtime_error("pipe");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) ::_exit(126);
    if (options.drop_privileges) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
        ::_exit(125);
    }
    exec_with_streams(program, args, {in_pipe[0], out_pipe[1], err_pipe[1]},
                      {in_pipe[1], out_pipe[0], err_pipe[0]});
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  ::fcntl(in_pipe[1], F_SETFL, O_NONBLOCK);

  RunResult result;
  std::size_t written = 0;
  int in_fd = in_pipe[1];
  if (options.input.empty()) {
    ::close(in_fd);
    in_fd = -1;
  }
  bool out_open = true, err_open = true;
  char chunk[65536];
  while (out_open || err_open) {
    pollfd fds[3];
    int n = 0;
    if (out_open) fds[n++] = {out_pipe[0], POLLIN, 0};
    if (err_open) fds[n++] = {err_pipe[0], POLLIN, 0};
    if (in_fd >= 0) fds[n++] = {in_fd, POLLOUT, 0};
    if (::poll(fds, static_cast<nfds_t>(n), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < n; ++i) {
      if (!fds[i].revents) continue;
      if (fds[i].fd == in_fd) {
        const ssize_t w = ::write(in_fd, options.input.data() + written,
                                  options.input.size() - written);
        if (w > 0) written += static_cast<std::size_t>(w);
        if (w < 0 || written == options.input.size()) {
          ::close(in_fd);
          in_fd = -1;
        }
        continue;
      }
      const ssize_t r = ::read(fds[i].fd, chunk, sizeof chunk);
      if (r <= 0) {
        if (fds[i].fd == out_pipe[0]) out_open = false; else err_open = false;
        continue;
      }
      (fds[i].fd == out_pipe[0] ? result.out : result.err).append(chunk, static_cast<std::size_t>(r));
    }
  }
  if (in_fd >= 0) ::close(in_fd);
  ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.peak_kib = usage.ru_maxrss;
  return result;
}

Ending capture_ending(const std::function<void()>& body) {
  TempDir dir;
  const std::string path = dir.file("stderr");
  std::FILE* capture = std::fopen(path.c_str(), "wb");
  const int saved = ::dup(2);
  ::dup2(::fileno(capture), 2);
  Ending ending;
  try {
    body();
  } catch (const textio::RunEnd& end) {
    ending.status = end.status;
  }
  textio::close_all_units();
  ::dup2(saved, 2);
  ::close(saved);
  std::fclose(capture);
  ending.err = read_file(path);
  return ending;
}

RunResult run_fuelcalc(const std::vector<std::string>& args, const RunOptions& options) {
  return run_program(FUELCALC_BINARY, args, options);
}

std::string fuelcalc_binary() { return FUELCALC_BINARY; }

std::string source_file(const std::string& relative) {
  return std::string(FUELCALC_SOURCE_DIR) + "/" + relative;
}

Started start_fuelcalc(const std::vector<std::string>& args, const std::string& out_path,
                       const std::string& err_path) {
  std::signal(SIGPIPE, SIG_IGN);
  int in_pipe[2];
  if (::pipe(in_pipe)) throw std::runtime_error("pipe");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) ::_exit(126);
    exec_with_streams(FUELCALC_BINARY, args, {in_pipe[0], out, err}, {in_pipe[1]});
  }
  ::close(in_pipe[0]);
  return Started{pid, in_pipe[1]};
}

int wait_for(Started& run) {
  int status = 0;
  ::waitpid(run.pid, &status, 0);
  if (run.input >= 0) ::close(run.input);
  run.input = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace testing_support
