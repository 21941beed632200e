#pragma once
// numpy on the way in and out: numeric array-likes as float64 arrays, two
// arguments broadcast against each other as numpy broadcasts them.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <span>
#include <vector>

namespace fuelcalc_python {

namespace py = pybind11;

// A C-contiguous float64 array; its elements in C order are the argument's.
using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

// A bool, integer or floating array-like as float64; anything else (text,
// objects, complex, dates) raises TypeError naming the argument. A masked
// array with masked elements raises ValueError: its data under the mask is
// no measurement, and no fill value suits every use.
Doubles as_doubles(py::handle value, const char* name);

// All elements of a C-contiguous array, flattened.
inline std::span<const double> elements(const Doubles& array) {
  return {array.data(), static_cast<std::size_t>(array.size())};
}

// Two arguments broadcast to their common shape, both C-contiguous; shapes
// that do not broadcast raise numpy's ValueError.
struct Broadcast {
  Doubles first;
  Doubles second;
  std::vector<py::ssize_t> shape;
  bool scalar = false;  // both arguments were scalars (0-d): the caller returns a float
};
Broadcast broadcast(py::handle first, const char* first_name, py::handle second,
                    const char* second_name);

// A float64 buffer of unknown final size, grown by realloc (for large
// buffers the kernel remaps pages instead of copying them) and handed to
// numpy without a copy.
class GrowingDoubles {
 public:
  explicit GrowingDoubles(std::size_t capacity);
  ~GrowingDoubles();
  GrowingDoubles(const GrowingDoubles&) = delete;
  GrowingDoubles& operator=(const GrowingDoubles&) = delete;

  double* data() { return data_; }
  std::size_t capacity() const { return capacity_; }
  void resize(std::size_t capacity);
  // The first size values as an array that owns the buffer from then on.
  py::array_t<double> release(std::size_t size);

 private:
  double* data_ = nullptr;
  std::size_t capacity_ = 0;
};

}  // namespace fuelcalc_python
