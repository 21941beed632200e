// fuelcalc.FuelMap: a map built once and evaluated over numpy arrays with the
// GIL released, so threads share one map and run in parallel.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <sstream>
#include <string>

#include "arrays.h"
#include "bindings.h"
#include "errors.h"
#include "fuelcalc/fuel_map.hpp"
#include "instances.h"
#include "options.h"

namespace fuelcalc_python {

namespace {

using fuelcalc::FuelMap;
using namespace pybind11::literals;

FuelMap from_points(py::handle speed, py::handle torque, py::handle fuel, const std::string& method,
                    const std::string& outside) {
  const auto m = parse_method(method);
  const auto o = parse_outside(outside);
  const auto s = as_doubles(speed, "speed");
  const auto t = as_doubles(torque, "torque");
  const auto f = as_doubles(fuel, "fuel");
  py::gil_scoped_release release;
  return FuelMap::from_points(elements(s), elements(t), elements(f), m, o);
}

// A read-only array over the map's own storage; the map object stays alive
// as the array's base (maps are immutable).
py::array view(py::handle map, const double* first, py::ssize_t count, py::ssize_t stride) {
  py::array array(py::dtype::of<double>(), {count}, {stride}, first, map);
  array.attr("setflags")("write"_a = false);
  return array;
}

// Where every point stands, a block at a time, each code handed to store.
template <class Store>
void classify(const FuelMap& map, std::span<const double> speed, std::span<const double> torque,
              Store store) {
  std::array<fuelcalc::Where, 4096> block;
  for (std::size_t start = 0; start < speed.size(); start += block.size()) {
    const std::size_t n = std::min(block.size(), speed.size() - start);
    map.where(speed.subspan(start, n), torque.subspan(start, n), std::span(block.data(), n));
    for (std::size_t i = 0; i < n; ++i) store(start + i, block[i]);
  }
}

py::object fuel(const FuelMap& map, py::handle speed, py::handle torque) {
  if (PyFloat_Check(speed.ptr()) && PyFloat_Check(torque.ptr())) {
    return py::float_(map.fuel(PyFloat_AS_DOUBLE(speed.ptr()), PyFloat_AS_DOUBLE(torque.ptr())));
  }
  const auto points = broadcast(speed, "speed", torque, "torque");
  py::array_t<double> out(points.shape);
  const std::span<double> values(out.mutable_data(), static_cast<std::size_t>(out.size()));
  {
    py::gil_scoped_release release;
    map.fuel(elements(points.first), elements(points.second), values);
  }
  if (points.scalar) return py::float_(values[0]);
  return out;
}

py::object where(const FuelMap& map, py::handle speed, py::handle torque) {
  const auto points = broadcast(speed, "speed", torque, "torque");
  py::array_t<std::int8_t> out(points.shape);
  std::int8_t* codes = out.mutable_data();
  {
    py::gil_scoped_release release;
    classify(map, elements(points.first), elements(points.second),
             [codes](std::size_t i, fuelcalc::Where w) { codes[i] = static_cast<std::int8_t>(w); });
  }
  if (points.scalar) return py::int_(codes[0]);
  return out;
}

py::object inside(const FuelMap& map, py::handle speed, py::handle torque) {
  const auto points = broadcast(speed, "speed", torque, "torque");
  py::array_t<bool> out(points.shape);
  bool* flags = out.mutable_data();
  {
    py::gil_scoped_release release;
    classify(
        map, elements(points.first), elements(points.second),
        [flags](std::size_t i, fuelcalc::Where w) { flags[i] = w == fuelcalc::Where::inside; });
  }
  if (points.scalar) return py::bool_(flags[0]);
  return out;
}

std::size_t count_outside(const FuelMap& map, py::handle speed, py::handle torque) {
  const auto points = broadcast(speed, "speed", torque, "torque");
  py::gil_scoped_release release;
  return map.count_outside(elements(points.first), elements(points.second));
}

// "lo to hi" of the values that are numbers.
std::string range(std::span<const double> values) {
  double lo = NAN, hi = NAN;
  for (double v : values) {
    lo = std::fmin(lo, v);
    hi = std::fmax(hi, v);
  }
  std::ostringstream text;
  text << lo << " to " << hi;
  return text.str();
}

std::string repr(const FuelMap& map) {
  std::string text = "FuelMap(" + std::to_string(map.size()) + " points, speed " +
                     range(map.point_speeds()) + ", torque " + range(map.point_torques()) +
                     ", fuel " + range(map.point_fuels());
  if (map.method() != fuelcalc::Method::grid) text += ", method='" + method_name(map) + "'";
  if (map.outside() != fuelcalc::Outside::extrapolate) {
    text += ", outside='" + outside_name(map) + "'";
  }
  return text + ")";
}

py::array_t<double> copy(std::span<const double> values) {
  return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
}

// A map travels as its measured points and options and is rebuilt from them:
// pickle makes an unbuilt map by __new__ and gives it the state through
// __setstate__, under every protocol.
py::tuple get_state(const FuelMap& map) {
  return py::make_tuple(copy(map.point_speeds()), copy(map.point_torques()),
                        copy(map.point_fuels()), method_name(map), outside_name(map));
}

void set_state(py::handle self, const py::tuple& state) {
  if (state.size() != 5) throw py::value_error("FuelMap state: expected 5 items");
  build(self, from_points(state[0], state[1], state[2], state[3].cast<std::string>(),
                          state[4].cast<std::string>()));
}

py::tuple reduce(py::handle self) {
  return py::make_tuple(py::module_::import("copyreg").attr("__newobj__"),
                        py::make_tuple(py::type::handle_of(self)), get_state(built<FuelMap>(self)));
}

}  // namespace

void bind_fuel_map(py::module_& module) {
  py::class_<FuelMap> cls(module, "FuelMap",
                          R"(A fuel map: measured points resampled onto a 20 x 20 grid.

Built with FuelMap.load or FuelMap.from_points; immutable, and safe to share
between threads. Its values are bit for bit those the fuelcalc program
writes for the same map and operating point. Arguments are numbers or
numeric array-likes; a masked array with masked elements raises ValueError
(fill them or leave them out first).)");
  cls.def_static(
         "load",
         [](py::handle file, const std::string& method, const std::string& outside) {
           const auto m = parse_method(method);
           const auto o = parse_outside(outside);
           const auto path = to_path(file);
           return naming_file(file, [&] {
             py::gil_scoped_release release;
             return FuelMap::load(path, m, o);
           });
         },
         "file"_a, py::kw_only(), "method"_a = "grid", "outside"_a = "extrapolate",
         R"(Loads a map file by the program's reading rules: two header records,
then groups of three numbers (speed, torque, fuel).

Raises OSError (with errno) when the file cannot be opened or read,
ReadError when a value is not a number, FuelMapError when the points do
not make a map.)")
      .def_static("from_points", &from_points, "speed"_a, "torque"_a, "fuel"_a, py::kw_only(),
                  "method"_a = "grid", "outside"_a = "extrapolate",
                  R"(Builds a map from measured points in any order: three numeric
array-likes of one size (flattened). Raises FuelMapError when they do not
make a map.)")
      .def("fuel", method(&fuel), "speed"_a, "torque"_a,
           R"(The fuel value at each operating point: float64 of the broadcast
shape of speed and torque, a float for two scalars. A point with a speed or
torque that is not a number gives NaN (under outside='error' it raises).)")
      .def("inside", method(&inside), "speed"_a, "torque"_a,
           R"(Whether each point lies within the measured torques at its speed (a
bound counts as inside): bool of the broadcast shape.)")
      .def("where", method(&where), "speed"_a, "torque"_a,
           R"(Where each point stands against the measured envelope, int8 of the
broadcast shape: 0 inside, 1 below, 2 above, 3 beyond the measured speeds,
4 a speed or torque that is not a number.)")
      .def("count_outside", method(&count_outside), "speed"_a, "torque"_a,
           "The number of points not inside the measured envelope.")
      .def_property_readonly(
          "grid",
          [](py::object self) {
            const auto& grid = built<FuelMap>(self).grid();
            constexpr auto n = static_cast<py::ssize_t>(fuelcalc::kGridSize);
            py::array fuel(py::dtype::of<double>(), {n, n},
                           {n * py::ssize_t{sizeof(double)}, py::ssize_t{sizeof(double)}},
                           grid.fuel[0].data(), self);
            fuel.attr("setflags")("write"_a = false);
            return py::make_tuple(view(self, grid.speed.data(), n, sizeof(double)),
                                  view(self, grid.torque.data(), n, sizeof(double)), fuel);
          },
          R"((speed, torque, fuel): the grid's 20 speeds and 20 torques, and its
20 x 20 fuel values indexed [speed, torque]; read-only.)")
      .def_property_readonly(
          "envelope",
          [](py::object self) {
            const auto rows = built<FuelMap>(self).envelope();
            const auto n = static_cast<py::ssize_t>(rows.size());
            constexpr py::ssize_t stride = sizeof(fuelcalc::EnvelopeRow);
            return py::make_tuple(view(self, &rows.data()->speed, n, stride),
                                  view(self, &rows.data()->lowest_torque, n, stride),
                                  view(self, &rows.data()->highest_torque, n, stride));
          },
          R"((speed, lowest, highest): the measured torque range at each measured
speed, speeds ascending; read-only.)")
      .def_property_readonly(
          "points",
          [](py::object self) {
            const auto& map = built<FuelMap>(self);
            const auto n = static_cast<py::ssize_t>(map.size());
            return py::make_tuple(view(self, map.point_speeds().data(), n, sizeof(double)),
                                  view(self, map.point_torques().data(), n, sizeof(double)),
                                  view(self, map.point_fuels().data(), n, sizeof(double)));
          },
          "(speed, torque, fuel): the measured points in the program's sorted order; read-only.")
      .def_property_readonly("method", method(&method_name),
                             "How values are computed: 'grid' or 'direct'.")
      .def_property_readonly("outside", method(&outside_name),
                             "What a point outside the measured map gives: 'extrapolate', "
                             "'clamp', 'nan', 'error' or 'bounded'.")
      .def("__len__", method(&FuelMap::size))
      .def("__repr__", method(&repr))
      .def("__getstate__", method(&get_state))
      .def("__reduce__", &reduce);
  // pybind11 would take a function named __setstate__ for a constructor and
  // skip it silently on a built map, which set_state refuses.
  cls.attr("__setstate__") =
      py::cpp_function(&set_state, py::name("set_state"), py::is_method(cls), "state"_a,
                       "Builds a map made by __new__ from the state of __getstate__.");
}

}  // namespace fuelcalc_python
