#pragma once
// The program's files without the text layer: the operating points of an
// input file read by the program's rules, and writers of map and input files
// whose numbers read back to the same doubles.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "fuelcalc/error.hpp"
#include "fuelcalc/export.hpp"

namespace fuelcalc {

// Operating points: speed[i] and torque[i] are point i.
struct OperatingPoints {
  std::vector<double> speed;
  std::vector<double> torque;
};

// Every pair of an input file after its header record. An unreadable record
// throws Error (kind read, index() the read's ordinal, line() its line),
// except an unreadable last record, which ends the data as in the program.
FUELCALC_API OperatingPoints read_points(const std::filesystem::path& file);

// The same, a block at a time, for files larger than memory.
class FUELCALC_API PointReader {
 public:
  // Opens the file and reads its header record; throws Error (open, read).
  explicit PointReader(const std::filesystem::path& file);
  ~PointReader();
  PointReader(PointReader&&) noexcept;
  PointReader& operator=(PointReader&&) noexcept;

  // Fills up to speed.size() pairs (torque.size() must be the same); returns
  // how many were read, 0 at the end of the data. An unreadable record
  // throws Error as read_points does, from the first call that has no pair
  // before it to return.
  std::size_t read(std::span<double> speed, std::span<double> torque);
  // Pairs read so far.
  std::size_t count() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A map file: two header lines, then one line "speed torque fuel" per point.
// Throws Error: invalid_argument (arrays of different lengths), open, write.
// Both writers replace a regular file whole: they write a new file beside it
// (with its permissions; a new file's are 0666 less the umask) and rename it
// over it, so that a failed write leaves the file as it was. A symbolic link
// is followed and its target replaced; a FIFO or a device, and a file in a
// folder where no new file may be made, are written in place.
FUELCALC_API void write_map(const std::filesystem::path& file, std::span<const double> speed,
                            std::span<const double> torque, std::span<const double> fuel);
// An input file: one header line, then one line "speed torque" per point.
FUELCALC_API void write_points(const std::filesystem::path& file, std::span<const double> speed,
                               std::span<const double> torque);

}  // namespace fuelcalc
