// The "Level Book" sheet: the single-run lines of a file as a surveyor
// books them, one row per reading in the file's order (Point, BS, IS, FS,
// Rise, Fall, Reduced Level, Adj. RL, Distance, File line), under the
// report's header block; at the foot of each line its sums, the arithmetic
// check and its closure. Printed one page wide, the heading on every page.
#pragma once

#include "output/Workbook.h"
#include "reduction/Survey.h"
#include "report/ReportSheet.h"

namespace vireo {

inline constexpr const char* kLevelBookSheet = "Level Book";

// Adds the sheet after the last one when the survey has single-run lines.
// Returns false, adding nothing, when the template has a sheet of that name
// of its own.
bool WriteLevelBook(Workbook& workbook, const ReportHeader& header, const Survey& survey,
                    double errorFactor);

// The rows of the last single-run line's readings on the sheet; 0 when the
// survey has no single-run line with a set-up.
struct LevelBookRows {
  int firstSight = 0, lastSight = 0;
};
LevelBookRows LastLineRows(const Survey& survey);

// The last line as the RL adjustment reads it back from the saved sheet:
// its readings and distances grouped into set-ups as the file gave them.
// A cell it computes with that is not a number refuses it (Error naming
// `path` and the cell).
SingleRunLine ReadLevelBookLine(Workbook& workbook, const LevelBookRows& rows,
                                const std::string& path);
// Writes the line's levels, Adj. RL and the texts at its foot again.
void WriteLevelBookLine(Workbook& workbook, const SingleRunLine& line, const LevelBookRows& rows,
                        double errorFactor);

}  // namespace vireo
