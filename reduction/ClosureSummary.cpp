#include "reduction/ClosureSummary.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "common/Error.h"
#include "common/Text.h"
#include "reduction/SetupReduction.h"
#include "reduction/Tolerance.h"

namespace vireo {

std::string MiscloseLine(double miscloseMetres) {
  return "The Calculated Misclose is " + FormatFixed(miscloseMetres * 1000, 2) + " mm";
}

std::string PermissibleErrorLine(double permissibleMillimetres) {
  return "The Permissible Error is     " + FormatFixed(permissibleMillimetres, 2) + " mm";
}

std::string AdjustedFigures(const Workbook& sheet, int firstDataRow) {
  if (firstDataRow < 1 || firstDataRow >= Workbook::kMaxRows) return {};
  std::uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a
  auto add = [&](const void* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
      hash = (hash ^ static_cast<const unsigned char*>(bytes)[i]) * 0x100000001b3u;
  };
  // Set-up pairs down to the summation row, the first pair of rows whose
  // "Dist1(m)" cells are both empty; then that row.
  int last = firstDataRow;
  while (last + 1 < Workbook::kMaxRows &&
         !(sheet.Get(last, kDist1).IsEmpty() && sheet.Get(last + 1, kDist1).IsEmpty()))
    last += 2;
  for (int row = firstDataRow; row <= last; ++row) {
    for (int column : {kRef, kDist1, kAveDist, kAveBs, kAveFs, kRise, kFall}) {
      const CellValue cell = sheet.Get(row, column);
      add(&cell.kind, sizeof cell.kind);
      if (cell.kind == CellValue::Kind::Number) add(&cell.number, sizeof cell.number);
      add(cell.text.data(), cell.text.size() + 1);
    }
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return std::to_string(last) + ":" + text;
}

int DistributeMisclose(Workbook& sheet, int firstDataRow, int summationRow, double totalDistance,
                       double misclose) {
  auto value = [&](int row, int column) { return CellNumber(sheet.Get(row, column)); };
  auto put = [&](int row, int column, double v) {
    if (!std::isfinite(v))
      throw Error("", "spread the misclose",
                  "the adjusted level of row " + std::to_string(row) + " is too large to compute");
    sheet.SetNumber(row, column, v);
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
  result.permissibleError = ToleranceMm(NumberFromText(errorFactorText), run.totalDistance);
  sheet.SetText(result.adjRow + 4, kFs2, PermissibleErrorLine(result.permissibleError));
  return result;
}

}  // namespace vireo
