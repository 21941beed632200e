// The fuelcalc program with the literal point evaluation: the reference the
// throughput script compares the program's speed and output with.
#include "driver/batch_driver.h"

int main(int argc, char** argv) {
  return driver::run_program(argc, argv, driver::Evaluation::Literal);
}
