#include "examples/NetworkSimulation.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "examples/FieldFileWriter.h"

namespace vireo::examples {
namespace {

std::string Fixed(double v, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

}  // namespace

std::string SimulateNetworkFile(const NetworkSimulation& network,
                                const std::vector<SimulatedLine>& lines) {
  std::mt19937 random(network.seed);
  std::uniform_real_distribution<double> staff(0.6, 3.2), sight(5.0, 55.0), rise(-1.2, 1.2);
  std::normal_distribution<double> noise(0.0, 0.00002), settling(0.0, network.setupError);
  std::string out;
  long address = 0;
  auto emit = [&](const std::string& kindAndPoint, const std::string& code,
                  const std::string& value, const std::string& distance,
                  const std::string& height) {
    out += M5Line(++address, kindAndPoint, code, value, distance.empty() ? "" : "HD", distance,
                  height);
    out += "\r\n";
  };
  for (std::size_t l = 0; l < lines.size(); ++l) {
    const SimulatedLine& line = lines[l];
    const int number = static_cast<int>(l + 1);
    emit("TO  Start-Line       BFFB     " + std::to_string(number), "", "", "", "");
    double trueHeight = network.heights.at(line.from), height = trueHeight;
    emit(KindAndPoint("KD1", line.from, "", number), "", "", "", Fixed(height, 5));
    std::string back = line.from;
    for (int s = 1; s <= line.setups; ++s) {
      const bool last = s == line.setups;
      const std::string fore = last ? line.to : "TP" + std::to_string(s);
      const double toEnd = network.heights.at(line.to) - trueHeight;
      double step = last ? toEnd : rise(random);
      if (!last && network.steered)
        step = std::clamp(step + toEnd / (line.setups - s + 1), -2.5, 2.5);
      double bs = staff(random), fs = bs - step;
      if (fs < 0.3 || fs > 3.9) {
        fs = std::clamp(fs, 0.3, 3.9);
        bs = fs + step;
      }
      trueHeight += bs - fs;
      const double common = settling(random) + (s == (line.setups + 1) / 2 ? line.blunder : 0);
      const double db = sight(random), df = sight(random);
      const double b1 = bs + noise(random), f1 = fs + common + noise(random);
      const double f2 = fs + common + noise(random), b2 = bs + noise(random);
      emit(KindAndPoint("KD1", back, "08:00:00", number), "Rb", Fixed(b1, 5), Fixed(db, 3), "");
      emit(KindAndPoint("KD1", fore, "08:00:10", number), "Rf", Fixed(f1, 5), Fixed(df, 3), "");
      emit(KindAndPoint("KD1", fore, "08:00:20", number), "Rf", Fixed(f2, 5), Fixed(df, 3), "");
      emit(KindAndPoint("KD1", back, "08:00:30", number), "Rb", Fixed(b2, 5), Fixed(db, 3), "");
      height += ((b1 + b2) - (f1 + f2)) / 2;
      emit(KindAndPoint("KD1", fore, "08:00:35", number), "", "", "", Fixed(height, 5));
      back = fore;
    }
    emit("TO  End-Line                  " + std::to_string(number), "", "", "", "");
  }
  return out;
}

}  // namespace vireo::examples
