// The real binary under faults: writes that fail, files it may not read,
// pipes, stray bytes, huge records and maps, and runs stopped by signals.
// Each case checks the messages, the exit status and what is left on disk.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "run_expectations.h"
#include "test_support.h"

namespace {

using namespace testing_support;

// n records over the bilinear map's square, some outside it.
std::string records(int n) {
  std::string text;
  for (int i = 0; i < n; ++i)
    text += std::to_string(900 + (i * 37) % 1200) + " " + std::to_string(5 + (i * 7) % 20) + "\n";
  return text;
}

// Runs fuelcalc through /bin/sh so that a test can reshape its streams:
// `redirections` follows the command, e.g. ">/dev/full".
RunResult run_in_shell(const std::vector<std::string>& args, const std::string& redirections,
                       const std::string& prefix = "") {
  std::vector<std::string> shell_args = {"-c", prefix + " \"$0\" \"$@\" " + redirections,
                                         fuelcalc_binary()};
  shell_args.insert(shell_args.end(), args.begin(), args.end());
  return run_program("/bin/sh", shell_args);
}

bool ends_with_whole_line(const std::string& text) {
  return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

struct ExpectedRun {
  int status;
  std::string out;
  std::string err;
};

void expect_run(const RunResult& result, const ExpectedRun& expected) {
  EXPECT_EQ(result.status, expected.status);
  EXPECT_EQ(result.out, expected.out);
  EXPECT_EQ(result.err, expected.err);
}

TEST(WriteFailures, OutputOnAFullDeviceIsReportedAndNoCompletionFollows) {
  RunFolder run;
  write_file(run.map, kBilinearMap);
  write_file(run.input, "x\n" + records(100));
  expect_run(run_fuelcalc({run.map, run.input, "/dev/full"}),
             {38, "",
              runtime_report("sysrun: No space left on device\r\n"
                             "sysrun: severe (38): error during write, unit 11, file /dev/full\r\n",
                             {"FUELCALC"})});
}

TEST(WriteFailures, OutputInAMissingFolder) {
  RunFolder run;
  write_file(run.map, kBilinearMap);
  write_file(run.input, "x\n1500 15\n");
  const std::string output = run.dir.file("missing/out.dat");
  expect_run(
      run_fuelcalc({run.map, run.input, output}),
      {29, "",
       runtime_report("sysrun: severe (29): file not found, unit 11, file " + output + "\r\n",
                      {"FUELCALC"})});
  EXPECT_FALSE(file_exists(output));
}

TEST(WriteFailures, FileSizeLimitLeavesWholeLinesOnly) {
  RunFolder run;
  write_file(run.map, kBilinearMap);
  write_file(run.input, "x\n" + records(3000));
  const auto whole = run_fuelcalc({run.map, run.input, run.output});
  ASSERT_EQ(whole.status, 0);
  const std::string all_lines = run.out_file();

  const auto limited = run_program(
      "/usr/bin/prlimit", {"--fsize=10000", fuelcalc_binary(), run.map, run.input, run.output});
  expect_run(limited, {38, "",
                       runtime_report("sysrun: File too large\r\n"
                                      "sysrun: severe (38): error during write, unit 11, file " +
                                          run.output + "\r\n",
                                      {"FUELCALC"})});
  const std::string kept = run.out_file();
  EXPECT_LE(kept.size(), 10000u);
  EXPECT_GT(kept.size(), 9900u);
  EXPECT_TRUE(ends_with_whole_line(kept));
  EXPECT_EQ(all_lines.substr(0, kept.size()), kept);
}

// The console streams broken in different ways; the output file is complete
// whenever the failure comes only with the closing message.
TEST(WriteFailures, ConsoleStreams) {
  RunFolder run;
  write_file(run.map, kBilinearMap);
  write_file(run.input, "x\n1500 15\n");
  const std::string line = kHeader + "1500.00\t15.000\t2.750\r\n";
  const auto console_failure = [](const std::string& os_text) {
    return runtime_report(
        "sysrun: " + os_text +
            "\r\nsysrun: severe (38): error during write, unit -1, file CONOUT$\r\n",
        {"FUELCALC"});
  };
  const std::vector<std::string> args = {run.map, run.input, run.output};

  expect_run(run_in_shell(args, ">/dev/full"),
             {38, "", console_failure("No space left on device")});
  EXPECT_EQ(run.out_file(), line);

  expect_run(run_in_shell(args, ">&-"), {38, "", console_failure("Bad file descriptor")});
  EXPECT_EQ(run.out_file(), line);

  // Closed console input reads as empty: the first prompt meets its end.
  expect_run(
      run_in_shell({}, "<&-"),
      {24, "TYPE FILENAME FOR TORQUEMAP : ",
       runtime_report("sysrun: severe (24): end-of-file during read, unit -4, file CONIN$\r\n",
                      {"FUELCALC"})});

  // Without standard input and error, files opened later must not take their
  // numbers: the failure report of the second record may not land in the
  // output file. Its write fails instead, which is what the status tells.
  write_file(run.input, "x\n1500 15\nnan 15\n");
  const auto closed = run_in_shell(args, "<&- 2>&-");
  EXPECT_EQ(closed.status, 38);
  EXPECT_EQ(run.out_file(), line);
}

TEST(ReadFailures, UnreadableMapAndInput) {
  if (const std::string why = unprivileged_runs_impossible(); !why.empty()) GTEST_SKIP() << why;
  RunFolder run;
  write_file(run.map, kBilinearMap);
  write_file(run.input, "x\n1500 15\n");
  RunOptions unprivileged;
  unprivileged.drop_privileges = true;
  const std::string output = run.dir.file("fresh.dat");

  ::chmod(run.map.c_str(), 0);
  expect_run(run_fuelcalc({run.map, run.input, output}, unprivileged),
             {1, "", " Cannot open TORQUE MAP file [ " + run.map + " ]\r\n"});
  ::chmod(run.map.c_str(), 0644);

  ::chmod(run.input.c_str(), 0);
  expect_run(
      run_fuelcalc({run.map, run.input, output}, unprivileged),
      {9, "",
       runtime_report("sysrun: severe (9): permission to access file denied, unit 10, file " +
                          run.input + "\r\n",
                      {"FUELCALC"})});
  EXPECT_FALSE(file_exists(output));
}

// A child that never becomes the program is a failed launch, not a run with
// empty results.
TEST(TestSupport, LaunchFailuresAreReported) {
  const auto launch_error = [](const std::string& program, const RunOptions& options) {
    try {
      run_program(program, {}, options);
    } catch (const std::runtime_error& failure) {
      return std::string(failure.what());
    }
    return std::string("started");
  };
  EXPECT_EQ(launch_error("/nonexistent/fuelcalc", {}),
            "cannot start /nonexistent/fuelcalc: exec failed: No such file or directory");
  EXPECT_EQ(launch_error(fuelcalc_binary(), in_folder("/nonexistent")),
            "cannot start " + fuelcalc_binary() +
                ": entering its folder failed: No such file or directory");
}

// Map and input through a named pipe and through process substitution give
// what the regular files give; a map that cannot seek is read twice all the same.
TEST(Pipes, NamedPipeAndProcessSubstitution) {
  RunFolder run;
  const std::string input_text = "x\n" + records(5000);
  run.go(kBilinearMap, input_text);
  ASSERT_EQ(run.result.status, 0);
  const std::string expected = run.out_file();

  const std::string fifo = run.dir.file("input.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { write_file(fifo, input_text); });
  const std::string from_fifo = run.dir.file("fifo.out");
  const auto through_fifo = run_fuelcalc({run.map, fifo, from_fifo});
  writer.join();
  EXPECT_EQ(through_fifo.status, 0);
  EXPECT_EQ(through_fifo.out, run.result.out);
  EXPECT_EQ(read_file(from_fifo), expected);

  const std::string substituted = run.dir.file("substituted.out");
  const auto through_bash =
      run_program("/bin/bash", {"-c", "exec \"$0\" <(cat \"$1\") <(cat \"$2\") \"$3\"",
                                fuelcalc_binary(), run.map, run.input, substituted});
  EXPECT_EQ(through_bash.status, 0);
  EXPECT_EQ(through_bash.out, run.result.out);
  EXPECT_EQ(read_file(substituted), expected);
}

// The output's reader gone: the next write reports the broken pipe and the
// run ends with 38, where it used to wait forever holding the pipe's read end
// itself. Every run is bounded, so that a hang fails instead.
TEST(Pipes, OutputWhoseReaderHasGone) {
  RunFolder run;
  write_file(run.map, kBilinearMap);
  write_file(run.input, "x\n" + records(40000));  // far more than a pipe holds
  const auto broken = [](const std::string& name) {
    return runtime_report(
        "sysrun: Broken pipe\r\nsysrun: severe (38): error during write, unit 11, file " + name +
            "\r\n",
        {"FUELCALC"});
  };
  expect_run(
      run_program("/bin/bash", {"-c",
                                "timeout -s KILL 120 \"$0\" \"$1\" \"$2\" /dev/stdout | head -1; "
                                "exit ${PIPESTATUS[0]}",
                                fuelcalc_binary(), run.map, run.input}),
      {38, kHeader, broken("/dev/stdout")});

  // A FIFO whose reader closes after the first line.
  const std::string fifo = run.dir.file("out.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  Started started =
      start_fuelcalc({run.map, run.input, fifo}, run.dir.file("stdout"), run.dir.file("stderr"));
  std::string got;
  EXPECT_TRUE(wait_until([&] {
    char chunk[4096];
    const ssize_t n = ::read(reader, chunk, sizeof chunk);
    if (n > 0) got.append(chunk, static_cast<std::size_t>(n));
    return got.find('\n') != std::string::npos;
  }));
  ::close(reader);
  EXPECT_EQ(wait_for(started, std::chrono::seconds(120)), 38);
  EXPECT_EQ(got.substr(0, kHeader.size()), kHeader);
  EXPECT_EQ(read_file(run.dir.file("stdout")), "");
  EXPECT_EQ(read_file(run.dir.file("stderr")), broken(fifo));
}

// What the writers of a FIFO left in it, read from its read end (which it
// closes) once they are gone.
std::string drain(int reader) {
  std::string got;
  char chunk[65536];
  for (ssize_t n; (n = ::read(reader, chunk, sizeof chunk)) > 0;)
    got.append(chunk, static_cast<std::size_t>(n));
  ::close(reader);
  return got;
}

// A FIFO output waits in the open for a reader, and a full pipe waits for its
// reader to take more; a signal ends either wait as it ends a wait for input
// (the write after a short grace in which a live reader would still get the
// lines). Here the reader is missing, then present but never reading.
TEST(Pipes, InterruptedWhileWaitingForAReader) {
  RunFolder run;
  run.go(kBilinearMap, "x\n" + records(40000));
  ASSERT_EQ(run.result.status, 0);
  const std::string expected = run.out_file();
  // The output is opened once the input is open.
  const auto input_open = [&](int pid) {
    for (const auto& fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
      std::error_code ignored;
      if (std::filesystem::read_symlink(fd.path(), ignored) == run.input) return true;
    }
    return false;
  };
  struct Case {
    int signal;
    bool reader;
    long call;  // the system call the run waits in
  };
  for (const Case& c : {Case{SIGINT, false, SYS_openat}, Case{SIGTERM, true, SYS_write}}) {
    SCOPED_TRACE(c.signal);
    const std::string fifo = run.dir.file("out" + std::to_string(c.signal) + ".fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = c.reader ? ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    Started started =
        start_fuelcalc({run.map, run.input, fifo}, run.dir.file("stdout"), run.dir.file("stderr"));
    ASSERT_TRUE(
        wait_until([&] { return blocked_in(started.pid, c.call) && input_open(started.pid); }));
    ::kill(started.pid, c.signal);
    EXPECT_EQ(wait_for(started, std::chrono::seconds(120)), 128 + c.signal);
    EXPECT_EQ(read_file(run.dir.file("stdout")), "");
    EXPECT_EQ(read_file(run.dir.file("stderr")), "");
    if (reader >= 0) {
      const std::string got = drain(reader);
      EXPECT_FALSE(got.empty());
      EXPECT_EQ(expected.substr(0, got.size()), got);
    }
  }
}

// The grace timer's signal, sent before any interrupt, ends no wait: the run
// goes on and its output to a pipe is whole.
TEST(Pipes, StrayGraceSignalChangesNothing) {
  RunFolder run;
  const std::string data = "x\n" + records(100);
  run.go(kBilinearMap, data);
  ASSERT_EQ(run.result.status, 0);
  const std::string expected = run.out_file();

  const std::string fifo = run.dir.file("out.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  Started started =
      start_fuelcalc({run.map, "/dev/stdin", fifo}, run.dir.file("stdout"), run.dir.file("stderr"));
  ASSERT_TRUE(wait_until([&] { return blocked_in_read(started.pid); }));
  ::kill(started.pid, SIGRTMIN);
  ASSERT_EQ(::write(started.input, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  ::close(started.input);
  started.input = -1;
  EXPECT_EQ(wait_for(started), 0);
  EXPECT_EQ(drain(reader), expected);
  EXPECT_EQ(read_file(run.dir.file("stdout")), complete(100));
}

// Data that stop in the middle of a line.
TEST(TruncatedInput, DataStopMidLine) {
  struct Case {
    std::string input;
    std::string lines;
    long count;
  };
  const std::vector<Case> cases = {
      {"x\n1500 15\n1500 1", "1500.00\t15.000\t2.750\r\n1500.00\t1.000\t0.650\r\n", 2},
      {"x\n1500 15\n1500 15\r", "1500.00\t15.000\t2.750\r\n1500.00\t15.000\t2.750\r\n", 2},
      {"x\n1500 15\n1500 ", "1500.00\t15.000\t2.750\r\n", 1},
      {"x\n1500 15\n15", "1500.00\t15.000\t2.750\r\n", 1},
      {"x\n1500 15\n1500,", "1500.00\t15.000\t2.750\r\n", 1},
  };
  RunFolder run;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    run.go(kBilinearMap, c.input);
    expect_run(run.result, {0, complete(c.count), ""});
    EXPECT_EQ(run.out_file(), kHeader + c.lines);
  }
}

// Stray bytes: NUL, the end-of-file mark 26, every byte from 128 to 255 and
// code page 932 text. In a header or after a record's values they are
// ignored; inside a number they make the record unreadable (a record that is
// not the last, which would count as the end of the input).
TEST(StrayBytes, InEveryField) {
  std::vector<std::string> strays = {std::string(1, '\0'), "\x1a", "\x83\x66\x81[\x83^"};
  for (int byte = 128; byte <= 255; ++byte)
    strays.push_back(std::string(1, static_cast<char>(byte)));

  RunFolder run;
  const std::string good_input = "x\n1500 15\n";
  const std::string line = kHeader + "1500.00\t15.000\t2.750\r\n";
  const std::string map_failure = " Failed to read TORQUE MAP [ " + run.map + " ]\r\n";
  for (const auto& stray : strays) {
    SCOPED_TRACE(testing::PrintToString(stray));
    run.go("map " + stray + " one\n" + stray + "\n1000 10 1\n1000 20 2\n2000 10 3\n2000 20 5 " +
               stray + "\n",
           "x" + stray + "\n1500 15 " + stray + "\n");
    expect_run(run.result, {0, complete(1), ""});
    EXPECT_EQ(run.out_file(), line);

    for (const auto& record :
         {"1" + stray + "500 15\n", "1500 1" + stray + "5\n", stray + "1500 15\n"}) {
      run.go(kBilinearMap, good_input + record + "1500 15\n");
      expect_run(run.result, {1, read_error(2), ""});
      EXPECT_EQ(run.out_file(), line);
    }
    for (const auto& point :
         {stray + "1000 10 1\n", "1000 1" + stray + "0 1\n", "1000 10 1" + stray + "\n"}) {
      run.go("h\nh\n" + point + "1000 20 2\n2000 10 3\n2000 20 5\n", good_input);
      expect_run(run.result, {1, "", map_failure});
    }
  }
}

// File names in code page 932 and with bytes above 127 are used as they are,
// and shown byte for byte in messages.
TEST(StrayBytes, InFileNames) {
  TempDir dir;
  const std::string map = dir.file("\x83\x67\x83\x8b\x83N map\xe9.dat");
  const std::string input = dir.file("\x93\xfc\x97\xcd\xff.dat");
  const std::string output = dir.file("\x8f\x6f\x97\xcd\x80.dat");
  write_file(map, kBilinearMap);
  write_file(input, "x\n1500 15\n");
  expect_run(run_fuelcalc({map, input, output}), {0, complete(1), ""});
  EXPECT_EQ(read_file(output), kHeader + "1500.00\t15.000\t2.750\r\n");

  // The same names typed at the prompts, quoted (a slash would end the value
  // list, a blank the name).
  write_file(output, "");
  RunOptions typed;
  typed.input = "'" + map + "'\n\"" + input + "\"\n'" + output + "'\n";
  expect_run(
      run_fuelcalc({}, typed),
      {0,
       "TYPE FILENAME FOR TORQUEMAP : TYPE FILENAME FOR INPUT : TYPE FILENAME FOR OUTPUT : " +
           complete(1),
       ""});
  EXPECT_EQ(read_file(output), kHeader + "1500.00\t15.000\t2.750\r\n");

  const std::string missing = dir.file("\x83\x66\x81[\x83^\xfe.dat");
  expect_run(
      run_fuelcalc({map, missing, output}),
      {29, "",
       runtime_report("sysrun: severe (29): file not found, unit 10, file " + missing + "\r\n",
                      {"FUELCALC"})});
}

// A NUL typed inside a quoted name would cut the name short and open some
// other file: the name is refused, with the NUL shown as it is, and nothing
// is created or cut. Trailing NULs, like trailing blanks, do not count.
TEST(StrayBytes, NulInATypedName) {
  RunFolder run;
  write_file(run.map, kBilinearMap);
  write_file(run.input, "x\n1500 15\n");
  const std::string nul(1, '\0');
  const std::string asks =
      "TYPE FILENAME FOR TORQUEMAP : TYPE FILENAME FOR INPUT : TYPE FILENAME FOR OUTPUT : ";
  const auto typed = [&](const std::string& map, const std::string& input,
                         const std::string& output) {
    return in_folder(run.dir.path, "'" + map + "'\n'" + input + "'\n'" + output + "'\n");
  };
  const auto refused = [&](int unit, const std::string& name) {
    return runtime_report("sysrun: severe (43): file name specification error, unit " +
                              std::to_string(unit) + ", file " + run.dir.file(name) + "\r\n",
                          {"FUELCALC"});
  };
  write_file(run.output, "precious\n");
  expect_run(run_fuelcalc({}, typed("map.dat" + nul + "x", "input.dat", "out.dat")),
             {1, asks, " Cannot open TORQUE MAP file [ map.dat" + nul + "x ]\r\n"});
  expect_run(run_fuelcalc({}, typed("map.dat", "input.dat" + nul + "x", "out.dat")),
             {43, asks, refused(10, "input.dat" + nul + "x")});
  expect_run(run_fuelcalc({}, typed("map.dat", "input.dat", "out.dat" + nul + "junk")),
             {43, asks, refused(11, "out.dat" + nul + "junk")});
  EXPECT_EQ(read_file(run.output), "precious\n");
  const std::string fresh = run.dir.file("fresh.dat");
  expect_run(run_fuelcalc({}, typed("map.dat", "input.dat", "fresh.dat" + nul + "junk")),
             {43, asks, refused(11, "fresh.dat" + nul + "junk")});
  EXPECT_FALSE(file_exists(fresh));

  expect_run(
      run_fuelcalc({}, typed("map.dat" + nul, "input.dat " + nul + " ", "out.dat" + nul + nul)),
      {0, asks + complete(1), ""});
  EXPECT_EQ(read_file(run.output), kHeader + "1500.00\t15.000\t2.750\r\n");
}

// One record of 200 MB: read through, at a memory cost of a small multiple
// of the record.
TEST(HugeInputs, RecordOf200MegabytesThroughAPipe) {
  constexpr std::size_t kRecordBytes = 200u << 20;
  RunFolder run;
  write_file(run.map, kBilinearMap);
  RunOptions piped;
  piped.input = "x\n1500 15" + std::string(kRecordBytes, ' ') + "\r\n2500 25\n";
  const auto blanks = run_fuelcalc({run.map, "/dev/stdin", run.output}, piped);
  expect_run(blanks, {0, complete(2), ""});
  EXPECT_EQ(run.out_file(), kHeader + "1500.00\t15.000\t2.750\r\n2500.00\t25.000\t7.750\r\n");
  if (!kSanitized) {
    EXPECT_LT(blanks.peak_kib * 1024, static_cast<long>(3 * kRecordBytes));
  }

  // A 200 MB number is converted (and is too large for a double) in one pass.
  piped.input = "x\n1500 15\n" + std::string(kRecordBytes, '7') + " 15\n2500 25\n";
  const auto digits = run_fuelcalc({run.map, "/dev/stdin", run.output}, piped);
  expect_run(digits, {1, read_error(2), ""});
  EXPECT_EQ(run.out_file(), kHeader + "1500.00\t15.000\t2.750\r\n");
}

TEST(HugeInputs, MapOfOneMillionPoints) {
  RunFolder run;
  std::string map = "one million points\nSPEED TORQUE FUEL\n";
  map.reserve(30u << 20);
  for (int i = 0; i < 1000; ++i)
    for (int j = 0; j < 1000; ++j)
      map += std::to_string(600 + 2 * i) + " " + std::to_string(j) + " " +
             std::to_string(1000 + i + 3 * j) + "\n";
  run.go(map, "x\n600 0\n2598 999\n");
  expect_run(run.result, {0, complete(2), ""});
  EXPECT_EQ(run.out_file(), kHeader + "600.00\t0.000\t1000.000\r\n2598.00\t999.000\t4996.000\r\n");
  if (!kSanitized) {
    EXPECT_LT(run.result.peak_kib, 200 * 1024);
  }
}

// The exit status of a started run, waiting at most two minutes.
std::optional<int> exit_status_within_bound(Started& started) {
  int status = 0;
  if (!wait_until([&] { return ::waitpid(started.pid, &status, WNOHANG) == started.pid; }))
    return std::nullopt;
  started.pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// One thread and two: the record loop on two threads (reading ahead in
// blocks of 1024 records, four blocks at most) must leave the same bytes
// everywhere as on one, whatever ends the loop and wherever that falls
// against the blocks.
struct ThreadsCase {
  const char* name;
  std::string input;
  int status;                // the exit status both runs end with
  std::string prefix = "";   // run before the program in the shell: a file size limit
  bool full_device = false;  // the output file is /dev/full
};

// n plain records, then `tail` at the start of record n + 1.
std::string records_then(int n, const std::string& tail) { return "x\n" + records(n) + tail; }

TEST(Threads, SameBytesOnOneAndTwo) {
  const std::string general =
      "1500,15\n1200 , 12\n2*1300\n,17\n1400\n16\n\n  \n1100 11 / x\n5 / 7\n";
  const ThreadsCase cases[] = {
      {"many blocks", records_then(9000, ""), 0},
      {"read error opening the second block", records_then(1024, "abc\n" + records(50)), 1},
      {"read error ending the first block", records_then(1023, "abc\n" + records(50)), 1},
      {"read error after the ring wraps", records_then(4096 + 1024, "1500 x\n" + records(3)), 1},
      {"read error in the last record", records_then(2048, "abc\n"), 0},
      {"general records across a boundary", records_then(1020, general + records(1500) + general),
       0},
      {"a statement over a block boundary", records_then(1023, "1500\n15\n" + records(2000)), 0},
      {"no final line feed", records_then(3000, "1500 15"), 0},
      {"interpolation failure partway", records_then(1500, "nan 15\n" + records(1500)), 1},
      {"points for the literal procedure",
       records_then(1500, "1500 inf\n-inf 15\n" + records(1500)), 0},
      {"file size limit", records_then(20000, ""), 38, "prlimit --fsize=200000"},
      {"full device", records_then(20000, ""), 38, "", true},
  };
  for (const ThreadsCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunFolder run;
    write_file(run.map, kBilinearMap);
    write_file(run.input, c.input);
    const std::string output = c.full_device ? "/dev/full" : run.output;
    RunResult runs[2];
    std::string outputs[2];
    for (int threads = 1; threads <= 2; ++threads) {
      ::unlink(run.output.c_str());
      runs[threads - 1] =
          run_in_shell({run.map, run.input, output}, "",
                       "FUELCALC_THREADS=" + std::to_string(threads) + " " + c.prefix);
      if (!c.full_device) outputs[threads - 1] = read_file(run.output);
    }
    EXPECT_EQ(runs[0].status, c.status);
    EXPECT_EQ(runs[1].status, c.status);
    EXPECT_EQ(runs[0].out, runs[1].out);
    EXPECT_EQ(runs[0].err, runs[1].err);
    EXPECT_EQ(outputs[0], outputs[1]);
    if (!kSanitized) {
      EXPECT_LT(runs[1].peak_kib, 16 * 1024);  // the blocks read ahead are few
    }
  }
}

// A write that fails while the reading thread waits for piped input that
// does not come: the run ends with the write error at once, on one thread
// and on two.
TEST(Threads, WriteFailureWhileTheReaderWaits) {
  RunFolder run;
  write_file(run.map, kBilinearMap);
  // Some 1.1 MB of lines: the flush after the first MiB fails at a line of a
  // full block, while on two threads the reading thread has taken the rest
  // and waits in a read.
  const std::string data = "x\n" + records(50000);
  for (const char* threads : {"1", "2"}) {
    SCOPED_TRACE(threads);
    ::setenv("FUELCALC_THREADS", threads, 1);
    Started started = start_fuelcalc({run.map, "/dev/stdin", "/dev/full"}, run.dir.file("stdout"),
                                     run.dir.file("stderr"));
    ::unsetenv("FUELCALC_THREADS");
    // The pipe stays open: more input could always come. The run may end
    // before it has taken all of this.
    [[maybe_unused]] const ssize_t written = ::write(started.input, data.data(), data.size());
    EXPECT_EQ(exit_status_within_bound(started), 38);
    EXPECT_EQ(read_file(run.dir.file("stderr")),
              runtime_report("sysrun: No space left on device\r\n"
                             "sysrun: severe (38): error during write, unit 11, file /dev/full\r\n",
                             {"FUELCALC"}));
  }
}

// Signals. A run waiting for piped input that is interrupted writes the lines
// of every record it has read, closes its files and exits with 128 + signal.
class Interrupted : public testing::TestWithParam<int> {};

// On two threads the reading one waits in the read while the signal reaches
// the other, which must wake it.
TEST_P(Interrupted, WhileWaitingForInput) {
  RunFolder run;
  const std::string data = "x\n" + records(3000);
  run.go(kBilinearMap, data);
  ASSERT_EQ(run.result.status, 0);
  const std::string expected = run.out_file();

  for (const char* threads : {"1", "2"}) {
    SCOPED_TRACE(threads);
    const std::string output = run.dir.file(std::string("interrupted.") + threads);
    ::setenv("FUELCALC_THREADS", threads, 1);
    Started started = start_fuelcalc({run.map, "/dev/stdin", output}, run.dir.file("stdout"),
                                     run.dir.file("stderr"));
    ::unsetenv("FUELCALC_THREADS");
    ASSERT_EQ(::write(started.input, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    // Asleep in a read with the pipe empty, the program has taken in every
    // record and waits for more.
    ASSERT_TRUE(wait_until([&] {
      int unread = 1;
      ::ioctl(started.input, FIONREAD, &unread);
      return unread == 0 && blocked_in_read(started.pid);
    }));
    ::kill(started.pid, GetParam());
    EXPECT_EQ(exit_status_within_bound(started), 128 + GetParam());
    EXPECT_EQ(read_file(output), expected);
    EXPECT_EQ(read_file(run.dir.file("stdout")), "");
    EXPECT_EQ(read_file(run.dir.file("stderr")), "");
  }
}

TEST_P(Interrupted, AtThePrompt) {
  TempDir dir;
  Started started = start_fuelcalc({}, dir.file("stdout"), dir.file("stderr"));
  ASSERT_TRUE(wait_until([&] { return !read_file(dir.file("stdout")).empty(); }));
  ::kill(started.pid, GetParam());
  EXPECT_EQ(wait_for(started), 128 + GetParam());
  EXPECT_EQ(read_file(dir.file("stdout")), "TYPE FILENAME FOR TORQUEMAP : ");
  EXPECT_EQ(read_file(dir.file("stderr")), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted, testing::Values(SIGINT, SIGTERM, SIGHUP));

// A long run stopped partway, by a signal it handles or by SIGKILL, leaves a
// beginning of the full result holding whole lines only. Output goes to the
// file in whole lines; only SIGKILL arriving while the kernel copies one
// write into the file can cut it, and the kernel then stops at the end of a
// 4096-byte page of the file.
class StoppedPartway : public testing::TestWithParam<int> {};

TEST_P(StoppedPartway, LeavesWholeLinesOnly) {
  RunFolder run;
  run.go(kBilinearMap, "x\n" + records(kSanitized ? 300000 : 2000000));
  ASSERT_EQ(run.result.status, 0);
  const std::string expected = run.out_file();

  const std::string output = run.dir.file("stopped.out");
  Started started =
      start_fuelcalc({run.map, run.input, output}, run.dir.file("stdout"), run.dir.file("stderr"));
  ASSERT_TRUE(wait_until([&] {
    struct stat written {};
    return ::stat(output.c_str(), &written) == 0 && written.st_size > 0;
  }));
  ::kill(started.pid, GetParam());
  const int status = wait_for(started);
  const std::string kept = read_file(output);
  if (status == 0) {
    EXPECT_EQ(kept, expected) << "the run ended before the signal";
    return;
  }
  EXPECT_EQ(status, 128 + GetParam());
  if (GetParam() == SIGKILL && !ends_with_whole_line(kept)) {
    EXPECT_EQ(kept.size() % 4096, 0u);
  } else {
    EXPECT_TRUE(ends_with_whole_line(kept));
  }
  EXPECT_LT(kept.size(), expected.size());
  EXPECT_EQ(expected.substr(0, kept.size()), kept);
  EXPECT_EQ(read_file(run.dir.file("stderr")), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, StoppedPartway, testing::Values(SIGINT, SIGTERM, SIGKILL));

// Runs that used to abort or destroy a file, each set up as its fault needs:
// storage that runs out in an input record (under an address-space limit),
// a second run on an output that a first one is writing, an output that
// names the map, and an output that is a descriptor the run was given.
struct FileFault {
  const char* name;
  bool limits_memory;  // an address-space limit, which the sanitizers' shadow memory exceeds
  // What OUTPUT holds before the run.
  std::string before;
  // The run on the folder's map, input (1000 records) and OUTPUT.
  std::function<RunResult(const RunFolder&)> run;
  int status;
  std::function<std::string(const RunFolder&)> out, err;
  // What OUTPUT holds after, given the lines a plain run writes.
  std::function<std::string(const std::string& lines)> after;
};

RunResult run_in_bash(const RunFolder& run, const std::string& script) {
  return run_program("/bin/bash",
                     {"-c", script, fuelcalc_binary(), run.map, run.input, run.output});
}

std::string nothing(const RunFolder&) { return {}; }

// Whether two files' bytes are the same; where they part when they are not
// (the files are too long to show).
testing::AssertionResult same_bytes(const std::string& got, const std::string& expected) {
  if (got == expected) return testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  return testing::AssertionFailure()
         << got.size() << " bytes, " << expected.size() << " expected, parting at byte " << at
         << ": " << testing::PrintToString(got.substr(at, 40)) << " for "
         << testing::PrintToString(expected.substr(at, 40));
}

TEST(FileFaults, MessagesStatusAndFiles) {
  constexpr int kRecords = 1000;
  constexpr bool kShadowMemory = kSanitized
#if defined(__SANITIZE_THREAD__)
                                 || true
#endif
      ;
  const auto no_memory = [](const RunFolder&) {
    return runtime_report("sysrun: severe (41): insufficient virtual memory\r\n", {"FUELCALC"});
  };
  const auto refused = [](const std::string& reason, const std::string& name) {
    return runtime_report("sysrun: " + reason +
                              "\r\nsysrun: severe (30): open failure, unit 11, file " + name +
                              "\r\n",
                          {"FUELCALC"});
  };
  const auto lines_only = [](const std::string& lines) { return lines; };
  const auto kept = [](const std::string& before) {
    return [before](const std::string&) { return before; };
  };
  const auto done = [](const RunFolder&) { return complete(kRecords); };
  const std::string old_log = "old log\r\n";
  const auto appended = [old_log](const std::string& lines) {
    return old_log + lines + complete(kRecords);
  };

  // The records, then a record of NUL bytes that never ends.
  const std::string endless_record =
      "cat \"$2\" /dev/zero 2>/dev/null | FUELCALC_THREADS=%d "
      "prlimit --as=100000000 \"$0\" \"$1\" /dev/stdin \"$3\"";
  const auto endless_on = [endless_record](int threads) {
    std::string script = endless_record;
    script.replace(script.find("%d"), 2, std::to_string(threads));
    return [script](const RunFolder& run) { return run_in_bash(run, script); };
  };

  const FileFault cases[] = {
      {"storage runs out in a record, one thread", true, "", endless_on(1), 41, nothing, no_memory,
       lines_only},
      {"storage runs out in a record, two threads", true, "", endless_on(2), 41, nothing, no_memory,
       lines_only},
      {"storage runs out in the header", true, "precious\n",
       [](const RunFolder& run) {
         return run_program("/usr/bin/prlimit", {"--as=100000000", fuelcalc_binary(), run.map,
                                                 "/dev/zero", run.output});
       },
       41, nothing, no_memory, kept("precious\n")},
      {"a second run on the output of a first", false, "",
       [](const RunFolder& run) {
         // The first run holds the output open while it waits for more input.
         Started first = start_fuelcalc({run.map, "/dev/stdin", run.output}, run.dir.file("stdout"),
                                        run.dir.file("stderr"));
         const std::string data = read_file(run.input);
         EXPECT_EQ(::write(first.input, data.data(), data.size()),
                   static_cast<ssize_t>(data.size()));
         EXPECT_TRUE(wait_until([&] {
           int unread = 1;
           ::ioctl(first.input, FIONREAD, &unread);
           return unread == 0 && blocked_in_read(first.pid);
         }));
         const RunResult second = run_fuelcalc({run.map, run.input, run.output});
         ::close(first.input);
         first.input = -1;
         EXPECT_EQ(wait_for(first, std::chrono::seconds(120)), 0);
         EXPECT_EQ(read_file(run.dir.file("stdout")), complete(kRecords));
         return second;
       },
       30, nothing,
       [refused](const RunFolder& run) {
         return refused("the file is in use by another process", run.output);
       },
       lines_only},
      {"the output names the map", false, "",
       [](const RunFolder& run) {
         return run_fuelcalc({run.map, run.input, run.dir.path + "/./map.dat"});
       },
       30, nothing,
       [refused](const RunFolder& run) {
         return refused("the file was connected to unit 17", run.map);
       },
       kept("")},
      {"the output is a link to the map", false, "",
       [](const RunFolder& run) {
         const std::string link = run.dir.file("link.dat");
         EXPECT_EQ(::symlink(run.map.c_str(), link.c_str()), 0);
         return run_fuelcalc({run.map, run.input, link});
       },
       30, nothing,
       [refused](const RunFolder& run) {
         return refused("the file was connected to unit 17", run.dir.file("link.dat"));
       },
       kept("")},
      {"standard output opened for append", false, old_log,
       [](const RunFolder& run) {
         return run_in_bash(run, "\"$0\" \"$1\" \"$2\" /dev/stdout >>\"$3\"");
       },
       0, nothing, nothing, appended},
      {"a descriptor opened for append", false, old_log,
       [](const RunFolder& run) {
         return run_in_bash(run, "\"$0\" \"$1\" \"$2\" /dev/fd/3 3>>\"$3\"");
       },
       0, done, nothing, [old_log](const std::string& lines) { return old_log + lines; }},
      {"standard output after earlier lines", false, "",
       [](const RunFolder& run) {
         return run_in_bash(
             run, "{ printf 'old log\\r\\n'; \"$0\" \"$1\" \"$2\" /dev/stdout; } >\"$3\"");
       },
       0, nothing, nothing, appended},
  };

  RunFolder plain;
  plain.go(kBilinearMap, "x\n" + records(kRecords));
  ASSERT_EQ(plain.result.status, 0);
  const std::string lines = plain.out_file();

  for (const FileFault& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.limits_memory && kShadowMemory) continue;
    RunFolder run;
    write_file(run.map, kBilinearMap);
    write_file(run.input, "x\n" + records(kRecords));
    if (!c.before.empty()) write_file(run.output, c.before);
    const RunResult result = c.run(run);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out, c.out(run));
    EXPECT_EQ(result.err, c.err(run));
    EXPECT_TRUE(same_bytes(file_exists(run.output) ? run.out_file() : "", c.after(lines)));
    EXPECT_TRUE(same_bytes(read_file(run.map), kBilinearMap));
  }
}

}  // namespace
