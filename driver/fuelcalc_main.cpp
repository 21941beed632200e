// fuelcalc MAP INPUT OUTPUT: fuel consumption at every operating point of
// INPUT, interpolated from the TORQUE MAP; names not given are asked for.
#include "driver/batch_driver.h"

int main(int argc, char** argv) {
  return driver::run_program(argc, argv, driver::Evaluation::Precomputed);
}
