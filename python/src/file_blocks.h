#pragma once
// Blocks of a large file cut at line ends, for one partition each: the
// lines that start in a byte range, numbered as in the whole file.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fuelcalc/table.hpp"

namespace fuelcalc_python {

// A block of a file: the lines that start at a byte in [start, end), the
// first of them (or the one begun before start) line first_line.
struct BlockRange {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::size_t first_line = 1;
};

// The 1-based line at each of the ascending offsets (the line that starts
// there or was begun before it), in one pass over the file. Throws
// fuelcalc::Error open or read (errno in os_error()) when the file cannot
// be read.
std::vector<std::size_t> lines_at(const std::filesystem::path& file,
                                  std::span<const std::uint64_t> offsets);

// A reader of the table's rows: all of them, or those of the block's lines
// after the header and unit line (read from the file's start). Throws
// fuelcalc::Error as TableReader does.
fuelcalc::TableReader block_reader(const std::filesystem::path& file,
                                   fuelcalc::TableOptions options,
                                   const std::optional<BlockRange>& block);

}  // namespace fuelcalc_python
