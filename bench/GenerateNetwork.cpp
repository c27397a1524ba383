// Writes a simulated levelling network for the benchmark: field data files
// NET_1.dat ..., the benchmark list benchmarks.csv and the job network.job
// that names them all in OUT_DIR.
//   vireo-bench-network-gen OUT_DIR [SETUPS LINES BENCHMARKS FILES]
// (default 100000 set-ups in 500 lines over 200 benchmarks, in 10 files).
// The first lines run BM1 -> BM2 -> ... so that every benchmark is
// connected; the others join random pairs and close loops. BM1 and the
// middle benchmark are fixed, the last one is weighted.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <random>
#include <string>

#include "examples/NetworkSimulation.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 6) {
    std::cerr << "usage: vireo-bench-network-gen OUT_DIR [SETUPS LINES BENCHMARKS FILES]\n";
    return 2;
  }
  const std::string dir = argv[1];
  const long setups = argc == 6 ? std::atol(argv[2]) : 100000;
  const int lines = argc == 6 ? std::atoi(argv[3]) : 500;
  const int benchmarks = argc == 6 ? std::atoi(argv[4]) : 200;
  const int files = argc == 6 ? std::atoi(argv[5]) : 10;
  if (benchmarks < 2 || lines < benchmarks - 1 || files < 1 || setups % lines != 0 ||
      lines % files != 0) {
    std::cerr << "vireo-bench-network-gen: needs LINES >= BENCHMARKS - 1, SETUPS a multiple of "
                 "LINES and LINES a multiple of FILES\n";
    return 2;
  }
  std::mt19937 random(11);
  vireo::examples::NetworkSimulation network;
  network.setupError = 0.00025;
  network.steered = true;
  auto name = [](int i) { return "BM" + std::to_string(i); };
  // A line of one set-up joins marks a staff can reach from each other.
  const bool oneSetupLines = setups == lines;
  double walk = 100;
  for (int i = 1; i <= benchmarks; ++i)
    network.heights[name(i)] = oneSetupLines
                                   ? walk += std::uniform_real_distribution<double>(-1, 1)(random)
                                   : std::uniform_real_distribution<double>(50, 150)(random);
  std::vector<vireo::examples::SimulatedLine> all;
  const int perLine = static_cast<int>(setups / lines);
  for (int i = 1; i < benchmarks; ++i) all.push_back({name(i), name(i + 1), perLine, 0});
  std::uniform_int_distribution<int> pick(1, benchmarks);
  while (static_cast<int>(all.size()) < lines) {
    const int a = pick(random), b = pick(random);
    if (a != b) all.push_back({name(a), name(b), perLine, 0});
  }
  std::shuffle(all.begin(), all.end(), random);
  const int perFile = lines / files;
  for (int f = 0; f < files; ++f) {
    network.seed = static_cast<std::uint32_t>(f + 1);
    const std::vector<vireo::examples::SimulatedLine> part(all.begin() + f * perFile,
                                                           all.begin() + (f + 1) * perFile);
    std::ofstream out(dir + "/NET_" + std::to_string(f + 1) + ".dat", std::ios::binary);
    out << vireo::examples::SimulateNetworkFile(network, part);
    if (!out.flush()) {
      std::cerr << dir << ": cannot write\n";
      return 1;
    }
  }
  std::ofstream list(dir + "/benchmarks.csv", std::ios::binary);
  list << std::fixed << std::setprecision(5) << "# name,height m[,sigma mm]\n"
       << name(1) << "," << network.heights[name(1)] << "\n"
       << name(benchmarks / 2) << "," << network.heights[name(benchmarks / 2)] << "\n"
       << name(benchmarks) << "," << network.heights[name(benchmarks)] << ",5\n";
  std::ofstream job(dir + "/network.job", std::ios::binary);
  for (int f = 0; f < files; ++f) job << "input = NET_" << f + 1 << ".dat\n";
  job << std::fixed << std::setprecision(5) << "benchmark = " << name(1) << ", "
      << network.heights[name(1)] << "\nbenchmark = " << name(benchmarks / 2) << ", "
      << network.heights[name(benchmarks / 2)] << "\nbenchmark = " << name(benchmarks) << ", "
      << network.heights[name(benchmarks)] << ", 5\nname = network\n";
  return list.flush() && job.flush() ? 0 : 1;
}
