#pragma once
// The batch run: names settled, map loaded, grid built, every input record
// turned into one result line, closing message written.

namespace driver {

// Runs the whole batch for the process's command line. Returns the exit
// status of a run that reaches its closing message: 0 when the input ended
// normally, 1 when a record could not be read (the output is incomplete).
int run_batch(int argc, const char* const* argv);

}  // namespace driver
