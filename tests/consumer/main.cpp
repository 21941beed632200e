// A caller of the fuelcalc library: loads a map, computes the fuel value at
// one point, alone and through the array call, and checks it against the
// fuel field of the console program's result line for the same point.
//
// usage: consumer MAP SPEED TORQUE PROGRAM_OUTPUT
//   PROGRAM_OUTPUT: the program's output file for an input holding only that point.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fuelcalc/fuelcalc.hpp>

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
  } catch (const fuelcalc::Error& e) {
    std::fprintf(stderr, "consumer: %s\n", e.what());
    return 1;
  }
  return 0;
}
