#include "arrays.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace fuelcalc_python {

Doubles as_doubles(py::handle value, const char* name) {
  const auto ma = py::module_::import("numpy.ma");
  if (ma.attr("is_masked")(value).cast<bool>()) {
    throw py::value_error(std::string(name) +
                          ": a masked array with masked elements; fill them (.filled(value)) or "
                          "leave them out (.compressed()) first");
  }
  auto array = py::array::ensure(value);
  if (!array) {
    throw py::type_error(std::string(name) + ": expected numbers, got " +
                         std::string(py::str(py::type::handle_of(value).attr("__name__"))));
  }
  const char kind = array.dtype().kind();
  if (std::string_view("biuf").find(kind) == std::string_view::npos) {
    throw py::type_error(std::string(name) + ": expected numbers, got an array of dtype " +
                         std::string(py::str(array.dtype())));
  }
  return Doubles::ensure(array);
}

Broadcast broadcast(py::handle first, const char* first_name, py::handle second,
                    const char* second_name) {
  Broadcast result{as_doubles(first, first_name), as_doubles(second, second_name), {}};
  result.scalar = result.first.ndim() == 0 && result.second.ndim() == 0;
  const bool same_shape =
      result.first.ndim() == result.second.ndim() &&
      std::equal(result.first.shape(), result.first.shape() + result.first.ndim(),
                 result.second.shape());
  if (!same_shape) {
    // The broadcast views repeat elements with zero strides; ensure() copies
    // them into contiguous arrays of the common shape.
    auto both = py::module_::import("numpy")
                    .attr("broadcast_arrays")(result.first, result.second)
                    .cast<py::sequence>();
    result.first = Doubles::ensure(both[0]);
    result.second = Doubles::ensure(both[1]);
  }
  result.shape.assign(result.first.shape(), result.first.shape() + result.first.ndim());
  return result;
}

GrowingDoubles::GrowingDoubles(std::size_t capacity) { resize(capacity); }

GrowingDoubles::~GrowingDoubles() { std::free(data_); }

void GrowingDoubles::resize(std::size_t capacity) {
  // One element at least: realloc of size 0 may free the buffer.
  const std::size_t elements = std::max<std::size_t>(capacity, 1);
  void* grown = std::realloc(data_, elements * sizeof(double));
  if (grown == nullptr) throw std::bad_alloc();
  data_ = static_cast<double*>(grown);
  capacity_ = elements;
}

py::array_t<double> GrowingDoubles::release(std::size_t size) {
  resize(size);
  py::capsule owner(data_, [](void* p) { std::free(p); });
  double* values = std::exchange(data_, nullptr);
  capacity_ = 0;
  return py::array_t<double>(static_cast<py::ssize_t>(size), values, owner);
}

}  // namespace fuelcalc_python
