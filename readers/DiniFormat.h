// The DiNi M5 field data file: fixed-column text records. Columns are byte
// columns counted from 1; a line shorter than a field gives the field only
// the bytes that are there.
//   line start  "Start-Line" in columns 22-31 (trimmed)
//   height      "KD1" in 18-20 and "Z" in 96; the height in 97-112
//   reading     "KD1", no "#####" in 30-34, "Rb"/"Rf"/"Rz" (German
//               "Lr"/"Lv"/"Lz") in 50-51; point id 21-29, reading 52-66,
//               distance 75-89; the measuring method (BFFB, BF, ...) after
//               "Start-Line" in 32-43
//   line end    "End-Line" in 22-29; the end record "KD2" in 18-20, its
//               point 21-29, the level's count of set-ups 30-43 (where
//               given) and the end height after "Z" in 96
#pragma once

#include <string>
#include <string_view>

#include "readers/FieldRecord.h"

namespace vireo {

// "Rb" for a back sight code ("Rb", German "Lr"), "Rf" for a fore sight
// code ("Rf", German "Lv"), "Rz" for an intermediate sight ("Rz", "Lz");
// null for any other.
const char* ReadingCode(std::string_view code);

// One line as DiNi records; a line can be of more than one kind.
FieldRecord ClassifyDiniLine(std::string_view line);

// A line that carries the marks of a record of a kind `record` is not, but
// not at the columns of the format (an indented or shortened line): a
// reading ("KD1" and an "Rb"/"Rf" code), a height ("KD1" and a "Z" flag) or
// a line start ("Start-Line"). Such a line is skipped as the format says;
// this gives the warning that says why (empty for every other line), and
// whether the line is a reading record so lost.
struct OutOfColumn {
  std::string warning;
  bool reading = false;
};
OutOfColumn FindOutOfColumn(std::string_view line, const FieldRecord& record);

// A KD1 record whose value code (columns 50-51) is none the levels write
// (readings Rb Rf Rz, German Lr Lv Lz; Sh, dz, Db, Df and the like of the
// line's end): the warning that names the code, else empty.
std::string UnknownCodeWarning(std::string_view line, const FieldRecord& record);

// The text at columns first..last (1-based, inclusive), clipped to the line.
std::string_view Columns(std::string_view line, std::size_t first, std::size_t last);

}  // namespace vireo
