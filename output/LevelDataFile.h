// The level data file for the outside least-squares adjustment package:
// nine header lines, then one elevation difference record per set-up. Every
// line ends with CR LF. Its writer, and its reader for the network
// adjustment.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/FileSystem.h"
#include "common/Warning.h"

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

// One elevation difference record read back: its Diff over its Dist.
struct LevelDataRecord {
  long fileLine = 0;
  std::string back;  // station names, the file's own bytes
  std::string fore;
  double difference = 0;  // metres
  double length = 0;      // metres
};

// What a level data file holds. The file has no line start records, so a
// line of levelling is a run of consecutive records each starting where
// the previous one ended; a record that starts elsewhere starts a new run
// (with a warning). A station pair that the ".Sep" character (default "-")
// cannot split in exactly one way, even with the neighbouring records'
// names, is reported and left out; so is a line that is no record.
struct LevelDataContents {
  std::vector<std::vector<LevelDataRecord>> runs;
  std::vector<RunWarning> warnings;  // by line
};
LevelDataContents ReadLevelDataText(std::string_view text);

// Whether text (its first non-blank line, after a UTF-8 byte-order mark)
// looks like a level data file: "#", "." or an "L" record.
bool LooksLikeLevelData(std::string_view start);

}  // namespace vireo
