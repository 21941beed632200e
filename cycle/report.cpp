#include "report.h"

#include <cstdio>
#include <string>

#include "fuelcalc/version.hpp"
#include "tools/json_fields.h"

namespace cycle {
namespace {

using tools::Json;
using tools::json_value;

std::string class_name(std::size_t c) {
  return std::string(fuelcalc::where_name(static_cast<fuelcalc::Where>(c)));
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
  const fuelcalc::CycleResult result =
      report.result ? *report.result : fuelcalc::CycleResult{report.fuel, {}, std::nullopt};
  Json document = {{"version", std::string(fuelcalc::version())},
                   {"format", 1},
                   {"map", report.map},
                   {"cycle", report.cycle},
                   {"method", report.method},
                   {"outside", report.outside},
                   {"units",
                    {{"map", json_value(report.map_units)},
                     {"cycle", json_value(report.cycle_units)},
                     {"assumed", report.assumed}}}};
  for_each_field(result, tools::JsonFields{document});
  document["findings"] = json_value(report.findings);
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
