#include "output/LevelDataFile.h"

#include <algorithm>
#include <cmath>

#include "common/Error.h"
#include "common/Text.h"

namespace vireo {

std::string LevelDataHeader() {
  return "# Quarry Version 2.0.6\r\n"
         "# Elevation differences reduced by Vireo; the observations belong to the survey's "
         "owner.\r\n"
         "\r\n"
         ".Units  Meters\r\n"
         ".Sep    -\r\n"
         ".3D\r\n"
         "\r\n"
         "#  Elevation Difference Records\r\n"
         "#  Stations                             Diff    Dist  Descriptor\r\n";
}

std::string FormatElevationRecord(const ElevationRecord& record) {
  const std::string pair = record.backStation + "-" + record.foreStation;
  const double difference = record.aveBackSight - record.aveForeSight;
  std::string pairPad(static_cast<std::size_t>(std::max(0, 12 - static_cast<int>(pair.size()))),
                      ' ');
  if (difference > 0) pairPad += ' ';
  const double distance = std::floor(record.backDistance + record.foreDistance);
  const std::string distanceText = FormatFixed(distance, 0);
  std::string distPad(
      static_cast<std::size_t>(std::max(0, 4 - static_cast<int>(distanceText.size()))), ' ');
  std::string line;
  line.reserve(80 + pair.size() + record.firstStation.size());
  line += "L  ";
  line += pair;
  line.append(23, ' ');
  line += pairPad;
  line += FormatFixed(difference, 5);
  line += ' ';
  line += distPad;
  line += distanceText;
  line += "   '";
  line += record.firstStation;
  line += "\r\n";
  return line;
}

LevelDataFile::LevelDataFile(FileSystem& fs, std::string path) : staged_(fs, std::move(path)) {
  staged_.Out().Write(LevelDataHeader());
}

void LevelDataFile::Write(const ElevationRecord& record) {
  staged_.Out().Write(FormatElevationRecord(record));
}

void LevelDataFile::Close() {
  staged_.Commit();
}

void LevelDataFile::Replace() {
  staged_.Install();
}

}  // namespace vireo
