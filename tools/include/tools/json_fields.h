#pragma once
// The library's records (fuelcalc/record_fields.hpp) as JSON values, for
// the tools' documents.
#include <nlohmann/json.hpp>

#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <type_traits>

#include "fuelcalc/record_fields.hpp"

namespace tools {

using Json = nlohmann::ordered_json;

template <class T>
Json json_value(const T& value);

// Sets each field visited as a key of object, in the order visited.
struct JsonFields {
  Json& object;
  template <class T>
  void operator()(std::string_view key, const T& value) const {
    object[std::string(key)] = json_value(value);
  }
};

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class T>
Json json_value(const T& value) {
  if constexpr (IsOptional<T>::value) {
    return value ? json_value(*value) : Json(nullptr);
  } else if constexpr (fuelcalc::FieldRecord<T, JsonFields>) {
    Json object = Json::object();
    for_each_field(value, JsonFields{object});
    return object;
  } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    return std::string(std::string_view(value));
  } else if constexpr (std::ranges::range<T>) {
    Json array = Json::array();
    for (const auto& element : value) array.push_back(json_value(element));
    return array;
  } else {
    return Json(value);
  }
}

}  // namespace tools
