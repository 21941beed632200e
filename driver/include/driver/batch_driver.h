#pragma once
// The batch run: names settled, map loaded, grid built, every input record
// turned into one result line, closing message written.

namespace driver {

// How the fuel value of each record is computed: from the precomputed grid
// slopes (the program), or by the literal two-pass procedure (a reference for
// benchmarks; both give the same doubles).
enum class Evaluation { Precomputed, Literal };

// Runs the whole batch for the process's command line. Returns the exit
// status of a run that reaches its closing message: 0 when the input ended
// normally, 1 when a record could not be read (the output is incomplete).
int run_batch(int argc, const char* const* argv, Evaluation evaluation);

// The whole process: runs the batch, unwinds every ending to here, flushes and
// closes all units, and gives the exit status.
int run_program(int argc, const char* const* argv, Evaluation evaluation);

}  // namespace driver
