#pragma once
// The cells of a line of delimited text: where the delimiter is, what a cell
// holds once the blanks and quotes around it are gone, and whether it is a
// number, a unit or empty.
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace textio {

enum class Separator { comma, semicolon, tab, blanks };

// The separator of a header line: a tab, else a semicolon, else a comma,
// else runs of blanks.
Separator detect_separator(std::string_view header);

// The line without the blanks (spaces, tabs) around it.
std::string_view trim_blanks(std::string_view text);

// Whether a line is a comment ('#' after blanks) or blanks only.
bool comment_or_blank(std::string_view line);

// Replaces cells by the cells of the line, each without the blanks around it
// and then without a pair of double quotes around it. Blanks as separator:
// runs of blanks and tabs part the cells, and blanks at either end make no
// cell (a line of blanks has none).
void split_cells(std::string_view line, Separator separator, std::vector<std::string_view>& cells);

// A header cell parted into its name and the unit in brackets or
// parentheses that ends it ("engine speed [rpm]", "n(1/min)").
struct NameAndUnit {
  std::string_view name;  // without the blanks around it
  std::string_view unit;  // inside the brackets, without the blanks around it
  bool has_unit = false;  // brackets or parentheses end the cell
};
NameAndUnit split_name_unit(std::string_view cell);

// Whether a cell is wholly a unit in brackets or parentheses; unit gets
// what is inside (without the blanks around it).
bool unit_cell(std::string_view cell, std::string_view& unit);

// Whether a header name (without its unit) says it holds a map's column
// `column`: 0 speed (a name containing "speed", or "n", "rpm"), 1 torque
// ("torque", or "me", "t", "tq"), 2 fuel ("fuel", "bsfc", or "fc"), letter
// case aside.
bool names_map_column(std::size_t column, std::string_view name);

enum class CellNumber {
  number,        // value holds the nearest double
  empty,         // value holds a quiet NaN
  not_a_number,  // the cell holds other text
  out_of_range,  // a number beyond the largest double
};

// The value of a number cell (blanks and quotes already removed): a decimal
// number with an optional sign ('+' or '-'), point and exponent, or inf,
// infinity, nan in any case (with a sign). A number below the smallest
// subnormal reads as zero of its sign.
// Short decimals (at most 19 significant digits and a power of ten of at
// most 22, nearly every cell) take the exact shortcut of
// decimal_to_double.h; the rest read_number_cell_reference.
CellNumber read_number_cell(std::string_view cell, double& value);

// The same through std::from_chars alone: the literal reference of the
// shortcut, which gives the same bits.
CellNumber read_number_cell_reference(std::string_view cell, double& value);

// The fast path of a row of numbers, the cells parted and read in one pass
// over the line. slot has an entry per header cell: the index in values of
// a cell read, -1 for a cell skipped. Takes a line only when its separator
// is a character (not blanks), it has slot.size() cells, and each cell read
// is a number read_number_cell's shortcut takes, with no blanks or quotes
// around it (so not empty); then values gets what split_cells and
// read_number_cell give, and the result is true. Otherwise false, values
// partly written: the caller reads the line by those two, the literal
// reference.
bool read_plain_row(std::string_view line, Separator separator, std::span<const int> slot,
                    double* values);

}  // namespace textio
