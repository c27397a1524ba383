// The points of a survey as a list for CAD: one entry per point reading of
// every line, both methods, in the file's order, with its reduced and
// adjusted level. A line's first entry is the height it starts from.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "reduction/Survey.h"

namespace vireo {

struct PointEntry {
  std::string point;           // UTF-8
  const char* kind = "start";  // "start", "back", "fore" or "intermediate"
  bool singleRun = false;
  int line = 0;  // the line of levelling, counted apart for each method
  long fieldLine = 0;
  std::optional<double> reading, distance;  // metres; a double run's are the means
  std::optional<double> reducedLevel, adjustedLevel;
  // The height of collimation of the set-up it was read from.
  std::optional<double> instrumentLevel;
};

std::vector<PointEntry> PointsOf(const Survey& survey);

// "point,kind,line,field_line,reduced_level_m,adjusted_level_m" and a row
// for each entry, levels to five decimals, empty where there is none;
// a point with a comma or a quote is quoted. Lines end in CR LF.
std::string PointsCsv(const std::vector<PointEntry>& points);

}  // namespace vireo
