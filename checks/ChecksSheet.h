// The sheet "Checks" of the processed workbook: the verdict, the file's
// misclose against the permissible error, the limits used, the lines of
// levelling, the sections run forward and back, and every reduced set-up
// with its check values; a value that breaks its limit has a red fill.
#pragma once

#include "checks/Checks.h"
#include "output/Workbook.h"
#include "reduction/Survey.h"

namespace vireo {

inline constexpr const char* kChecksSheet = "Checks";

// Adds the sheet after the last sheet. Returns false, leaving the workbook
// as it was, when it has a sheet of that name already (a template's own).
bool WriteChecksSheet(Workbook& workbook, const CheckReport& report, const Survey& survey);

// The RL adjustment's keyed levels give the misclose to judge: the file
// verdict of a Checks sheet this program wrote takes it. Returns false when
// the workbook has no such sheet.
bool UpdateChecksSheetFile(Workbook& workbook, const FileCheck& file);

}  // namespace vireo
