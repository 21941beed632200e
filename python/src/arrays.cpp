#include "arrays.h"

#include <string>
#include <string_view>
#include <utility>

namespace fuelcalc_python {

Doubles as_doubles(py::handle value, const char* name) {
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

py::array_t<double> adopt(std::vector<double>&& values) {
  auto* owned = new std::vector<double>(std::move(values));
  py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<double>*>(p); });
  return py::array_t<double>(static_cast<py::ssize_t>(owned->size()), owned->data(), owner);
}

}  // namespace fuelcalc_python
