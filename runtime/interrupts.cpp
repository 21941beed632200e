#include "runtime/interrupts.h"

#include <unistd.h>

#include <csignal>
#include <ctime>

#include "runtime/endings.h"

namespace runtime {
namespace {

constexpr long kGraceNanoseconds = 500'000'000;

// The signal noted by the handler, 0 while none has arrived, and whether the
// grace period after it has run out: the only state the handlers touch.
volatile std::sig_atomic_t noted_signal = 0;
volatile std::sig_atomic_t grace_over = 0;

// The timer that ends the grace period with the first real-time signal, aimed
// at the thread that watches the interrupts (the one that writes the output),
// so that it is the one whose blocked write is interrupted. Set up once,
// before any handler. SIGALRM stays the caller's: a harness that runs the
// program in its own process may use it for its own timer.
timer_t grace_timer;
bool have_grace_timer = false;

extern "C" void note_signal(int number) {
  const bool first = noted_signal == 0;
  noted_signal = number;
  if (!first) return;
  const itimerspec grace{{0, 0}, {0, kGraceNanoseconds}};
  if (!have_grace_timer || timer_settime(grace_timer, 0, &grace, nullptr) != 0) grace_over = 1;
}

// Only the grace timer ends the grace: the same signal sent by anything else
// before an interrupt changes nothing.
extern "C" void end_grace(int) {
  if (noted_signal != 0) grace_over = 1;
}

}  // namespace

void watch_interrupts() {
  if (!have_grace_timer) {
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = SIGRTMIN;
#ifdef sigev_notify_thread_id
    event.sigev_notify_thread_id = ::gettid();
#else
    event._sigev_un._tid = ::gettid();  // the C library does not name the field yet
#endif
    have_grace_timer = timer_create(CLOCK_MONOTONIC, &event, &grace_timer) == 0;
  }
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = end_grace;
  sigaction(SIGRTMIN, &action, nullptr);  // no SA_RESTART: a blocked write returns EINTR
  action.sa_handler = note_signal;
  action.sa_flags = SA_RESETHAND;
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

bool interrupt_noted() { return noted_signal != 0; }

void end_if_interrupted() {
  if (noted_signal != 0) throw RunEnd{128 + noted_signal};
}

bool output_may_wait() { return grace_over == 0; }

}  // namespace runtime
