#pragma once
// The registry of finding codes: every code a check or a tool reports, its
// severity and what it means, in the order docs/checks.md lists them. A
// finding is made from its entry (code()), so a code that is not registered
// does not compile.
#include <array>
#include <string_view>

#include "fuelcalc/check.hpp"

namespace fuelcalc::checks {

inline constexpr std::array kFindingCodes{
    FindingCode{"map-open", Severity::error, "the map cannot be opened"},
    FindingCode{"map-unreadable", Severity::error,
                "a value of the map cannot be read, or the map cannot be read"},
    FindingCode{"map-empty", Severity::error,
                "the map has fewer than two header records or no points"},
    FindingCode{"map-single-point-speed", Severity::error, "a speed of the map has only one point"},
    FindingCode{"map-repeated-torque", Severity::error,
                "a torque appears more than once at one speed"},
    FindingCode{"map-interpolation", Severity::error,
                "building the grid fails where no other finding says why"},
    FindingCode{"input-open", Severity::error, "the input cannot be opened"},
    FindingCode{"input-unreadable", Severity::error,
                "the input is empty or a value of it cannot be read"},
    FindingCode{"input-interpolation", Severity::error,
                "a point of the input holds a value that is not a number"},
    FindingCode{"map-header-numeric", Severity::warning,
                "a header record of the map holds only numbers"},
    FindingCode{"input-header-numeric", Severity::warning,
                "the header record of the input holds only numbers"},
    FindingCode{"map-values-per-record", Severity::warning,
                "a map record holds other than three values"},
    FindingCode{"input-values-per-record", Severity::warning,
                "an input record holds other than two values"},
    FindingCode{"empty-value", Severity::warning,
                "an empty value or a slash leaves a value of the input unread"},
    FindingCode{"input-last-record-dropped", Severity::warning,
                "the input's last record cannot be read and is dropped"},
    FindingCode{"cr-line-ends", Severity::warning,
                "the input's lines end in a carriage return alone"},
    FindingCode{"speed-near-equal", Severity::warning,
                "distinct speeds lie closer together than the tolerance"},
    FindingCode{"fuel-direction-change", Severity::warning,
                "at one speed the fuel value falls as torque rises"},
    FindingCode{"map-negative-fuel", Severity::warning, "a fuel value of the map is negative"},
    FindingCode{"map-nonfinite", Severity::warning,
                "a point of the map holds an infinity or a not-a-number"},
    FindingCode{"small-values", Severity::warning,
                "the largest fuel value is below 1: results keep few digits"},
    FindingCode{"grid-deviation", Severity::warning,
                "the grid misses a measured fuel value by more than the tolerance"},
    FindingCode{"outside-refused", Severity::warning,
                "a point lies outside the map, where the policy error refuses a value"},
    FindingCode{"columns-swapped", Severity::warning, "the speed and torque columns look swapped"},
    FindingCode{"negative-results", Severity::warning, "results of the run are negative"},
    FindingCode{"results-out-of-range", Severity::warning,
                "results lie far below 0 or far above the largest measured fuel value"},
    FindingCode{"mostly-outside", Severity::warning,
                "most points of the input lie outside the measured map"},
    FindingCode{"far-outside", Severity::warning,
                "points lie far outside the measured speeds or torques"},
    FindingCode{"near-zero-speed", Severity::warning,
                "points lie below half the lowest measured speed (engine off, cranking)"},
    FindingCode{"units-hint", Severity::warning,
                "the input's speeds or torques look like another unit than the map's"},
    FindingCode{"input-time-column", Severity::warning,
                "the input's first column looks like time, not speed"},
    FindingCode{"input-header-columns", Severity::warning,
                "the input's header names more than two columns"},
    FindingCode{"map-header-order", Severity::warning,
                "the map's header names the columns in another order than speed, torque, fuel"},
    FindingCode{"cycle-unreadable", Severity::error,
                "a cycle or a table map cannot be read or converted"},
    FindingCode{"file-unopenable", Severity::error, "a file of a cycle run cannot be opened"},
    FindingCode{"map-unusable", Severity::error,
                "the map gives no value at a point of the cycle (interpolation fails)"},
    FindingCode{"output-unwritable", Severity::error, "the records' output cannot be written"},
};

// The registry's entry of a code; a name that is not registered does not
// compile.
consteval const FindingCode& code(std::string_view name) {
  for (const FindingCode& entry : kFindingCodes)
    if (entry.code == name) return entry;
  throw "not a registered finding code";
}

}  // namespace fuelcalc::checks
