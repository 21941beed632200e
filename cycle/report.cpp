#include "report.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdio>
#include <string>

#include "fuelcalc/version.hpp"

namespace cycle {
namespace {

using Json = nlohmann::ordered_json;

std::string class_name(std::size_t c) {
  return std::string(fuelcalc::where_name(static_cast<fuelcalc::Where>(c)));
}

Json or_null(const std::optional<double>& value) { return value ? Json(*value) : Json(nullptr); }

// The total keys, shared by the cycle and each phase.
void add_totals(Json& json, const fuelcalc::CycleTotals& t) {
  json["records"] = t.records;
  json["duration_s"] = t.duration_s;
  json["gaps"] = t.gaps;
  json["gap_s"] = t.gap_s;
  json["fuel_g"] = t.fuel_g;
  json["fuel_l"] = t.fuel_l;
  json["co2_g"] = t.co2_g;
  json["work_positive_kwh"] = t.work_positive_kwh;
  json["work_negative_kwh"] = t.work_negative_kwh;
  json["bsfc_g_per_kwh"] = or_null(t.bsfc_g_per_kwh);
  json["mean_fuel_g_per_h"] = or_null(t.mean_fuel_g_per_h);
  json["distance_km"] = or_null(t.distance_km);
  json["fuel_g_per_km"] = or_null(t.fuel_g_per_km);
  json["fuel_l_per_100km"] = or_null(t.fuel_l_per_100km);
  json["co2_g_per_km"] = or_null(t.co2_g_per_km);
  json["time_without_value_s"] = t.time_without_value_s;
  Json where = Json::object();
  for (std::size_t c = 0; c < fuelcalc::kWhereClasses; ++c)
    where[class_name(c)] = {{"records", t.where[c].records},
                             {"time_s", t.where[c].time_s},
                             {"fuel_g", t.where[c].fuel_g}};
  json["where"] = where;
}

Json finding_json(const fuelcalc::Finding& f) {
  const auto line = f.line ? Json(*f.line) : Json(nullptr);
  const auto column = f.column ? Json(*f.column) : Json(nullptr);
  return {{"severity", std::string(fuelcalc::to_string(f.severity))},
          {"code", f.code},
          {"file", f.file},
          {"line", line},
          {"column", column},
          {"message", f.message}};
}

std::string number(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string number(const char* format, const std::optional<double>& value) {
  return value ? number(format, *value) : "-";
}

void line(std::ostream& out, const char* label, const std::string& value, const char* unit) {
  char text[160];
  std::snprintf(text, sizeof text, *unit ? "  %-18s %14s %s\n" : "  %-18s %14s%s\n", label,
                value.c_str(), unit);
  out << text;
}

void write_totals(std::ostream& out, const fuelcalc::CycleTotals& t) {
  line(out, "records", std::to_string(t.records), "");
  line(out, "duration", number("%.3f", t.duration_s), "s");
  line(out, "gaps", std::to_string(t.gaps), "");
  line(out, "time in gaps", number("%.3f", t.gap_s), "s");
  line(out, "fuel", number("%.3f", t.fuel_g), "g");
  line(out, "fuel volume", number("%.4f", t.fuel_l), "L");
  line(out, "CO2", number("%.3f", t.co2_g), "g");
  line(out, "positive work", number("%.4f", t.work_positive_kwh), "kWh");
  line(out, "negative work", number("%.4f", t.work_negative_kwh), "kWh");
  line(out, "BSFC", number("%.1f", t.bsfc_g_per_kwh), "g/kWh");
  line(out, "mean fuel flow", number("%.1f", t.mean_fuel_g_per_h), "g/h");
  if (t.distance_km) {
    line(out, "distance", number("%.3f", t.distance_km), "km");
    line(out, "fuel per km", number("%.3f", t.fuel_g_per_km), "g/km");
    line(out, "fuel per 100 km", number("%.3f", t.fuel_l_per_100km), "L/100km");
    line(out, "CO2 per km", number("%.3f", t.co2_g_per_km), "g/km");
  }
  line(out, "time without value", number("%.3f", t.time_without_value_s), "s");
  char text[160];
  std::snprintf(text, sizeof text, "  %-18s %10s %14s %14s\n", "where", "records", "time [s]",
                "fuel [g]");
  out << text;
  for (std::size_t c = 0; c < fuelcalc::kWhereClasses; ++c) {
    std::snprintf(text, sizeof text, "    %-16s %10zu %14.3f %14.3f\n", class_name(c).c_str(),
                  t.where[c].records, t.where[c].time_s, t.where[c].fuel_g);
    out << text;
  }
}

std::string location(const fuelcalc::Finding& f) {
  std::string text = f.file;
  if (f.line) (text += ':') += std::to_string(*f.line);
  if (f.line && f.column) (text += ':') += std::to_string(*f.column);
  return text;
}

}  // namespace

void write_json(std::ostream& out, const Report& report) {
  Json cycle_units = {{"time", report.cycle_units.time},
                      {"speed", report.cycle_units.speed},
                      {"torque", report.cycle_units.torque},
                      {"vehicle_speed", report.cycle_units.vehicle_speed
                                            ? Json(*report.cycle_units.vehicle_speed)
                                            : Json(nullptr)}};
  Json document = {
      {"version", std::string(fuelcalc::version())},
      {"format", 1},
      {"map", report.map},
      {"cycle", report.cycle},
      {"method", report.method},
      {"outside", report.outside},
      {"units",
       {{"map",
         {{"speed", report.map_units.speed},
          {"torque", report.map_units.torque},
          {"fuel", report.map_units.fuel}}},
        {"cycle", cycle_units},
        {"assumed", report.assumed}}},
      {"fuel_properties",
       {{"name", report.fuel.name},
        {"density_kg_per_l", report.fuel.density_kg_per_l},
        {"co2_g_per_g", report.fuel.co2_g_per_g}}}};
  const fuelcalc::CycleResult result =
      report.result ? *report.result : fuelcalc::CycleResult{report.fuel, {}, std::nullopt};
  add_totals(document, result.totals);
  if (result.phases) {
    Json phases = Json::array();
    for (const fuelcalc::PhaseTotals& phase : *result.phases) {
      Json json = {{"phase", phase.phase}};
      add_totals(json, phase.totals);
      phases.push_back(json);
    }
    document["phases"] = phases;
  } else {
    document["phases"] = nullptr;
  }
  Json findings = Json::array();
  for (const fuelcalc::Finding& f : report.findings) findings.push_back(finding_json(f));
  document["findings"] = findings;
  // File names and phase values may hold bytes that are not UTF-8.
  out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

void write_text(std::ostream& out, const Report& report) {
  if (report.result) {
    const fuelcalc::CycleResult& r = *report.result;
    out << "totals of " << report.cycle << " over " << report.map << " (method " << report.method
        << ", outside " << report.outside << ", " << r.fuel.name << " "
        << number("%g", r.fuel.density_kg_per_l) << " kg/L, "
        << number("%g", r.fuel.co2_g_per_g) << " g CO2/g):\n";
    write_totals(out, r.totals);
    if (r.phases)
      for (const fuelcalc::PhaseTotals& phase : *r.phases) {
        out << "phase " << phase.phase << ":\n";
        write_totals(out, phase.totals);
      }
    if (!report.assumed.empty()) {
      out << "units assumed (neither the files nor the options give them):";
      for (std::size_t i = 0; i < report.assumed.size(); ++i)
        out << (i == 0 ? " " : ", ") << report.assumed[i];
      out << '\n';
    }
  }
  for (const fuelcalc::Finding& f : report.findings)
    out << location(f) << ": " << fuelcalc::to_string(f.severity)
        << ": " << f.message << " [" << f.code << "]\n";
}

}  // namespace cycle
