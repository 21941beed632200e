// fuelcalc MAP INPUT OUTPUT: fuel consumption at every operating point of
// INPUT, interpolated from the TORQUE MAP; names not given are asked for.
#include <csignal>

#include "driver/batch_driver.h"
#include "textio/endings.h"
#include "textio/units.h"

int main(int argc, char** argv) {
  // A closed output pipe is reported as a write error, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  int status = 0;
  try {
    status = driver::run_batch(argc, argv);
  } catch (const textio::RunEnd& end) {
    status = end.status;
  }
  const int flush_failure = textio::close_all_units();
  return status == 0 ? flush_failure : status;
}
