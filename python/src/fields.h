#pragma once
// The library's records (fuelcalc/record_fields.hpp) as Python values: the
// dicts of the tools' JSON documents, with their keys in the same order.
#include <pybind11/pybind11.h>

#include <optional>
#include <ranges>
#include <string_view>
#include <type_traits>

#include "fuelcalc/record_fields.hpp"

namespace fuelcalc_python {

namespace py = pybind11;

template <class T>
py::object python_value(const T& value);

// Sets each field visited as a key of dict, in the order visited.
struct DictFields {
  py::dict& dict;
  template <class T>
  void operator()(std::string_view key, const T& value) const {
    dict[py::str(key.data(), key.size())] = python_value(value);
  }
};

template <class T>
py::dict dict_of(const T& record) {
  py::dict dict;
  for_each_field(record, DictFields{dict});
  return dict;
}

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class T>
py::object python_value(const T& value) {
  if constexpr (IsOptional<T>::value) {
    return value ? python_value(*value) : py::object(py::none());
  } else if constexpr (std::is_same_v<T, fuelcalc::FileName>) {
    // The file as the caller named it (os.fsdecode of its bytes).
    return py::reinterpret_steal<py::str>(PyUnicode_DecodeFSDefaultAndSize(
        value.bytes.data(), static_cast<Py_ssize_t>(value.bytes.size())));
  } else if constexpr (fuelcalc::FieldRecord<T, DictFields>) {
    return dict_of(value);
  } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    // Texts quote the files' bytes, which need not be UTF-8; each byte that
    // is not is replaced, as the JSON documents replace it.
    const std::string_view text = value;
    return py::reinterpret_steal<py::str>(
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
  } else if constexpr (std::ranges::range<T>) {
    py::list list;
    for (const auto& element : value) list.append(python_value(element));
    return list;
  } else {
    return py::cast(value);
  }
}

}  // namespace fuelcalc_python
