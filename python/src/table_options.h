#pragma once
// The table reader's options as Python callers write them: columns by
// name or 1-based position, the delimiter by its character.
#include <pybind11/pybind11.h>

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "fuelcalc/table.hpp"

namespace fuelcalc_python {

using Choice = std::variant<std::size_t, std::string>;

// ValueError for position 0.
fuelcalc::ColumnChoice choice_of(const Choice& choice);
std::vector<fuelcalc::ColumnChoice> choices_of(const std::optional<std::vector<Choice>>& list);
// None (found in the header), ',', ';', '\t', ' ' or "blanks"; ValueError otherwise.
fuelcalc::Delimiter delimiter_of(const std::optional<std::string>& name);

}  // namespace fuelcalc_python
