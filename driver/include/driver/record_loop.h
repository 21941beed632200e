#pragma once
// The record loop: every input record becomes one result line, in record
// order. Records are read a block at a time; on two threads the reading and
// parsing of the next blocks runs ahead of the evaluation, editing and
// writing of the earlier ones. The lines, the record count, the read that
// ends the loop and every ending of the run are the same either way.
#include <cstdint>

#include "fuelmap/grid.h"
#include "fuelmap/point_evaluator.h"

namespace driver {

// Threads for the record loop: FUELCALC_THREADS=1 or 2 when it is set so
// (any other value is ignored), else two when the process may run on at
// least two CPUs.
int record_loop_threads();

// Reads statements of two doubles from unit `in` until one does not succeed
// and writes the result line of each to unit `out`; returns the number of
// lines written. An ending met while reading (a signal, also one that
// arrives while a read waits for input, a run-time error) ends the run once
// the lines of the records read before it are written; an ending met while
// writing or evaluating ends it at once.
std::int64_t run_record_loop(int in, int out, const fuelmap::PointEvaluator& evaluator,
                             const fuelmap::GRID& grid, int threads);

}  // namespace driver
