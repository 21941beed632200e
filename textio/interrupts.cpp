#include "textio/interrupts.h"

#include <csignal>

#include "textio/endings.h"

namespace textio {
namespace {

// The signal noted by the handler, 0 while none has arrived. The only state a
// signal handler may touch safely.
volatile std::sig_atomic_t noted_signal = 0;

extern "C" void note_signal(int number) { noted_signal = number; }

}  // namespace

void watch_interrupts() {
  struct sigaction action {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // no SA_RESTART: a blocking read returns EINTR
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

void end_if_interrupted() {
  if (noted_signal != 0) throw RunEnd{128 + noted_signal};
}

}  // namespace textio
