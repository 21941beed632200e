#pragma once
// Messages of the fuzz targets. They go to the standard error the process
// started with, which stays with libFuzzer's log when -close_fd_mask=2 sends
// the program's own error lines to /dev/null.

namespace fuzzing {

// A fault of the code under test: the message, then abort(), which libFuzzer
// reports as a crash, saving the input.
[[noreturn]] void fault(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A failure of the fuzzing set-up itself (not of the code under test): the
// message with errno's text, then exit status 2.
[[noreturn]] void setup_failure(const char* what);

}  // namespace fuzzing
