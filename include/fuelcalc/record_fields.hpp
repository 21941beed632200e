#pragma once
// The fields of the records the tools' JSON documents and the Python dicts
// give, each record's keys listed once, in the order they are written.
//
// for_each_field(record, visit) calls visit(key, value) for each field in
// order, key a std::string_view. A value is a number (std::size_t or double),
// text (std::string_view, std::string, FileName), a std::optional of one
// (empty: null), a range of values (an array), or a record or FieldGroup of
// its own (an object): a writer recurses into those with for_each_field.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "fuelcalc/check.hpp"
#include "fuelcalc/cycle.hpp"
#include "fuelcalc/cycle_files.hpp"

namespace fuelcalc {

// A file's name as it was given: bytes in the system's encoding, not
// necessarily UTF-8.
struct FileName {
  const std::string& bytes;
  operator std::string_view() const { return bytes; }
};

// Fields that form an object without being a record of their own (the
// summary's first lines): fields(visit) visits them.
template <class Fields>
struct FieldGroup {
  Fields fields;
};
template <class Fields>
FieldGroup(Fields) -> FieldGroup<Fields>;

template <class Fields, class Visit>
void for_each_field(const FieldGroup<Fields>& group, Visit&& visit) {
  group.fields(visit);
}

// Whether value is written as an object, its fields by for_each_field.
template <class T, class Visit>
concept FieldRecord = requires(const T& value, Visit& visit) {
  for_each_field(value, visit);
};

template <class Visit>
void for_each_field(const Finding& f, Visit&& visit) {
  visit("severity", to_string(f.severity));
  visit("code", f.code);
  visit("file", FileName{f.file});
  visit("line", f.line);
  visit("column", f.column);
  visit("message", f.message);
}

// The fuel figures are null without a finite result, their sum 0.
template <class Visit>
void for_each_field(const Summary& s, Visit&& visit) {
  visit("records", s.records);
  visit("inside", s.inside);
  visit("below", s.below.count);
  visit("above", s.above.count);
  visit("beyond_speed", s.beyond_speed.count);
  visit("nan", s.nan.count);
  visit("negative", s.negative);
  visit("nonfinite", s.nonfinite);
  visit("far_outside", s.far_outside.count);
  visit("near_zero_speed", s.near_zero_speed.count);
  visit("out_of_range", s.out_of_range.count);
  const auto figure = [&s](double FuelFigures::*member) {
    return s.fuel ? std::optional<double>((*s.fuel).*member) : std::nullopt;
  };
  visit("fuel", FieldGroup{[&](auto&& fuel) {
          fuel("min", figure(&FuelFigures::min));
          fuel("mean", figure(&FuelFigures::mean));
          fuel("max", figure(&FuelFigures::max));
          fuel("sum", s.fuel ? s.fuel->sum : 0.0);
        }});
  visit("first_lines", FieldGroup{[&s](auto&& lines) {
          lines("below", s.below.first_lines);
          lines("above", s.above.first_lines);
          lines("beyond_speed", s.beyond_speed.first_lines);
          lines("nan", s.nan.first_lines);
          lines("far_outside", s.far_outside.first_lines);
          lines("near_zero_speed", s.near_zero_speed.first_lines);
          lines("out_of_range", s.out_of_range.first_lines);
        }});
}

template <class Visit>
void for_each_field(const GridDeviation& d, Visit&& visit) {
  visit("max", d.max);
  visit("p95", d.p95);
  visit("max_at", std::array<double, 2>{d.max_speed, d.max_torque});
}

template <class Visit>
void for_each_field(const ClassTotals& c, Visit&& visit) {
  visit("records", c.records);
  visit("time_s", c.time_s);
  visit("fuel_g", c.fuel_g);
}

// The totals' keys, shared by the cycle and each phase; "where" holds one
// object per class, by where_name.
template <class Visit>
void for_each_field(const CycleTotals& t, Visit&& visit) {
  visit("records", t.records);
  visit("duration_s", t.duration_s);
  visit("gaps", t.gaps);
  visit("gap_s", t.gap_s);
  visit("fuel_g", t.fuel_g);
  visit("fuel_l", t.fuel_l);
  visit("co2_g", t.co2_g);
  visit("work_positive_kwh", t.work_positive_kwh);
  visit("work_negative_kwh", t.work_negative_kwh);
  visit("bsfc_g_per_kwh", t.bsfc_g_per_kwh);
  visit("mean_fuel_g_per_h", t.mean_fuel_g_per_h);
  visit("distance_km", t.distance_km);
  visit("fuel_g_per_km", t.fuel_g_per_km);
  visit("fuel_l_per_100km", t.fuel_l_per_100km);
  visit("co2_g_per_km", t.co2_g_per_km);
  visit("time_without_value_s", t.time_without_value_s);
  visit("where", FieldGroup{[&t](auto&& where) {
          for (std::size_t c = 0; c < kWhereClasses; ++c)
            where(where_name(static_cast<Where>(c)), t.where[c]);
        }});
}

template <class Visit>
void for_each_field(const PhaseTotals& p, Visit&& visit) {
  visit("phase", p.phase);
  for_each_field(p.totals, visit);
}

template <class Visit>
void for_each_field(const FuelProperties& f, Visit&& visit) {
  visit("name", f.name);
  visit("density_kg_per_l", f.density_kg_per_l);
  visit("co2_g_per_g", f.co2_g_per_g);
}

// The fuel's properties, the cycle's totals, then the phases (null without).
template <class Visit>
void for_each_field(const CycleResult& r, Visit&& visit) {
  visit("fuel_properties", r.fuel);
  for_each_field(r.totals, visit);
  visit("phases", r.phases);
}

template <class Visit>
void for_each_field(const MapUnitNames& u, Visit&& visit) {
  visit("speed", u.speed);
  visit("torque", u.torque);
  visit("fuel", u.fuel);
}

template <class Visit>
void for_each_field(const CycleUnitNames& u, Visit&& visit) {
  visit("time", u.time);
  visit("speed", u.speed);
  visit("torque", u.torque);
  visit("vehicle_speed", u.vehicle_speed);
}

}  // namespace fuelcalc
