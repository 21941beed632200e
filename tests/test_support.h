#pragma once
// Helpers shared by the tests: temporary folders, whole-file I/O and running
// the real fuelcalc binary with captured streams.
#include <bit>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace testing_support {

// The sanitizer build runs code many times slower; random tests there run a
// fraction of their count.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A double's bits: the tests of exact results compare these, so that NaN
// equals NaN and -0.0 differs from 0.0.
inline std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// The bundled examples (examples/).
inline const std::string kExampleMap = FUELCALC_SOURCE_DIR "/examples/torque_map.dat";
inline const std::string kExampleCycle = FUELCALC_SOURCE_DIR "/examples/drive_cycle.dat";
inline const std::string kMotoringMap = FUELCALC_SOURCE_DIR "/examples/motoring_map.dat";
inline const std::string kHeavyDutyMap = FUELCALC_SOURCE_DIR "/examples/heavy_duty_map.dat";

// A fresh folder under /tmp, removed with everything in it on destruction.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path;
  std::string file(const std::string& name) const { return path + "/" + name; }
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

struct RunResult {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;
  std::string err;
  long peak_kib = 0;  // the program's peak resident memory, KiB
};

struct RunOptions {
  std::string cwd;               // empty: the current folder
  std::string input;             // bytes on standard input
  bool drop_privileges = false;  // run as uid/gid 65534
};

// Runs program with args, feeding options.input on standard input. A child
// that cannot be started (folder, privileges, exec) throws std::runtime_error
// naming the step and its reason.
RunResult run_program(const std::string& program, const std::vector<std::string>& args,
                      const RunOptions& options = {});

// What an in-process call that may end the run left behind: the bytes that
// reached standard error and the exit status it ended with (-1: it returned).
struct Ending {
  std::string err;
  int status = -1;
};

// Calls body with standard error sent to a file, catching the run's ending
// and flushing the units as the program's entry point would.
Ending capture_ending(const std::function<void()>& body);

// Runs the fuelcalc binary built with the tests; with drop_privileges, a copy
// of it that uid 65534 can reach (see unprivileged_runs_impossible).
RunResult run_fuelcalc(const std::vector<std::string>& args, const RunOptions& options = {});

// The path of that binary.
std::string fuelcalc_binary();

// Why fuelcalc cannot be run as uid 65534 here, or empty when it can. The
// build tree may lie under a folder only root enters (/root, a mktemp -d
// folder), so unprivileged runs use a copy of the binary in a 0755 folder
// under /tmp, kept for the test program's lifetime.
std::string unprivileged_runs_impossible();

// A fuelcalc run going on in the background, its standard output and error
// going to files, its standard input a pipe the test writes to. A run not
// waited for is killed and reaped when this goes out of scope.
struct Started {
  Started(int pid, int input) : pid(pid), input(input) {}
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;
  ~Started();
  int pid = -1;
  int input = -1;  // write end of the program's standard input
};

Started start_fuelcalc(const std::vector<std::string>& args, const std::string& out_path,
                       const std::string& err_path);

// Waits for a started run to end, then closes its input; its exit status,
// or 128 + signal number.
int wait_for(Started& run);

// As wait_for, waiting at most timeout; -1 when the run has not ended by then
// (it is killed when `run` goes out of scope).
int wait_for(Started& run, std::chrono::milliseconds timeout);

// Checks condition every millisecond until it holds; false when it still does
// not after timeout, so that a test fails instead of hanging.
bool wait_until(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(120));

// Whether some thread of process pid is asleep in a read (blocked on input
// that has not come).
bool blocked_in_read(int pid);

// Whether process pid is asleep in the system call of that number (SYS_write,
// SYS_openat, ...).
bool blocked_in(int pid, long call);

}  // namespace testing_support
