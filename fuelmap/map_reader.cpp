#include "fuelmap/map_reader.h"

#include <cerrno>
#include <limits>
#include <stdexcept>
#include <vector>

#include "textio/fixed_text.h"
#include "textio/list_input.h"
#include "textio/list_trace.h"

namespace fuelmap {
namespace {

MapReading failed(const textio::RecordSource& source, MapReadStatus status, int code,
                  std::size_t point) {
  MapReading reading;
  reading.status = status;
  reading.code = code;
  reading.os_error = code == textio::kReadFailure ? source.os_error : 0;
  reading.line = source.records;
  reading.point = point;
  return reading;
}

// The two header records; an end of the data in either is header_missing.
MapReading read_headers(textio::RecordSource& source) {
  textio::FixedText header = textio::blank_text();
  for (int record = 0; record < 2; ++record) {
    const int status = textio::read_list_text(source, header);
    if (status == textio::kReadEnd) return failed(source, MapReadStatus::header_missing, 0, 0);
    if (status != textio::kReadOk) return failed(source, MapReadStatus::unreadable, status, 0);
  }
  return {};
}

}  // namespace

MapReading read_map(textio::RecordSource& source, MAP& map, std::vector<std::size_t>* lines) {
  map.NMAP = 0;

  // Counting pass. A read that succeeds without all three values would leave
  // a point partly invented, so it fails too.
  if (MapReading headers = read_headers(source); headers.status != MapReadStatus::ok)
    return headers;
  for (;;) {
    double first = 0.0, second = 0.0, fuel = 0.0;
    double* const point[] = {&first, &second, &fuel};
    int stored = 0;
    const int status = textio::read_list_numbers(source, point, &stored);
    if (status == textio::kReadEnd) break;
    const auto ordinal = static_cast<std::size_t>(map.NMAP) + 1;
    if (status != textio::kReadOk)
      return failed(source, MapReadStatus::unreadable, status, ordinal);
    if (stored < 3) return failed(source, MapReadStatus::incomplete_point, 0, ordinal);
    if (map.NMAP == std::numeric_limits<int>::max()) throw std::length_error("map points");
    ++map.NMAP;
  }

  const auto count = static_cast<std::size_t>(map.NMAP);
  map.XMAP = std::vector<double>(count);
  map.YMAP = std::vector<double>(count);
  map.FCMAP = std::vector<double>(count);

  // Reading pass over the same records.
  if (!textio::rewind_source(source)) {
    MapReading reading;
    reading.status = MapReadStatus::rewind_failed;
    reading.os_error = errno;
    return reading;
  }
  if (MapReading headers = read_headers(source); headers.status != MapReadStatus::ok)
    return headers.status == MapReadStatus::header_missing
               ? failed(source, MapReadStatus::shrank, 0, 0)
               : headers;
  if (lines) lines->assign(count, 0);
  textio::StatementTrace trace;
  for (std::size_t i = 0; i < count; ++i) {
    double* const point[] = {&map.XMAP[i], &map.YMAP[i], &map.FCMAP[i]};
    const std::size_t before = source.records;
    int stored = 0;
    const int status = lines ? textio::read_list_numbers_traced(source, point, stored, trace)
                             : textio::read_list_numbers(source, point);
    if (lines && status == textio::kReadOk && !trace.marks.empty())
      (*lines)[i] = before + trace.marks[0].record + 1;
    if (status == textio::kReadEnd) return failed(source, MapReadStatus::shrank, 0, i + 1);
    if (status != textio::kReadOk) return failed(source, MapReadStatus::unreadable, status, i + 1);
  }
  return {};
}

}  // namespace fuelmap
