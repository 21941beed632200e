#pragma once
// Bound objects that may not hold their C++ value. T.__new__(T), and a pickle
// naming the class without its state, make an instance pybind11 has not built
// and would hand over as raw memory: every method takes its object through
// built<T>(self), which refuses such an instance, and a map's __setstate__
// builds one in place through build().
#include <pybind11/pybind11.h>

#include <new>
#include <string>
#include <typeinfo>
#include <utility>

namespace fuelcalc_python {

namespace py = pybind11;

// self's value and holder as an instance of the class bound for type;
// TypeError when self is not one.
py::detail::value_and_holder instance_of(py::handle self, const std::type_info& type);
// TypeError: self was made without its value.
[[noreturn]] void raise_unbuilt(py::handle self);

template <class T>
T& built(py::handle self) {
  auto v_h = instance_of(self, typeid(T));
  if (!v_h.holder_constructed()) raise_unbuilt(self);
  return *v_h.template value_ptr<T>();
}

// Gives an unbuilt self its value; TypeError for a built one, whose value
// others may hold (a map's arrays, threads evaluating it).
template <class T>
void build(py::handle self, T value) {
  auto v_h = instance_of(self, typeid(T));
  if (v_h.holder_constructed()) {
    throw py::type_error(std::string(py::str(py::type::handle_of(self).attr("__name__"))) +
                         " object is already built; __setstate__ only completes an object "
                         "made by __new__ (as pickle does)");
  }
  // A cast may have allocated the storage already, uninitialised.
  void*& storage = v_h.value_ptr();
  if (storage == nullptr) {
    storage = new T(std::move(value));
  } else {
    new (storage) T(std::move(value));
  }
  v_h.type->init_instance(v_h.inst, nullptr);  // registers it and owns the value
}

// __reduce__ of a class whose objects do not travel (an open file, a check's
// findings): TypeError under every protocol, where the default reduction of
// protocols 0 and 1 would end the process.
py::object not_picklable(py::handle self);

// f(object, args...) as a method whose object is taken through built().
template <class R, class T, class... Args>
auto method(R (*f)(const T&, Args...)) {
  return [f](py::handle self, Args... args) -> R {
    return f(built<T>(self), std::forward<Args>(args)...);
  };
}
template <class R, class T, class... Args>
auto method(R (T::*f)(Args...)) {
  return [f](py::handle self, Args... args) -> R {
    return (built<T>(self).*f)(std::forward<Args>(args)...);
  };
}
template <class R, class T, class... Args>
auto method(R (T::*f)(Args...) const) {
  return [f](py::handle self, Args... args) -> R {
    return (built<T>(self).*f)(std::forward<Args>(args)...);
  };
}

// A data member as a read-only property, its object taken through built().
template <class T, class M>
auto field(M T::*member) {
  return [member](py::handle self) -> M { return built<T>(self).*member; };
}

}  // namespace fuelcalc_python
