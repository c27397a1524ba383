// The level data file for the outside least-squares adjustment package:
// nine header lines, then one elevation difference record per set-up. Every
// line ends with CR LF.
#pragma once

#include <string>

#include "common/FileSystem.h"

namespace vireo {

// The nine header lines, each with its CR LF.
std::string LevelDataHeader();

struct ElevationRecord {
  std::string backStation;
  std::string foreStation;
  double aveBackSight = 0.0;
  double aveForeSight = 0.0;
  double backDistance = 0.0;  // metres, of the first back and the first fore reading
  double foreDistance = 0.0;
  std::string firstStation;  // the descriptor, the same on every record
};

// One record with its CR LF:
// "L  " pair, 23 spaces, PairPad, difference "0.00000", " ", DistPad,
// distance (whole metres, rounded down), "   '", first station.
// PairPad is max(0, 12 - length of pair) spaces plus one for a strictly
// positive difference; DistPad is max(0, 4 - digits of the distance).
std::string FormatElevationRecord(const ElevationRecord& record);

// Writes the file as a StagedFile beside its target; Close() flushes it and
// Replace() renames it over the target, so an older file stays intact until
// the new one is complete. Destroyed before Replace(), the temporary file is
// removed.
class LevelDataFile {
 public:
  // Creates the temporary file and writes the header. Throws Error.
  LevelDataFile(FileSystem& fs, std::string path);

  void Write(const ElevationRecord& record);  // throws Error
  void Close();                               // flush to disk; throws Error
  void Replace();                             // rename over the target; throws Error
  const std::string& Path() const { return staged_.Target(); }

 private:
  StagedFile staged_;
};

}  // namespace vireo
