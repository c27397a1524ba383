// What a reader makes of one line of a field data file, whatever the
// instrument's format: a line start, a height, a staff reading, or a
// reading record the reader could not hand on, with the reason.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vireo {

// One staff reading of a set-up.
struct Reading {
  std::string code;      // "Rb" back sight, "Rf" fore sight or "Rz" intermediate sight
  std::string pointId;   // trimmed; the field file's own bytes
  double value = 0.0;    // metres; 0 when the text was not a number
  std::string distance;  // trimmed text, read as a number where used
  bool valueWasNumber = true;
  long line = 0;  // line number in the field data file
};

// Why a reading record of a field data file was not reduced. The readers
// give the reasons that lie in the file's format; the reduction the rest.
enum class NotReducedReason : std::uint8_t {
  UnpairedBackSight,   // its set-up has no second back-sight reading on the point
  DroppedSetup,        // its set-up has no paired fore sight
  Leftover,            // after the last complete set-up of the file
  NoPointId,           // the reading names no point
  NotANumber,          // the reading is no number
  OutOfColumn,         // the marks of a reading, its fields out of column
  SingleRunLine,       // the line is measured single-run
  IntermediateSight,   // a sight between the back and fore sights
  IncompleteGsiSetup,  // a GSI set-up lacks one of its four readings
  MismatchedGsiSetup,  // a GSI set-up reads two points for one sight
  UnreadableBlock,     // a GSI block holds more than one reading
  ImpossibleValue,     // a value no level or staff can give
  DamagedRecord,       // the file ends inside the record
  UnmatchedSight,      // a single-run sight without the back or fore sight of its set-up
};

// "unpaired back sight", "dropped set-up", ...
const char* ReasonText(NotReducedReason reason);

// Intermediate sights and single-run lines are no part of a double run, so
// their readings are not lost when they are not reduced.
bool IsPartOfDoubleRun(NotReducedReason reason);

// What the level writes when a line of levelling ends: DiNi's "End-Line"
// text record and its KD2 end record, a GSI closing block; with the level's
// own figures of the line where the record gives them.
enum class LineEndKind : std::uint8_t { EndLineText, EndRecord, ClosingBlock };

struct LineEnd {
  LineEndKind kind = LineEndKind::EndLineText;
  std::optional<long> setups;  // the level's count of the line's set-ups
  std::string endHeightText;   // the height it measured at the line's end; empty: none
  std::string endPoint;        // the point it ended on, where given
  // A GSI closing block also names the point the line started from (509),
  // the known height it closes on (514) and its own misclosure (505,
  // measured minus known).
  std::string startPoint;
  std::string knownHeightText;
  std::string miscloseText;
};

// "End-Line record", "end record (KD2)", "closing block".
const char* LineEndText(LineEndKind kind);

struct FieldRecord {
  long line = 0;           // line number in the field data file
  bool lineStart = false;  // opens a line of levelling
  // The line it opens is measured single-run (BF, or BF and FB alternating):
  // one back and one fore reading a set-up, intermediate sights between.
  bool singleRun = false;
  std::string method;       // "BF", "aBF", "BFFB", ... as the level names it; empty: not named
  bool height = false;      // carries a height
  std::string heightText;   // the height as text, metres
  std::string heightPoint;  // the point the height is of, as the file names it
  std::optional<LineEnd> lineEnd;  // ends a line of levelling
  std::optional<Reading> reading;  // a back, fore or intermediate sight reading
  // A reading record the reader skips, and why.
  std::optional<NotReducedReason> skippedReading;

  bool IsRecord() const {
    return lineStart || height || reading.has_value() || lineEnd.has_value();
  }
};

}  // namespace vireo
