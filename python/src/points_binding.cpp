// The program's files as numpy arrays: read_points and PointReader read an
// input file by the program's rules in C++; write_map and write_points write
// files whose numbers read back to the same doubles.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>

#include "arrays.h"
#include "bindings.h"
#include "errors.h"
#include "fuelcalc/points.hpp"
#include "instances.h"

namespace fuelcalc_python {

namespace {

using namespace pybind11::literals;

// The reader fills the arrays' own storage, a block as large as the room
// left; the first guess of the size is one pair per 12 bytes of the file.
py::tuple read_points(py::handle file) {
  const auto path = to_path(file);
  std::error_code unknown;
  const auto bytes = std::filesystem::file_size(path, unknown);
  const std::size_t guess = unknown ? 0 : static_cast<std::size_t>(bytes / 12);
  GrowingDoubles speed(std::max<std::size_t>(guess, 4096)), torque(speed.capacity());
  const std::size_t count = naming_file(file, [&] {
    py::gil_scoped_release release;
    fuelcalc::PointReader reader(path);
    std::size_t n = 0;
    for (;;) {
      if (n == speed.capacity()) {
        speed.resize(2 * n);
        torque.resize(2 * n);
      }
      const std::size_t room = speed.capacity() - n;
      // A call after the last pairs returns 0, or raises a failed read that
      // the reader held back while it handed over the pairs before it.
      const std::size_t got = reader.read({speed.data() + n, room}, {torque.data() + n, room});
      if (got == 0) return n;
      n += got;
    }
  });
  return py::make_tuple(speed.release(count), torque.release(count));
}

// A PointReader for Python: blocks of pairs as arrays, closed by close() or
// at the end of a with block. Threads may share one: a lock lets one call at
// a time use the file, each waiting for it with the GIL released (a holder
// of the lock never needs the GIL, so waiting cannot deadlock).
class Reader {
 public:
  explicit Reader(py::handle file) : file_(py::module_::import("os").attr("fspath")(file)) {
    const auto path = to_path(file);
    reader_.emplace(naming_file(file_, [&] {
      py::gil_scoped_release release;
      return fuelcalc::PointReader(path);
    }));
  }

  py::tuple read(py::ssize_t count) {
    if (count < 0) throw py::value_error("count must not be negative");
    py::array_t<double> speed(count), torque(count);
    std::size_t n = 0;
    const bool open = naming_file(file_, [&] {
      return with_reader([&](fuelcalc::PointReader& reader) {
        n = reader.read({speed.mutable_data(), static_cast<std::size_t>(count)},
                        {torque.mutable_data(), static_cast<std::size_t>(count)});
      });
    });
    if (!open) throw py::value_error("read from a closed PointReader");
    if (static_cast<py::ssize_t>(n) == count) return py::make_tuple(speed, torque);
    const py::slice first(0, static_cast<py::ssize_t>(n), 1);
    return py::make_tuple(speed[first].attr("copy")(), torque[first].attr("copy")());
  }

  std::size_t count() {
    std::size_t n = 0;
    if (!with_reader([&](fuelcalc::PointReader& reader) { n = reader.count(); })) {
      throw py::value_error("PointReader is closed");
    }
    return n;
  }

  void close() {
    py::gil_scoped_release release;
    const std::lock_guard lock(mutex_);
    reader_.reset();
  }

 private:
  // Runs use(reader) under the lock, the GIL released; false when closed.
  template <class Use>
  bool with_reader(Use&& use) {
    py::gil_scoped_release release;
    const std::lock_guard lock(mutex_);
    if (!reader_) return false;
    use(*reader_);
    return true;
  }

  py::object file_;
  std::mutex mutex_;
  std::optional<fuelcalc::PointReader> reader_;
};

template <class Write>
void write(py::handle file, Write&& write_file) {
  const auto path = to_path(file);
  naming_file(file, [&] {
    py::gil_scoped_release release;
    write_file(path);
  });
}

}  // namespace

void bind_points(py::module_& module) {
  module.def("read_points", &read_points, "file"_a,
             R"(Every (speed, torque) pair of an input file after its header record,
by the program's reading rules, as two float64 arrays.

Raises OSError (with errno) when the file cannot be opened or read, and
ReadError naming the line of a record that is not numbers; an unreadable
last record ends the data, as in the program.)");

  py::class_<Reader>(module, "PointReader",
                     R"(An input file read a block of pairs at a time, for files larger than
memory: for speed, torque in PointReader(file): ...

Threads may share a reader: its calls take turns (each block is a run of
consecutive pairs, handed to one thread), and close() waits for a read in
progress to end.)")
      .def(py::init<py::handle>(), "file"_a, "Opens the file and reads its header record.")
      .def("read", method(&Reader::read), "count"_a = 1 << 16,
           "Up to count pairs as two float64 arrays; empty arrays at the end of the data.")
      .def_property_readonly("count", method(&Reader::count), "Pairs read so far.")
      .def("close", method(&Reader::close), "Closes the file.")
      .def("__enter__",
           [](py::object self) {
             built<Reader>(self);
             return self;
           })
      .def("__exit__", [](py::handle self, py::args) { built<Reader>(self).close(); })
      .def("__iter__",
           [](py::object self) {
             built<Reader>(self);
             return self;
           })
      .def("__next__",
           [](py::handle self) {
             auto block = built<Reader>(self).read(1 << 16);
             if (block[0].cast<py::array>().size() == 0) throw py::stop_iteration();
             return block;
           })
      .def("__reduce__", &not_picklable);

  module.def(
      "write_map",
      [](py::handle file, py::handle speed, py::handle torque, py::handle fuel) {
        const auto s = as_doubles(speed, "speed");
        const auto t = as_doubles(torque, "torque");
        const auto f = as_doubles(fuel, "fuel");
        write(file, [&](const auto& path) {
          fuelcalc::write_map(path, elements(s), elements(t), elements(f));
        });
      },
      "file"_a, "speed"_a, "torque"_a, "fuel"_a,
      R"(Writes a map file of the measured points (flattened arrays of one size)
that FuelMap.load reads back to the same doubles.)");
  module.def(
      "write_points",
      [](py::handle file, py::handle speed, py::handle torque) {
        const auto s = as_doubles(speed, "speed");
        const auto t = as_doubles(torque, "torque");
        write(file,
              [&](const auto& path) { fuelcalc::write_points(path, elements(s), elements(t)); });
      },
      "file"_a, "speed"_a, "torque"_a,
      R"(Writes an input file of operating points that read_points reads back
to the same doubles.)");
}

}  // namespace fuelcalc_python
