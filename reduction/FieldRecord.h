// Recognition of the field data file's fixed-column records. Columns are
// byte columns counted from 1; a line shorter than a field gives the field
// only the bytes that are there.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vireo {

// One staff reading of a set-up.
struct Reading {
  std::string code;      // "Rb" back sight or "Rf" fore sight
  std::string pointId;   // trimmed
  double value = 0.0;    // metres; 0 when the text was not a number
  std::string distance;  // trimmed text, read as a number where used
  bool valueWasNumber = true;
  long line = 0;  // line number in the field data file
};

struct FieldRecord {
  bool lineStart = false;          // "Start-Line" in columns 22-31 (trimmed)
  bool height = false;             // "KD1" in 18-20 and "Z" in 96
  std::string heightText;          // columns 97-112, trimmed
  std::optional<Reading> reading;  // "KD1", no "#####" in 30-34, "Rb"/"Rf" in 50-51
};

FieldRecord ClassifyLine(std::string_view line);

// The text at columns first..last (1-based, inclusive), clipped to the line.
std::string_view Columns(std::string_view line, std::size_t first, std::size_t last);

}  // namespace vireo
