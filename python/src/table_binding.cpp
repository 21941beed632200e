// Tables for Python: read_table's columns as numpy arrays, filled with the
// GIL released, and FuelMap.load_table over the library's map tables.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "arrays.h"
#include "bindings.h"
#include "errors.h"
#include "file_blocks.h"
#include "fuelcalc/fuel_map.hpp"
#include "fuelcalc/map_table.hpp"
#include "fuelcalc/table.hpp"
#include "options.h"
#include "table_options.h"

namespace fuelcalc_python {

fuelcalc::ColumnChoice choice_of(const Choice& choice) {
  if (const auto* position = std::get_if<std::size_t>(&choice)) {
    if (*position == 0) throw py::value_error("column positions count from 1");
    return fuelcalc::ColumnChoice::at(*position);
  }
  return fuelcalc::ColumnChoice::named(std::get<std::string>(choice));
}

std::vector<fuelcalc::ColumnChoice> choices_of(const std::optional<std::vector<Choice>>& list) {
  std::vector<fuelcalc::ColumnChoice> out;
  if (list)
    for (const Choice& choice : *list) out.push_back(choice_of(choice));
  return out;
}

fuelcalc::Delimiter delimiter_of(const std::optional<std::string>& name) {
  if (!name) return fuelcalc::Delimiter::detect;
  if (*name == ",") return fuelcalc::Delimiter::comma;
  if (*name == ";") return fuelcalc::Delimiter::semicolon;
  if (*name == "\t") return fuelcalc::Delimiter::tab;
  if (*name == " " || *name == "blanks") return fuelcalc::Delimiter::blanks;
  throw py::value_error(
      "delimiter must be None (found in the header), ',', ';', '\\t' or ' ' "
      "(runs of blanks), not '" +
      *name + "'");
}

namespace {

using namespace pybind11::literals;
constexpr std::size_t kBlockRows = std::size_t{1} << 16;

const char* delimiter_text(fuelcalc::Delimiter delimiter) {
  switch (delimiter) {
    case fuelcalc::Delimiter::comma: return ",";
    case fuelcalc::Delimiter::semicolon: return ";";
    case fuelcalc::Delimiter::tab: return "\t";
    default: return " ";
  }
}

std::optional<BlockRange> range_of(
    const std::optional<std::tuple<std::uint64_t, std::uint64_t, std::size_t>>& block) {
  if (!block) return std::nullopt;
  const auto [start, end, first_line] = *block;
  return BlockRange{start, end, first_line};
}

std::vector<std::size_t> block_lines(py::handle file, const std::vector<std::uint64_t>& starts) {
  if (!std::is_sorted(starts.begin(), starts.end()))
    throw py::value_error("the offsets must ascend");
  const auto path = to_path(file);
  return naming_file(file, [&] {
    py::gil_scoped_release release;
    return lines_at(path, starts);
  });
}

// Every row of the table: the numbers straight into the arrays' storage,
// the texts into strings, both while the GIL is released.
// With a block, the rows of the lines that start in it (a partition of a
// large file), and with lines the line of each row.
py::dict read_table(
    py::handle file, const std::optional<std::vector<Choice>>& columns,
    const std::optional<std::vector<Choice>>& text, const std::optional<std::string>& delimiter,
    bool allow_empty,
    const std::optional<std::tuple<std::uint64_t, std::uint64_t, std::size_t>>& block,
    bool want_lines) {
  fuelcalc::TableOptions options;
  options.columns = choices_of(columns);
  options.text_columns = choices_of(text);
  options.delimiter = delimiter_of(delimiter);
  options.allow_no_rows = allow_empty;
  const auto path = to_path(file);
  std::optional<fuelcalc::TableReader> reader;
  std::vector<std::unique_ptr<GrowingDoubles>> numbers;
  std::vector<std::vector<std::string>> texts;
  std::vector<std::size_t> lines;
  const std::size_t rows = naming_file(file, [&] {
    py::gil_scoped_release release;
    reader.emplace(block_reader(path, options, range_of(block)));
    const auto& read = reader->columns();
    for (const auto& column : read) {
      (void)column;
      numbers.push_back(std::make_unique<GrowingDoubles>(kBlockRows));
    }
    texts.resize(read.size());
    fuelcalc::TableBlock chunk;
    std::size_t n = 0;
    while (const std::size_t got = reader->read(chunk, kBlockRows)) {
      for (std::size_t k = 0; k < read.size(); ++k) {
        if (read[k].text) {
          for (std::string& cell : chunk.texts[k]) texts[k].push_back(std::move(cell));
          continue;
        }
        GrowingDoubles& out = *numbers[k];
        if (out.capacity() < n + got) out.resize(2 * (n + got));
        std::memcpy(out.data() + n, chunk.numbers[k].data(), got * sizeof(double));
      }
      if (want_lines) lines.insert(lines.end(), chunk.lines.begin(), chunk.lines.end());
      n += got;
    }
    return n;
  });
  py::list names, arrays, units, empty;
  const auto numpy = py::module_::import("numpy");
  const auto& read = reader->columns();
  for (std::size_t k = 0; k < read.size(); ++k) {
    names.append(read[k].name.empty() ? std::to_string(read[k].position) : read[k].name);
    if (read[k].text) {
      py::list cells(rows);
      for (std::size_t i = 0; i < rows; ++i) cells[i] = py::str(texts[k][i]);
      arrays.append(numpy.attr("array")(cells, "dtype"_a = "object"));
    } else {
      arrays.append(numbers[k]->release(rows));
    }
    units.append(read[k].unit.empty() ? py::object(py::none()) : py::str(read[k].unit));
    empty.append(reader->empty_cells()[k]);
  }
  py::list comments;
  for (const auto& comment : reader->comments()) comments.append(comment);
  py::array_t<std::int64_t> line_array(static_cast<py::ssize_t>(lines.size()));
  std::copy(lines.begin(), lines.end(), line_array.mutable_data());
  return py::dict("names"_a = names, "arrays"_a = arrays, "units"_a = units, "empty"_a = empty,
                  "delimiter"_a = delimiter_text(reader->delimiter()), "comments"_a = comments,
                  "rows"_a = rows, "lines"_a = line_array);
}

fuelcalc::FuelMap load_table(py::handle file, const std::optional<Choice>& speed,
                             const std::optional<Choice>& torque, const std::optional<Choice>& fuel,
                             const std::string& layout,
                             const std::optional<std::map<std::string, std::string>>& units,
                             const std::string& method, const std::string& outside,
                             const std::optional<std::string>& delimiter, bool transposed) {
  fuelcalc::MapTableOptions options;
  options.layout = parse_layout(layout);
  options.transposed = transposed;
  options.delimiter = delimiter_of(delimiter);
  if (speed) options.speed = choice_of(*speed);
  if (torque) options.torque = choice_of(*torque);
  if (fuel) options.fuel = choice_of(*fuel);
  if (units) {
    for (const auto& [role, unit] : *units) {
      if (role == "speed")
        options.speed_unit = unit;
      else if (role == "torque")
        options.torque_unit = unit;
      else if (role == "fuel")
        options.fuel_unit = unit;
      else
        throw py::value_error("units takes the keys 'speed', 'torque', 'fuel', not '" + role + "'");
    }
  }
  const auto m = parse_method(method);
  const auto o = parse_outside(outside);
  const auto path = to_path(file);
  return naming_file(file, [&] {
    py::gil_scoped_release release;
    return fuelcalc::FuelMap::from_table(path, options, m, o);
  });
}

}  // namespace

void bind_tables(py::module_& module) {
  module.def("_read_table", &read_table, "file"_a, "columns"_a = py::none(), "text"_a = py::none(),
             "delimiter"_a = py::none(), "allow_empty"_a = false, "block"_a = py::none(),
             "lines"_a = false,
             "The columns of a table as arrays (fuelcalc.read_table builds on it); block: "
             "(start, end, first_line) of _block_lines, the rows of the lines that start there.");
  module.def("_block_lines", &block_lines, "file"_a, "starts"_a,
             "The line at each of the ascending byte offsets, in one pass over the file.");
  auto fuel_map = py::reinterpret_borrow<py::object>(py::type::of<fuelcalc::FuelMap>());
  fuel_map.attr("load_table") = py::staticmethod(py::cpp_function(
      &load_table, "file"_a, py::kw_only(), "speed"_a = py::none(), "torque"_a = py::none(),
      "fuel"_a = py::none(), "layout"_a = "points", "units"_a = py::none(), "method"_a = "grid",
      "outside"_a = "extrapolate", "delimiter"_a = py::none(), "transposed"_a = false,
      R"(A map from a table of delimited text (the rules of fuelcalc.read_table).

layout="points": one row per point; speed, torque, fuel choose the columns
by name (ignoring case, without the unit) or 1-based position, else by the
header's words (speed: "speed", "n", "rpm"; torque: "torque", "Me", "T",
"tq"; fuel: "fuel", "bsfc", "FC"), else columns 1, 2, 3.
layout="matrix": speeds across the first row, torques down the first column
(transposed=True: the other way round); an empty cell is no point.
units: {"speed": ..., "torque": ..., "fuel": ...} overriding the file's
units (speed rpm, 1/min, min-1, rad/s, rev/s; torque Nm, N m, N.m, kNm; fuel
g/h, kg/h, g/s, mg/s, g/kWh); without either, rpm, Nm, g/h.)"));
}

}  // namespace fuelcalc_python
