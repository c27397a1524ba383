// Writes the bundled sample field data files into a folder (normally the
// application folder's "Field Data").
#include <fstream>
#include <iostream>

#include "examples/FieldFileWriter.h"
#include "examples/GsiFileWriter.h"
#include "examples/NetworkSimulation.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vireo-make-samples FOLDER\n";
    return 2;
  }
  using vireo::examples::SimulationOptions;
  struct Sample {
    const char* name;
    SimulationOptions options;
  };
  SimulationOptions loop;
  loop.seed = 11, loop.setupsPerLine = 12, loop.method = "BFFB", loop.startHeight = 190.15355;
  SimulationOptions open;
  open.seed = 12, open.setupsPerLine = 8, open.method = "BFBF", open.closedLoop = false,
  open.startHeight = 57.3121, open.lineEnd = "\n";
  SimulationOptions two;
  two.seed = 13, two.lines = 2, two.setupsPerLine = 6, two.method = "aBFFB",
  two.startHeight = 213.77755;
  // A Leica DNA03 job in GSI-16: a closed BFFB loop.
  SimulationOptions leica;
  leica.seed = 14, leica.setupsPerLine = 14, leica.method = "BFFB", leica.startHeight = 131.40627;
  const Sample samples[] = {{"LOOP_BFFB.dat", loop},
                            {"OPEN_LINE_BFBF.dat", open},
                            {"TWO_LINES_aBFFB.dat", two},
                            {"LOOP_DNA03.gsi", leica}};
  // A small levelling network over two days, the second day on a Leica:
  // four loops over five benchmarks, one section run forward and back. Its
  // set-ups scatter as sigma = 1 mm for 1 km says, so the adjustment at the
  // default passes its global test. A second copy of the second day holds
  // a 4 mm blunder in the middle of the line BM4 to BM5.
  vireo::examples::NetworkSimulation network{
      21,
      {{"BM1", 100.0}, {"BM2", 101.2734}, {"BM3", 99.6121}, {"BM4", 102.0458}, {"BM5", 100.8815}},
      0.0002};
  const std::string networkDay1 = vireo::examples::SimulateNetworkFile(
      network, {{"BM1", "BM2", 8}, {"BM2", "BM3", 6}, {"BM3", "BM1", 7}, {"BM1", "BM5", 6}});
  network.seed = 22;
  auto day2 = [&](double blunder) {
    return vireo::examples::GsiFromDini(
        vireo::examples::SimulateNetworkFile(
            network,
            {{"BM2", "BM4", 6}, {"BM4", "BM5", 5, blunder}, {"BM5", "BM3", 7}, {"BM4", "BM2", 6}}),
        vireo::examples::GsiWidth::Gsi16, "\n");
  };
  for (const auto& [name, content] :
       {std::pair{"NETWORK_DAY1.dat", networkDay1}, std::pair{"NETWORK_DAY2.gsi", day2(0)},
        std::pair{"NETWORK_DAY2_BLUNDER.gsi", day2(0.004)}}) {
    std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary);
    out << content;
    if (!out.flush()) {
      std::cerr << argv[1] << "/" << name << ": cannot write\n";
      return 1;
    }
  }
  for (const auto& sample : samples) {
    const std::string path = std::string(argv[1]) + "/" + sample.name;
    const std::string name = sample.name;
    std::string content = vireo::examples::SimulateFieldFile(sample.options);
    if (name.substr(name.size() - 4) == ".gsi")
      content = vireo::examples::GsiFromDini(content, vireo::examples::GsiWidth::Gsi16, "\n");
    std::ofstream out(path, std::ios::binary);
    out << content;
    if (!out.flush()) {
      std::cerr << path << ": cannot write\n";
      return 1;
    }
  }
  return 0;
}
