#pragma once
// Interrupts: SIGINT, SIGTERM and SIGHUP do not kill the run where it stands.
// They are noted, and the run ends at its next read of a file or the console
// as any other ending does: the lines of the records read so far are written
// out, the files are closed, and the exit status is 128 + the signal number
// (130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP).

namespace runtime {

// Installs the handlers. Blocking reads, writes and opens are not restarted
// after a signal, so a run waiting for console or pipe input, or for a pipe
// reader, ends at once. A second signal of the same kind finds the default
// action again and kills at once.
void watch_interrupts();

// Ends the run (RunEnd with 128 + the signal number) when a signal has been noted.
void end_if_interrupted();

// Whether output that waits for its reader (a pipe, a terminal) is still
// waited for: always until a signal is noted, then for half a second more, so
// that the last lines reach a reader that takes them while a stopped reader
// cannot hold the run. A write still blocked when that time runs out is
// interrupted.
bool output_may_wait();

// Whether a signal has been noted (the run ends at its next read).
bool interrupt_noted();

}  // namespace runtime
