#include "test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "runtime/endings.h"
#include "runtime/units.h"

namespace testing_support {
namespace {

// A forked child that cannot become the program writes the step that failed
// and its errno to a close-on-exec pipe before it exits; an empty pipe at
// its end means the program started.
enum LaunchStep { kEnterFolder, kDropPrivileges, kOpenStreams, kExec };
constexpr const char* kLaunchStepNames[] = {"entering its folder", "dropping privileges",
                                            "opening its streams", "exec"};
struct LaunchFailure {
  int step;
  int error;
};

// Both ends close on exec; the child's end is moved above 2 so that setting
// up the standard streams cannot replace it.
struct LaunchReport {
  int read_end = -1, write_end = -1;
  LaunchReport() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC)) throw std::runtime_error("pipe");
    read_end = fds[0];
    write_end = ::fcntl(fds[1], F_DUPFD_CLOEXEC, 3);
    ::close(fds[1]);
  }
};

[[noreturn]] void fail_launch(const LaunchReport& report, LaunchStep step) {
  const LaunchFailure failure{step, errno};
  [[maybe_unused]] const ssize_t sent = ::write(report.write_end, &failure, sizeof failure);
  ::_exit(127);
}

// In the parent, once the child is forked: empty when it started the
// program; otherwise the child is reaped and the failure described.
std::string launch_failure(LaunchReport& report, pid_t pid, const std::string& program) {
  ::close(report.write_end);
  LaunchFailure failure{};
  ssize_t got;
  while ((got = ::read(report.read_end, &failure, sizeof failure)) < 0 && errno == EINTR) {
  }
  ::close(report.read_end);
  if (got != static_cast<ssize_t>(sizeof failure)) return "";
  ::waitpid(pid, nullptr, 0);
  return "cannot start " + program + ": " + kLaunchStepNames[failure.step] +
         " failed: " + std::strerror(failure.error);
}

// In a forked child: makes `streams` its standard input, output and error,
// closes them and `others`, and runs program with args.
[[noreturn]] void exec_with_streams(const std::string& program,
                                    const std::vector<std::string>& args,
                                    std::initializer_list<int> streams,
                                    std::initializer_list<int> others, const LaunchReport& report) {
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
  fail_launch(report, kExec);
}

bool drop_privileges() {
  return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

// The copy of the binary that uid 65534 runs: a folder it may enter but not
// write, removed when the test program ends.
struct UnprivilegedCopy {
  UnprivilegedCopy() {
    ::chmod(dir.path.c_str(), 0755);
    std::filesystem::copy_file(FUELCALC_BINARY, path);
    ::chmod(path.c_str(), 0755);
  }
  TempDir dir;
  std::string path = dir.file("fuelcalc");
};

const std::string& unprivileged_binary() {
  static const UnprivilegedCopy copy;
  return copy.path;
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
  LaunchReport report;
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0)
      fail_launch(report, kEnterFolder);
    if (options.drop_privileges && !drop_privileges()) fail_launch(report, kDropPrivileges);
    exec_with_streams(program, args, {in_pipe[0], out_pipe[1], err_pipe[1]},
                      {in_pipe[1], out_pipe[0], err_pipe[0]}, report);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (const std::string failure = launch_failure(report, pid, program); !failure.empty()) {
    for (const int fd : {in_pipe[1], out_pipe[0], err_pipe[0]}) ::close(fd);
    throw std::runtime_error(failure);
  }
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
        const ssize_t w =
            ::write(in_fd, options.input.data() + written, options.input.size() - written);
        if (w > 0) written += static_cast<std::size_t>(w);
        if (w < 0 || written == options.input.size()) {
          ::close(in_fd);
          in_fd = -1;
        }
        continue;
      }
      const ssize_t r = ::read(fds[i].fd, chunk, sizeof chunk);
      if (r <= 0) {
        if (fds[i].fd == out_pipe[0])
          out_open = false;
        else
          err_open = false;
        continue;
      }
      (fds[i].fd == out_pipe[0] ? result.out : result.err)
          .append(chunk, static_cast<std::size_t>(r));
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
  } catch (const runtime::RunEnd& end) {
    ending.status = end.status;
  }
  runtime::close_all_units();
  ::dup2(saved, 2);
  ::close(saved);
  std::fclose(capture);
  ending.err = read_file(path);
  return ending;
}

RunResult run_fuelcalc(const std::vector<std::string>& args, const RunOptions& options) {
  return run_program(options.drop_privileges ? unprivileged_binary() : FUELCALC_BINARY, args,
                     options);
}

std::string fuelcalc_binary() { return FUELCALC_BINARY; }

std::string unprivileged_runs_impossible() {
  if (::geteuid() != 0) return "needs root to drop privileges";
  const std::string& program = unprivileged_binary();
  const TempDir data;
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    const bool reachable = drop_privileges() && ::access(program.c_str(), X_OK) == 0 &&
                           ::access(data.path.c_str(), W_OK | X_OK) == 0;
    ::_exit(reachable ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  return "uid 65534 cannot run " + program + " or write in " + data.path +
         " (/tmp closed to other users or mounted noexec)";
}

Started start_fuelcalc(const std::vector<std::string>& args, const std::string& out_path,
                       const std::string& err_path) {
  std::signal(SIGPIPE, SIG_IGN);
  int in_pipe[2];
  if (::pipe(in_pipe)) throw std::runtime_error("pipe");
  LaunchReport report;
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) fail_launch(report, kOpenStreams);
    exec_with_streams(FUELCALC_BINARY, args, {in_pipe[0], out, err}, {in_pipe[1]}, report);
  }
  ::close(in_pipe[0]);
  if (const std::string failure = launch_failure(report, pid, FUELCALC_BINARY); !failure.empty()) {
    ::close(in_pipe[1]);
    throw std::runtime_error(failure);
  }
  return Started(pid, in_pipe[1]);
}

Started::~Started() {
  if (pid > 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  if (input >= 0) ::close(input);
}

int wait_for(Started& run) {
  int status = 0;
  ::waitpid(run.pid, &status, 0);
  run.pid = -1;
  if (run.input >= 0) ::close(run.input);
  run.input = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int wait_for(Started& run, std::chrono::milliseconds timeout) {
  int status = 0;
  if (!wait_until([&] { return ::waitpid(run.pid, &status, WNOHANG) == run.pid; }, timeout))
    return -1;
  run.pid = -1;
  if (run.input >= 0) ::close(run.input);
  run.input = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// /proc/PID/syscall starts with the number of the call a blocked process
// sleeps in; it reads "running" while the process runs.
bool blocked_in(int pid, long call) {
  // Any thread of the process: the record loop may read on a thread of its own.
  std::error_code error;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    std::ifstream syscall(task.path() / "syscall");
    long number = -1;
    if (syscall >> number && number == call) return true;
  }
  return false;
}

bool blocked_in_read(int pid) { return blocked_in(pid, SYS_read); }

}  // namespace testing_support
