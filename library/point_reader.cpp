// The operating points of an input file, by the program's reading rules.
#include <optional>
#include <string>

#include "fuelcalc/points.hpp"
#include "library/failure_messages.h"
#include "library/file_source.h"
#include "textio/fixed_text.h"
#include "textio/list_input.h"

namespace fuelcalc {
struct PointReader::State {
  explicit State(const std::filesystem::path& file)
      : name(file.string()), input(file, /*replay_on_rewind=*/false) {}
  std::string name;
  FileSource input;
  // The program's two variables: a read that leaves one unchanged (a null
  // value, a slash) gives the pair the value of the read before.
  double speed = 0.0, torque = 0.0;
  std::size_t count = 0;
  bool ended = false;
  // A failed read after pairs of the same call: raised by the next call, so
  // that those pairs are handed over first.
  std::optional<Error> pending;
};

PointReader::PointReader(const std::filesystem::path& file)
    : state_(std::make_unique<State>(file)) {
  textio::RecordSource& source = state_->input.source;
  textio::FixedText header = textio::blank_text();
  const int status = textio::read_list_text(source, header);
  if (status == textio::kReadEnd)
    throw Error(ErrorKind::read, "the input file '" + state_->name + "' has no header line");
  if (status != textio::kReadOk)
    throw std::move(Error(ErrorKind::read, "the input file '" + state_->name +
                                               "' cannot be read at its header line: " +
                                               header_read_cause(status, source.os_error))
                        .with_index(0)
                        .with_line(source.records)
                        .with_os_error(status == textio::kReadFailure ? source.os_error : 0));
}

PointReader::~PointReader() = default;
PointReader::PointReader(PointReader&&) noexcept = default;
PointReader& PointReader::operator=(PointReader&&) noexcept = default;

std::size_t PointReader::read(std::span<double> speed, std::span<double> torque) {
  require_same_lengths({"speed", "torque"}, {speed.size(), torque.size()});
  State& state = *state_;
  if (state.pending) {
    Error error = std::move(*state.pending);
    state.pending.reset();
    throw error;
  }
  textio::RecordSource& source = state.input.source;
  double* const pair[] = {&state.speed, &state.torque};
  std::size_t filled = 0;
  while (filled < speed.size() && !state.ended) {
    const int status = textio::read_list_numbers(source, pair);
    if (status == textio::kReadOk) {
      speed[filled] = state.speed;
      torque[filled] = state.torque;
      ++filled;
      ++state.count;
      continue;
    }
    // The end of the data, or a read that failed on the last record, ends
    // the points as it ends the program's record loop with its completion.
    state.ended = true;
    if (status == textio::kReadEnd || textio::source_at_end(source)) break;
    const std::size_t ordinal = state.count + 1;
    Error error(ErrorKind::read, "the input file '" + state.name + "' cannot be read at line " +
                                     std::to_string(source.records) + " (read " +
                                     std::to_string(ordinal) +
                                     "): " + read_cause(status, source.os_error));
    error.with_index(ordinal).with_line(source.records);
    error.with_os_error(status == textio::kReadFailure ? source.os_error : 0);
    if (filled == 0) throw error;
    state.pending = std::move(error);
  }
  return filled;
}

std::size_t PointReader::count() const { return state_->count; }

OperatingPoints read_points(const std::filesystem::path& file) {
  PointReader reader(file);
  OperatingPoints points;
  constexpr std::size_t kBlock = 4096;
  for (;;) {
    const std::size_t have = points.speed.size();
    points.speed.resize(have + kBlock);
    points.torque.resize(have + kBlock);
    const std::size_t got =
        reader.read(std::span(points.speed).subspan(have), std::span(points.torque).subspan(have));
    points.speed.resize(have + got);
    points.torque.resize(have + got);
    // Only a call that returns nothing ends the data: a failed read after
    // pairs of the same call is raised by the next one.
    if (got == 0) return points;
  }
}

}  // namespace fuelcalc
