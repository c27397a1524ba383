// Writes a simulated DiNi field data file of N set-ups for the benchmark.
//   vireo-bench-gen OUT SETUPS [--lines L] [--method BFFB|BFBF|aBFFB|BBFF|BF|aBF]
//                   [--intermediates K] [--seed S]
// With several lines the set-ups are spread over them evenly.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "examples/FieldFileWriter.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: vireo-bench-gen OUT SETUPS [--lines L] [--method M] [--seed S]\n";
    return 2;
  }
  const std::string out = argv[1];
  const long setups = std::atol(argv[2]);
  vireo::examples::SimulationOptions options;
  options.seed = 7;
  options.method = "BFFB";
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--lines")
      options.lines = std::atoi(argv[i + 1]);
    else if (key == "--method")
      options.method = argv[i + 1];
    else if (key == "--intermediates")
      options.intermediates = std::atoi(argv[i + 1]);
    else if (key == "--seed")
      options.seed = static_cast<std::uint32_t>(std::atol(argv[i + 1]));
    else {
      std::cerr << "vireo-bench-gen: unknown option " << key << "\n";
      return 2;
    }
  }
  if (setups < 1 || options.lines < 1 || setups % options.lines != 0) {
    std::cerr << "vireo-bench-gen: SETUPS must be a positive multiple of the line count\n";
    return 2;
  }
  options.setupsPerLine = static_cast<int>(setups / options.lines);
  std::ofstream file(out, std::ios::binary);
  file << vireo::examples::SimulateFieldFile(options);
  if (!file.flush()) {
    std::cerr << out << ": cannot write\n";
    return 1;
  }
  return 0;
}
