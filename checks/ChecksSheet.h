// The sheet "Checks" of the processed workbook: the verdict, the file's
// misclose against the permissible error, the readings (how many, the
// set-ups reduced, every reading not reduced and why), the limits used, the
// lines of levelling and their booking check, the sections run forward and
// back, and every reduced set-up with its check values; a value that
// breaks its limit has a red fill.
#pragma once

#include "checks/Checks.h"
#include "output/Workbook.h"
#include "reduction/Survey.h"

namespace vireo {

inline constexpr const char* kChecksSheet = "Checks";

// Adds the sheet after the last sheet. Returns false, leaving the workbook
// as it was, when it has a sheet of that name already (a template's own).
bool WriteChecksSheet(Workbook& workbook, const CheckReport& report, const Survey& survey);

// The RL adjustment's keyed levels give the misclose to judge and the
// booking check of the line they rebuilt: a Checks sheet this program wrote
// takes them, and its verdict is told again from its facts. Returns false
// when the workbook has no such sheet.
bool UpdateChecksSheetVerdict(Workbook& workbook, const FileCheck& file,
                              const BookingCheck& lastLine);

}  // namespace vireo
