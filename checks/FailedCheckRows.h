// The failed checks of a run as the rows of a list a surveyor can sort and
// copy (the window's "Show checks"): one row per check that broke its limit,
// set-ups first in the file's order, then the lines, sections and the file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "checks/Checks.h"

namespace vireo {

enum class FailedRowKind {
  Check,       // a check that broke its limit
  NotReduced,  // a reading the run could not reduce (file line and reason)
};

struct FailedCheckRow {
  FailedRowKind kind = FailedRowKind::Check;
  long setup = 0;      // the set-up counted from 1; 0 for a line, section or file check
  long fieldLine = 0;  // line of the field data file; 0 for the file's misclose
  std::string lines;   // the line(s) of levelling: "8", "17 and 18"; empty for the file
  std::string points;  // "A → B", UTF-8
  std::string check;   // what was checked, with its unit
  std::optional<double> value, limit;
  int decimals = 2;    // the value's and the limit's
  std::string reason;  // a reading not reduced: why
};

// The rows of `report.failed` and of a failed file misclose. Readings not
// reduced get rows of kind NotReduced (set-up 0, their file line, the
// reason) from the run's record of every reading, once it keeps one.
std::vector<FailedCheckRow> FailedCheckRows(const CheckReport& report);

// The column headings of the list, in its order.
std::vector<std::string> FailedCheckHeadings();
// One row's cells as the list shows them, in the headings' order; a tab
// or line break in a name is shown as a blank, so the cells can be copied
// as tab-separated lines.
std::vector<std::string> FailedCheckCells(const FailedCheckRow& row);

}  // namespace vireo
