#include "examples/FieldFileWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace vireo::examples {
namespace {

std::string RightAligned(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string Block(const std::string& code, const std::string& value, std::size_t width) {
  if (code.empty()) return std::string(22, ' ');
  std::string block = code + std::string(2 - std::min<std::size_t>(2, code.size()), ' ');
  block += RightAligned(value, width);
  block += " m";
  block.resize(22, ' ');
  return block;
}

std::string Fixed(double v, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

std::string Clock(long seconds) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02ld:%02ld:%02ld", (seconds / 3600) % 24,
                (seconds / 60) % 60, seconds % 60);
  return buffer;
}

double Rounded(double value) {
  return std::round(value * 1e5) / 1e5;
}

// One set-up of a single-run line: the back and fore readings (fore first
// when `foreFirst`), the intermediate sights after the back sight, each
// followed by the height of its point, and the height of the fore point.
// `emit(point, code, value, distance)` writes a reading, and a height when
// the distance is 0. Returns the fore point's height.
template <typename Emit>
double SingleRunSetup(Emit& emit, std::pair<std::string, std::string> points, double bs, double fs,
                      std::pair<double, double> distances, bool foreFirst, double height,
                      int intermediates, int number, std::mt19937& random) {
  const double collimation = height + bs;
  if (foreFirst) emit(points.second, "Rf", fs, distances.second);
  emit(points.first, "Rb", bs, distances.first);
  for (int k = 1; k <= intermediates; ++k) {
    const std::string point = "S" + std::to_string(number) + "." + std::to_string(k);
    const double reading = Rounded(std::uniform_real_distribution<double>(0.5, 3.5)(random));
    emit(point, "Rz", reading, std::uniform_real_distribution<double>(3.0, 30.0)(random));
    emit(point, "", collimation - reading, 0);
  }
  if (!foreFirst) emit(points.second, "Rf", fs, distances.second);
  emit(points.second, "", height + (bs - fs), 0);
  return height + (bs - fs);
}

}  // namespace

std::string KindAndPoint(const std::string& kind, const std::string& pointId,
                         const std::string& time, int lineNumber) {
  std::string text = kind + RightAligned(pointId, 9);   // columns 18-29
  text += "      ";                                     // 30-35
  text += time.empty() ? std::string(8, ' ') : time;    // 36-43
  text += RightAligned(std::to_string(lineNumber), 5);  // 44-48
  return text;
}

std::string M5Line(long address, const std::string& kindAndPoint, const std::string& valueCode,
                   const std::string& value, const std::string& distanceCode,
                   const std::string& distance, const std::string& height) {
  // The address field is six digits wide; it wraps as a long job would.
  std::string line = "For M5|Adr" + RightAligned(std::to_string(address % 1000000), 6) + "|";
  std::string middle = kindAndPoint;
  middle.resize(31, ' ');
  line += middle + "|";
  line += Block(valueCode, value, 15) + "|";
  line += Block(distanceCode, distance, 15) + "|";
  if (height.empty()) {
    line += std::string(22, ' ');
  } else {
    std::string block = "Z" + RightAligned(height, 16) + " m";  // columns 96-114
    block.resize(22, ' ');
    line += block;
  }
  line += "|";
  return line;
}

std::string SimulateFieldFile(const SimulationOptions& o) {
  std::mt19937 random(o.seed);
  std::uniform_real_distribution<double> staff(0.6, 3.2);
  std::uniform_real_distribution<double> sight(5.0, 55.0);
  std::normal_distribution<double> noise(0.0, 0.00002);
  std::normal_distribution<double> distanceNoise(0.0, 0.01);

  std::string out;
  long address = 0;
  long clock = 8 * 3600;
  auto emit = [&](const std::string& line) {
    out += line;
    out += o.lineEnd;
  };
  auto to = [&](const std::string& text) {
    std::string kp = "TO  " + text;
    emit(M5Line(++address, kp, "", "", "", "", ""));
  };
  to("Project_" + std::to_string(o.seed) + ".DAT");
  int line = 0;
  auto emitReading = [&](const std::string& point, const char* code, double value,
                         double distance) {
    clock += 13 + static_cast<long>(random() % 20);
    emit(M5Line(++address, KindAndPoint("KD1", point, Clock(clock), line), code, Fixed(value, 5),
                distance > 0 ? "HD" : "", distance > 0 ? Fixed(distance, 3) : "",
                distance > 0 ? "" : Fixed(value, 5)));
  };

  int benchmark = 1;
  double height = o.startHeight;
  for (line = 1; line <= o.lines; ++line) {
    const std::string method = o.method;
    std::string methodText = method;
    methodText.resize(9, ' ');
    to("Start-Line       " + methodText + std::to_string(line));
    const std::string startPoint = "BM" + std::to_string(benchmark++);
    emit(M5Line(++address, KindAndPoint("KD1", startPoint, "", line), "", "", "", "",
                Fixed(height, 5)));
    const double lineStart = height;
    double trueHeight = height;  // the ground, as opposed to what was read
    std::string back = startPoint;
    double sumBack = 0, sumFore = 0;
    for (int s = 1; s <= o.setupsPerLine; ++s) {
      const bool last = s == o.setupsPerLine;
      const std::string fore =
          last ? (o.closedLoop ? startPoint : "BM" + std::to_string(benchmark++))
               : "TP" + std::to_string(line * 1000 + s);
      double rise;
      if (last && o.closedLoop) {
        rise = lineStart - trueHeight;
      } else {
        rise = std::uniform_real_distribution<double>(-1.2, 1.2)(random);
        if (o.closedLoop) {
          // A long loop turns back in time for its closing set-up to stay
          // within a staff's reach.
          const double reach = 3.0 + 1.2 * (o.setupsPerLine - s);
          rise = std::clamp(rise, lineStart - trueHeight - reach, lineStart - trueHeight + reach);
        }
      }
      double bs = staff(random);
      double fs = bs - rise;
      if (fs < 0.3 || fs > 3.9) {
        fs = std::clamp(fs, 0.3, 3.9);
        bs = fs + rise;
      }
      trueHeight += bs - fs;
      const double db = sight(random),
                   df = db + std::uniform_real_distribution<double>(-2, 2)(random);
      struct Obs {
        bool isBack;
        double value, distance;
      };
      Obs b1{true, bs + noise(random), db + distanceNoise(random)};
      Obs b2{true, bs + noise(random), db + distanceNoise(random)};
      const double settling = std::normal_distribution<double>(0.0, o.setupError)(random);
      Obs f1{false, fs + settling + noise(random), df + distanceNoise(random)};
      Obs f2{false, fs + settling + noise(random), df + distanceNoise(random)};
      if (method == "BF" || method == "aBF") {
        height = SingleRunSetup(emitReading, {back, fore}, Rounded(b1.value), Rounded(f1.value),
                                {b1.distance, f1.distance}, method == "aBF" && s % 2 == 0, height,
                                o.intermediates, line * 1000 + s, random);
        sumBack += b1.distance;
        sumFore += f1.distance;
        back = fore;
        continue;
      }
      std::vector<Obs> order;
      if (method == "BFBF")
        order = {b1, f1, b2, f2};
      else if (method == "BBFF")
        order = {b1, b2, f1, f2};
      else if (method == "aBFFB" && s % 2 == 0)
        order = {f1, b1, b2, f2};
      else
        order = {b1, f1, f2, b2};
      for (const Obs& obs : order) {
        emitReading(obs.isBack ? back : fore, obs.isBack ? "Rb" : "Rf", obs.value, obs.distance);
        (obs.isBack ? sumBack : sumFore) += obs.distance;
      }
      height += ((b1.value + b2.value) - (f1.value + f2.value)) / 2;
      emit(M5Line(++address, KindAndPoint("KD1", fore, Clock(clock + 5), line), "", "", "", "",
                  Fixed(height, 5)));
      back = fore;
    }
    const double sh = height - lineStart;
    emit(M5Line(++address, KindAndPoint("KD1", back, "", line), "Sh", Fixed(sh, 5), "dz",
                Fixed(-sh, 5), Fixed(o.closedLoop ? lineStart : height, 5)));
    emit(M5Line(++address, KindAndPoint("KD2", back, "", line), "Db", Fixed(sumBack / 2, 2), "Df",
                Fixed(sumFore / 2, 2), Fixed(height, 5)));
    to("End-Line                  " + std::to_string(line));
  }
  return out;
}

}  // namespace vireo::examples
