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

}  // namespace vireo
