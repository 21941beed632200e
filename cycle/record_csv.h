#pragma once
// The -o file: the cycle's rows as comma-separated values with each record's
// fuel value and class, written to a temporary file beside it and renamed
// into place once complete, so that the file is never seen half-written.
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "fuelcalc/cycle.hpp"

namespace cycle {

class RecordCsv {
 public:
  // Creates the temporary file and writes the header: the cycle's header
  // cells, then "fuel [g/h]" and "where". Throws fuelcalc::Error (open).
  RecordCsv(std::string path, const std::vector<std::string>& header);
  // Removes the temporary file unless commit() succeeded.
  ~RecordCsv();
  RecordCsv(const RecordCsv&) = delete;
  RecordCsv& operator=(const RecordCsv&) = delete;

  // Rows of width cells each (cells.size() = fuel.size() * width): the cells
  // as read, the fuel value as its shortest text ("nan" for none), the class.
  void write(std::span<const std::string> cells, std::size_t width, std::span<const double> fuel,
             std::span<const fuelcalc::Where> where);
  // Flushes, closes and renames the file into place; throws fuelcalc::Error (write).
  void commit();

 private:
  void flush();
  std::string path_, temporary_;
  std::FILE* file_ = nullptr;
  std::string buffer_;
  bool failed_ = false;
};

}  // namespace cycle
