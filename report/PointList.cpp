#include "report/PointList.h"

#include <algorithm>

#include "common/Text.h"

namespace vireo {
namespace {

const char* KindName(SightKind kind) {
  return kind == SightKind::Back ? "back" : kind == SightKind::Fore ? "fore" : "intermediate";
}

void AddDoubleRun(const Survey& survey, std::vector<PointEntry>& points) {
  for (std::size_t l = 0; l < survey.lines.size(); ++l) {
    const LevellingLine& line = survey.lines[l];
    const int number = static_cast<int>(l + 1);
    for (std::size_t i = 0; i < line.setups.size(); ++i) {
      const Setup& s = line.setups[i];
      if (i == 0 && !line.startHeight.empty() && s.back)
        points.push_back({ToUtf8(s.back->point),
                          "start",
                          false,
                          number,
                          line.fieldLine,
                          {},
                          {},
                          NumberFromText(line.startHeight),
                          {},
                          {}});
      if (s.back)
        points.push_back({ToUtf8(s.back->point),
                          "back",
                          false,
                          number,
                          s.back->first.fieldLine,
                          s.AveBackSight(),
                          s.BackDistance(),
                          s.calRlBack,
                          s.adjRlBack,
                          {}});
      points.push_back({ToUtf8(s.fore.point),
                        "fore",
                        false,
                        number,
                        s.fore.first.fieldLine,
                        s.AveForeSight(),
                        s.ForeDistance(),
                        s.calRlFore,
                        s.adjRlFore,
                        {}});
    }
  }
}

void AddSingleRun(const Survey& survey, std::vector<PointEntry>& points) {
  for (const SingleRunLine& line : survey.singleRunLines) {
    if (!line.startHeight.empty())
      points.push_back({ToUtf8(line.startPoint),
                        "start",
                        true,
                        line.number,
                        line.fieldLine,
                        {},
                        {},
                        NumberFromText(line.startHeight),
                        {},
                        {}});
    for (const BookSetup& setup : line.setups)
      for (const BookSight& s : setup.sights)
        points.push_back({ToUtf8(s.point), KindName(s.kind), true, line.number, s.reading.fieldLine,
                          s.reading.value, s.reading.distance, s.reducedLevel, s.adjustedLevel,
                          setup.collimation});
  }
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string Level(const std::optional<double>& level) {
  return level ? FormatFixed(*level, 5) : std::string();
}

}  // namespace

std::vector<PointEntry> PointsOf(const Survey& survey) {
  std::vector<PointEntry> points;
  AddDoubleRun(survey, points);
  AddSingleRun(survey, points);
  // In the file's order, whichever method each line was run by.
  std::stable_sort(points.begin(), points.end(), [](const PointEntry& a, const PointEntry& b) {
    return a.fieldLine < b.fieldLine;
  });
  return points;
}

std::string PointsCsv(const std::vector<PointEntry>& points) {
  std::string out = "point,kind,line,field_line,reduced_level_m,adjusted_level_m\r\n";
  for (const PointEntry& p : points)
    out += CsvField(p.point) + "," + p.kind + "," + std::to_string(p.line) + "," +
           std::to_string(p.fieldLine) + "," + Level(p.reducedLevel) + "," +
           Level(p.adjustedLevel) + "\r\n";
  return out;
}

}  // namespace vireo
