#include "reduction/ClosureSummary.h"

#include <cmath>

#include "common/Error.h"
#include "common/Text.h"
#include "reduction/SetupReduction.h"

namespace vireo {

std::string MiscloseLine(double miscloseMetres) {
  return "The Calculated Misclose is " + FormatFixed(miscloseMetres * 1000, 2) + " mm";
}

std::string PermissibleErrorLine(double permissibleMillimetres) {
  return "The Permissible Error is     " + FormatFixed(permissibleMillimetres, 2) + " mm";
}

int DistributeMisclose(Workbook& sheet, int firstDataRow, int summationRow, double totalDistance,
                       double misclose) {
  auto value = [&](int row, int column) { return CellNumber(sheet.Get(row, column)); };
  auto put = [&](int row, int column, double v) {
    if (std::isfinite(v)) sheet.SetNumber(row, column, v);
  };
  int adjRow = firstDataRow;
  if (firstDataRow + 1 < summationRow) {  // at least one set-up pair
    put(adjRow, kAdjRl, value(firstDataRow, kCalRl));
    if (totalDistance != 0) {
      put(adjRow + 1, kAdjRl,
          value(adjRow, kAdjRl) +
              (value(adjRow, kAveDist) + value(adjRow + 1, kAveDist)) / totalDistance * misclose +
              value(adjRow + 1, kRise) - value(adjRow + 1, kFall));
    }
  }
  double cumDistance = value(adjRow, kAveDist) + value(adjRow + 1, kAveDist);
  adjRow += 2;
  while (adjRow < summationRow) {
    put(adjRow, kAdjRl, value(adjRow - 1, kAdjRl));
    cumDistance = cumDistance + value(adjRow, kAveDist) + value(adjRow + 1, kAveDist);
    if (totalDistance != 0)
      put(adjRow + 1, kAdjRl, value(adjRow + 1, kCalRl) + cumDistance / totalDistance * misclose);
    adjRow += 2;
  }
  return adjRow;
}

ClosureResult WriteClosureSummary(Workbook& sheet, const RunVariables& run,
                                  const std::string& errorFactorText) {
  ClosureResult result;
  const int s = run.currentRow;
  result.summationRow = s;
  // DistributeMisclose ends on the summation row, or two rows below the
  // first data row when the line has no set-up; the closure lines stand 3
  // and 4 rows below that row, the last rows the report needs.
  int closureRow = run.firstDataRow + 2;
  if (closureRow < s) closureRow += (s - closureRow + 1) / 2 * 2;
  if (closureRow + 4 > Workbook::kMaxRows)
    throw Error("", "write the closure summary",
                "the report would need more than " + std::to_string(Workbook::kMaxRows) +
                    " rows, the most a workbook holds");
  if (run.anyRise) sheet.SetNumber(s, kRise, run.sumRise);
  if (run.anyFall) sheet.SetNumber(s, kFall, run.sumFall);
  sheet.SetNumber(s, kAveDist, run.totalDistance);
  sheet.SetText(s, kFs2, "Summation of Readings");

  result.misclose = run.sumFall - run.sumRise;
  result.adjRow =
      DistributeMisclose(sheet, run.firstDataRow, s, run.totalDistance, result.misclose);
  sheet.SetText(result.adjRow + 3, kFs2, MiscloseLine(result.misclose));
  result.permissibleError = NumberFromText(errorFactorText) * std::sqrt(run.totalDistance / 1000);
  if (!std::isfinite(result.permissibleError)) result.permissibleError = 0;
  sheet.SetText(result.adjRow + 4, kFs2, PermissibleErrorLine(result.permissibleError));
  return result;
}

}  // namespace vireo
