#include "instances.h"

#include <string>

namespace fuelcalc_python {

namespace {

std::string type_name(py::handle type) { return py::str(type.attr("__name__")); }

}  // namespace

py::detail::value_and_holder instance_of(py::handle self, const std::type_info& type) {
  const auto* info = py::detail::get_type_info(type, true);
  if (!PyObject_TypeCheck(self.ptr(), info->type)) {
    throw py::type_error("expected a " + type_name(reinterpret_cast<PyObject*>(info->type)) +
                         ", got " + type_name(py::type::handle_of(self)));
  }
  return reinterpret_cast<py::detail::instance*>(self.ptr())->get_value_and_holder(info);
}

void raise_unbuilt(py::handle self) {
  throw py::type_error(type_name(py::type::handle_of(self)) +
                       " object was made without its value (by __new__, or a pickle without "
                       "its state)");
}

py::object not_picklable(py::handle self) {
  throw py::type_error("cannot pickle '" + type_name(py::type::handle_of(self)) + "' object");
}

}  // namespace fuelcalc_python
