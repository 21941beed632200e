#pragma once
// FUELCALC_API marks what the library exports: its classes and functions
// are built with hidden visibility (and a linker version script), so that a
// shared libfuelcalc offers the names of fuelcalc:: and nothing of its
// internals.
#if defined(__GNUC__)
#define FUELCALC_API __attribute__((visibility("default")))
#else
#define FUELCALC_API
#endif
