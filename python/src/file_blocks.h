#pragma once
// A block of a large file cut at line ends, for one partition of it.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace fuelcalc_python {

struct LinesBlock {
  std::string text;            // whole lines, each with its line feed
  std::size_t first_line = 0;  // the 1-based line of the first of them
};

// The lines of the file that start at a byte in [start, end) and come after
// line `after` (the header's end), read in pieces. Throws fuelcalc::Error
// open or read (errno in os_error()) when the file cannot be read.
LinesBlock lines_block(const std::filesystem::path& file, std::uint64_t start, std::uint64_t end,
                       std::size_t after);

}  // namespace fuelcalc_python
