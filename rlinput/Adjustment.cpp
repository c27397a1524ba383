#include "rlinput/Adjustment.h"

#include <cmath>
#include <optional>

#include "checks/ChecksSheet.h"
#include "common/Error.h"
#include "common/Text.h"
#include "output/Workbook.h"
#include "reduction/ClosureSummary.h"
#include "reduction/Profile.h"
#include "reduction/RunVariables.h"
#include "reduction/Tolerance.h"

namespace vireo {
namespace {

std::string CellName(int row, int column) {
  std::string letters;
  for (int c = column; c > 0; c = (c - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  return letters + std::to_string(row);
}

// A cell as a number for the adjustment: text that is not a number refuses
// the adjustment rather than counting as 0.
class StrictSheet {
 public:
  StrictSheet(Workbook& sheet, std::string path) : sheet_(sheet), path_(std::move(path)) {}
  double Value(int row, int column) const {
    const CellValue cell = sheet_.Get(row, column);
    if (cell.kind == CellValue::Kind::Number) return cell.number;
    if (cell.kind == CellValue::Kind::Empty) return 0.0;
    if (auto v = StrictNumber(cell.text)) return *v;
    throw Error(path_, "adjust the reduced levels",
                "cell " + CellName(row, column) + " holds \"" + cell.text + "\", not a number");
  }
  bool IsEmpty(int row, int column) const { return sheet_.Get(row, column).IsEmpty(); }
  void Put(int row, int column, double value) {
    if (!std::isfinite(value))
      throw Error(path_, "adjust the reduced levels",
                  "the level of cell " + CellName(row, column) + " is too large");
    sheet_.SetNumber(row, column, value);
  }

 private:
  Workbook& sheet_;
  std::string path_;
};

AdjustmentResult Refuse(std::string message,
                        AdjustmentResult::Status status = AdjustmentResult::Status::Refused) {
  AdjustmentResult result;
  result.status = status;
  result.message = std::move(message);
  return result;
}

AdjustmentResult Blocked(std::string message) {
  return Refuse(std::move(message), AdjustmentResult::Status::Blocked);
}

}  // namespace

std::optional<std::string> RefuseKeyedLevels(LoopType loop, const std::string& text1,
                                             const std::string& text2) {
  if (!StrictNumber(text1))
    return "The start RL \"" + text1 + "\" is not a number. Key in a level such as 100.000.";
  if (loop == LoopType::OpenLoop && !StrictNumber(text2))
    return "The end RL \"" + text2 +
           "\" is not a number. Key in a level such as 100.000, or choose Close Loop.";
  if (loop == LoopType::OpenLoop && !std::isfinite(*StrictNumber(text2) - *StrictNumber(text1)))
    return "The start RL " + text1 + " and the end RL " + text2 +
           " are too far apart to compute a misclose. Check the keyed levels.";
  return std::nullopt;
}

AdjustmentResult AdjustReducedLevels(const InputOptionFields& fields, LoopType loop,
                                     const std::string& text1, const std::string& text2,
                                     const AppFolder& app, FileSystem& fs) {
  if (auto refusal = RefuseKeyedLevels(loop, text1, text2)) return Refuse(*refusal);
  const std::optional<double> startRl = StrictNumber(text1);
  std::optional<double> endRl;
  if (loop == LoopType::OpenLoop) endRl = StrictNumber(text2);
  const std::string& path = fields.label11;
  const double firstRowNumber = NumberFromText(fields.label9);
  const double totalDistance = NumberFromText(fields.label10);
  double misclose = NumberFromText(fields.label12);
  const double errorFactor = NumberFromText(fields.label13);
  if (!(firstRowNumber >= 2 && firstRowNumber < Workbook::kMaxRows))
    return Refuse(path + ": the first data row \"" + fields.label9 +
                  "\" is not a row of the report");
  if (totalDistance == 0 || !std::isfinite(totalDistance))
    return Refuse(path +
                  ": the line has no reduced set-up (total distance 0), so there is nothing to "
                  "adjust");
  if (!std::isfinite(misclose)) misclose = 0;
  const int first = static_cast<int>(firstRowNumber);

  AdjustmentResult result;
  std::unique_ptr<FileLock> lock;
  try {
    lock = fs.Lock(app.OutputsLock(BaseNameOf(path)));
  } catch (const Error& e) {
    return Blocked(std::string("The workbook was not adjusted: ") + e.what());
  }
  try {
    Workbook workbook = Workbook::Open(path, fs);
    StrictSheet sheet(workbook, path);

    // Rebuild "Cal. RL" pair by pair down to the summation row, the first
    // pair of rows whose "Dist1(m)" cells are both empty. A set-up recorded
    // without a back sight leaves its back-sight row empty, but its fore-sight
    // row always holds a distance, so the rebuild goes on over it.
    sheet.Put(first, kCalRl, *startRl);
    sheet.Put(
        first + 1, kCalRl,
        sheet.Value(first, kCalRl) + sheet.Value(first, kAveBs) - sheet.Value(first + 1, kAveFs));
    int k = first + 2;
    while (k + 1 <= Workbook::kMaxRows &&
           !(sheet.IsEmpty(k, kDist1) && sheet.IsEmpty(k + 1, kDist1))) {
      sheet.Put(k, kCalRl, sheet.Value(k - 1, kCalRl));
      sheet.Put(k + 1, kCalRl,
                sheet.Value(k, kCalRl) + sheet.Value(k, kAveBs) - sheet.Value(k + 1, kAveFs));
      k += 2;
    }
    const int endRow = k;
    if (endRow + 4 > Workbook::kMaxRows)
      throw Error(path, "adjust the reduced levels", "the closure lines fall outside the sheet");
    if (loop == LoopType::OpenLoop) misclose = *endRl - sheet.Value(endRow - 1, kCalRl);
    if (!std::isfinite(misclose))
      throw Error(path, "adjust the reduced levels",
                  "the misclose is too large to compute; check the keyed levels");

    // Check every cell the distribution reads before it writes anything.
    for (int row = first; row < endRow; ++row) {
      sheet.Value(row, kAveDist);
      sheet.Value(row, kRise);
      sheet.Value(row, kFall);
    }
    if (!fields.figures.empty() && AdjustedFigures(workbook, first) != fields.figures)
      return Blocked(path +
                     ": the workbook no longer holds the figures of the run that filled the "
                     "dialog (another run or program has replaced it since), so it is not "
                     "adjusted with them. Process the field data file again.");
    DistributeMisclose(workbook, first, endRow, totalDistance, misclose);
    result.permissibleError = ToleranceMm(errorFactor, totalDistance);
    workbook.SetText(endRow + 3, kFs2, MiscloseLine(misclose));
    workbook.SetText(endRow + 4, kFs2, PermissibleErrorLine(result.permissibleError));
    // The profile follows the rebuilt levels (its chart's values with it),
    // and the checks judge the misclose the keyed levels give.
    WriteProfile(workbook, ReadProfile(workbook, first, endRow));
    UpdateChecksSheetFile(workbook, JudgeFile({misclose, result.permissibleError, true}));

    result.startRl = *startRl;
    result.endRl = sheet.Value(endRow - 1, kCalRl);
    result.misclose = misclose;
    result.endRow = endRow;

    try {
      fs.CreateFolder(app.ProcessedFiles());
      ReplaceOptions options;
      options.keepTempWhenRenameFails = true;
      workbook.Save(path, fs, options);
    } catch (const Error& e) {
      result.status = AdjustmentResult::Status::SaveFailed;
      result.message = std::string("The adjusted workbook was not saved: ") + e.what();
      return result;
    }
  } catch (const Error& e) {
    return Refuse(e.what());
  }
  result.status = AdjustmentResult::Status::Adjusted;
  return result;
}

}  // namespace vireo
