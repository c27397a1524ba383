// What a reader makes of one line of a field data file, whatever the
// instrument's format: a line start, a height, a staff reading.
#pragma once

#include <optional>
#include <string>

namespace vireo {

// One staff reading of a set-up.
struct Reading {
  std::string code;      // "Rb" back sight or "Rf" fore sight
  std::string pointId;   // trimmed; the field file's own bytes
  double value = 0.0;    // metres; 0 when the text was not a number
  std::string distance;  // trimmed text, read as a number where used
  bool valueWasNumber = true;
  long line = 0;  // line number in the field data file
};

struct FieldRecord {
  long line = 0;                   // line number in the field data file
  bool lineStart = false;          // opens a line of levelling
  bool height = false;             // carries a height
  std::string heightText;          // the height as text, metres
  std::optional<Reading> reading;  // a back-sight or fore-sight reading

  bool IsRecord() const { return lineStart || height || reading.has_value(); }
};

}  // namespace vireo
