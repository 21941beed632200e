// A caller of the fuelcalc library: loads a map, computes the fuel value at
// one point, alone and through the array call, and checks it against the
// fuel field of the console program's result line for the same point. Then
// it calls the rest of the public face once (tables, units, map tables,
// cycle totals, exact sums, the checks' registry), so that a shared library
// that fails to export one of them fails to link.
//
// usage: consumer MAP SPEED TORQUE PROGRAM_OUTPUT
//   PROGRAM_OUTPUT: the program's output file for an input holding only that point.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fuelcalc/fuelcalc.hpp>

namespace {

// The same map given as points and as a table gives the same fuel; a cycle
// over it totals through the exact sums.
bool rest_of_the_face() {
  const std::string table =
      "speed [rpm],torque [Nm],fuel [kg/h]\n1000,0,1\n1000,100,2\n"
      "2000,0,2\n2000,100,4\n";
  const fuelcalc::FuelMap from_table =
      fuelcalc::FuelMap::from_table(fuelcalc::parse_map_table(table), fuelcalc::Method::direct);
  const std::vector<double> speed{1000, 1000, 2000, 2000}, torque{0, 100, 0, 100},
      fuel{1000, 2000, 2000, 4000};
  const fuelcalc::FuelMap from_points =
      fuelcalc::FuelMap::from_points(speed, torque, fuel, fuelcalc::Method::direct);
  std::vector<double> fuels(2);
  std::vector<fuelcalc::Where> where(2);
  const std::vector<double> at_speed{1500, 2500}, at_torque{50, 50};
  fuelcalc::evaluate_records(from_table, at_speed, at_torque, fuels, where);

  fuelcalc::TableReader reader = fuelcalc::TableReader::from_text(table);
  reader.choose_columns({fuelcalc::ColumnChoice::named("fuel"), fuelcalc::ColumnChoice::at(1)});
  fuelcalc::TableBlock block;
  const std::size_t rows = reader.read(block, 10);
  const fuelcalc::Unit kg_per_h = fuelcalc::parse_unit(fuelcalc::Quantity::fuel, "kg/h");
  fuelcalc::ExactSum sum;
  for (const double value : block.numbers[0]) sum.add(fuelcalc::to_base(kg_per_h, value));
  fuelcalc::to_base(fuelcalc::base_unit(fuelcalc::Quantity::speed), block.numbers[1]);

  const std::vector<double> time{0, 3600};
  fuelcalc::CycleBlock records{time, at_speed, at_torque, fuels, where};
  fuelcalc::CycleOptions options;
  options.fuel = fuelcalc::fuel_properties(fuelcalc::known_fuels()[1].name);
  fuelcalc::CycleAccumulator totals(options);
  totals.add(records);
  bool files_refused = false;
  try {
    fuelcalc::read_table("/nonexistent/table.csv");
  } catch (const fuelcalc::Error& e) {
    files_refused = fuelcalc::error_finding(e, "table.csv").code == "file-unopenable";
  }
  try {
    fuelcalc::read_map_table("/nonexistent/map.csv");
    files_refused = false;
  } catch (const fuelcalc::Error&) {
  }
  return from_table.fuel(1500, 50) == from_points.fuel(1500, 50) && rows == 4 &&
         sum.value() == 9000 && fuelcalc::where_name(where[1]) == "beyond_speed" &&
         totals.result().totals.records ==
             fuelcalc::cycle_totals(records, options).totals.records &&
         totals.records() == 2 && fuelcalc::power_w(100, 1000) > 0 &&
         fuelcalc::bsfc_to_fuel(200, 100, 1000) > 0 &&
         !fuelcalc::unit_spellings(fuelcalc::Quantity::torque).empty() &&
         fuelcalc::quantity_name(fuelcalc::Quantity::speed) == "speed" &&
         fuelcalc::to_string(fuelcalc::finding_codes()[0].severity) == "error" && files_refused;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: consumer MAP SPEED TORQUE PROGRAM_OUTPUT\n");
    return 2;
  }
  const double speed = std::strtod(argv[2], nullptr);
  const double torque = std::strtod(argv[3], nullptr);

  // The program's result line: speed, torque and fuel, tab-separated, CR LF.
  std::ifstream output(argv[4], std::ios::binary);
  std::string line;
  std::getline(output, line);  // the header
  std::getline(output, line);
  const std::size_t tab = line.rfind('\t');
  std::string expected = tab == std::string::npos ? std::string() : line.substr(tab + 1);
  if (!expected.empty() && expected.back() == '\r') expected.pop_back();
  expected.erase(0, expected.find_first_not_of(' '));

  try {
    const fuelcalc::FuelMap map = fuelcalc::FuelMap::load(argv[1]);
    const double fuel = map.fuel(speed, torque);
    const std::vector<double> speeds{speed}, torques{torque};
    std::vector<double> fuels(1);
    map.fuel(speeds, torques, fuels);

    // The program edits with 3 decimals, the exact value rounded half to even, as %.3f does.
    char edited[64];
    std::snprintf(edited, sizeof edited, "%.3f", fuel);
    std::printf("fuelcalc %.*s: fuel at (%g, %g) = %s; the program's line: %s\n",
                static_cast<int>(fuelcalc::version().size()), fuelcalc::version().data(), speed,
                torque, edited, expected.c_str());
    if (expected != edited || fuels[0] != fuel) {
      std::fprintf(stderr, "consumer: the library and the program disagree\n");
      return 1;
    }
    if (!rest_of_the_face()) {
      std::fprintf(stderr, "consumer: the tables, units, cycle totals or checks are wrong\n");
      return 1;
    }
  } catch (const fuelcalc::Error& e) {
    std::fprintf(stderr, "consumer: %s\n", e.what());
    return 1;
  }
  return 0;
}
