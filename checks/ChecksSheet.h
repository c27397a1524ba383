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
// booking check of the line they rebuilt: the verdict told from them and
// the run's facts (KeyedVerdict) is written at the head of a Checks sheet
// this program wrote; nothing of the sheet is read back to decide it.
// Returns false when the workbook has no such sheet.
bool UpdateChecksSheetVerdict(Workbook& workbook, const VerdictFacts& facts,
                              const BookingCheck& lastLine);

}  // namespace vireo
