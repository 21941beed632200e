#pragma once
// File names that stand for a descriptor the process already holds:
// /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, or a link to one.
// Opening such a name opens the file afresh, at its start and without the
// descriptor's append mode; a unit may rather write through the descriptor.
#include <string>

namespace runtime {

// The descriptor number the name stands for, or -1 when it names none (or
// when /proc cannot tell).
int descriptor_named(const std::string& name);

}  // namespace runtime
