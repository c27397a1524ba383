// The processing run with the double run's checks: the limits are read
// afresh from checks.ini, the run's survey is checked, and the verdict goes
// into the processed workbook as its "Checks" sheet.
#pragma once

#include <string>

#include "checks/Checks.h"
#include "report/ProcessField.h"

namespace vireo {

struct CheckedRun {
  ProcessResult run;
  CheckReport checks;
};

// As ProcessField; a checks.ini that exists but cannot be read is refused
// (Error) before any output is touched, and its doubtful lines join the
// run's warnings.
CheckedRun ProcessAndCheck(const std::string& fieldPath, const AppFolder& app,
                           FileSystem& fs = RealFileSystem());

// The closure of a finished run as the checks judge it.
ReportClosure ClosureOf(const ProcessResult& run);

// Keyed levels (the RL adjustment) make the misclose one to judge: the
// file verdict takes the adjusted misclose (metres) and permissible error.
void JudgeAdjustedMisclose(CheckReport& report, double miscloseM, double permissibleMm);

}  // namespace vireo
