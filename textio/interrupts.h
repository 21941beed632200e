#pragma once
// Interrupts: SIGINT, SIGTERM and SIGHUP do not kill the run where it stands.
// They are noted, and the run ends at its next read of a file or the console
// as any other ending does: the lines of the records read so far are written
// out, the files are closed, and the exit status is 128 + the signal number
// (130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP).

namespace textio {

// Installs the handlers. Blocking reads are not restarted after a signal, so a
// run waiting for console or pipe input ends at once. A second signal of the
// same kind finds the default action again and kills at once.
void watch_interrupts();

// Ends the run (RunEnd with 128 + the signal number) when a signal has been noted.
void end_if_interrupted();

}  // namespace textio
