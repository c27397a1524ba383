// The closure of the line: the summation row, the misclose spread over
// "Adj. RL" as for a closed loop, and the two closure lines in millimetres.
#pragma once

#include <string>

#include "output/Workbook.h"
#include "reduction/RunVariables.h"

namespace vireo {

struct ClosureResult {
  int summationRow = 0;
  int adjRow = 0;                 // where the walk stopped; the end row is adjRow - 1
  double misclose = 0.0;          // metres, SumFall - SumRise
  double permissibleError = 0.0;  // millimetres
};

std::string MiscloseLine(double miscloseMetres);
std::string PermissibleErrorLine(double permissibleMillimetres);

// Spreads `misclose` over column N from `firstDataRow` down to the last
// set-up pair above `summationRow` (the walk ends by row), the first
// fore-sight row taking its rise and fall, the later ones their Cal. RL.
// Returns the row where the walk stopped. A TotalDistance of 0 leaves the
// fore-sight cells as they were. A level too large to be a finite number
// throws Error (with an empty file name).
int DistributeMisclose(Workbook& sheet, int firstDataRow, int summationRow, double totalDistance,
                       double misclose);

// A short text over the figures the RL adjustment reads and never writes:
// Ref., Dist1(m), the means, rise and fall of the rows from `firstDataRow`
// through the summation row. A run records it with the dialog's fields;
// the adjustment refuses a workbook whose figures no longer give it, so the
// run's misclose and distance are never spread over another survey.
std::string AdjustedFigures(const Workbook& sheet, int firstDataRow);

ClosureResult WriteClosureSummary(Workbook& sheet, const RunVariables& run,
                                  const std::string& errorFactorText);

}  // namespace vireo
