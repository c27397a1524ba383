// The OK of the RL input dialog for a file of single-run lines: the last
// line of the Level Book levelled again from the keyed start RL, closed on
// it (Close Loop) or on the keyed end RL (Open Loop).
#include <cmath>

#include "checks/ChecksSheet.h"
#include "common/Error.h"
#include "common/Text.h"
#include "output/Workbook.h"
#include "reduction/LevelBook.h"
#include "reduction/Tolerance.h"
#include "report/LevelBookSheet.h"
#include "report/ProfileSheet.h"
#include "rlinput/Adjustment.h"

namespace vireo {
namespace {

// Levels the line read back from `startRl` and spreads what it misses the
// level it should end on by.
void Relevel(SingleRunLine& line, LoopType loop, double startRl, const std::string& endRlText) {
  double back = startRl;
  for (BookSetup& setup : line.setups) {
    LevelBookSetup(setup, back);
    back = setup.Fore().reducedLevel;
  }
  line.closure.loop = loop == LoopType::CloseLoop;
  line.closure.knownEnd = line.closure.loop ? startRl : *StrictNumber(endRlText);
  CloseSingleRunLine(line);
}

}  // namespace

AdjustmentResult AdjustLevelBook(const RunSummary& summary, LoopType loop, double startRl,
                                 const std::string& endRlText, const AppFolder& app,
                                 FileSystem& fs) {
  const std::string& path = summary.workbookPath;
  AdjustmentResult result;
  std::unique_ptr<FileLock> lock;
  try {
    lock = fs.Lock(app.OutputsLock(BaseNameOf(path)));
  } catch (const Error& e) {
    result.status = AdjustmentResult::Status::Blocked;
    result.message = std::string("The workbook was not adjusted: ") + e.what();
    return result;
  }
  try {
    Workbook workbook = Workbook::Open(path, fs);
    const LevelBookRows rows{summary.levelBookFirstRow, summary.levelBookLastRow};
    SingleRunLine line = ReadLevelBookLine(workbook, rows, path);
    Relevel(line, loop, startRl, endRlText);
    const double misclose = *line.closure.misclose;
    if (!std::isfinite(misclose) || !std::isfinite(line.setups.back().Fore().reducedLevel))
      throw Error(path, "adjust the reduced levels",
                  "the levels are too large to compute; check the keyed levels");
    WriteLevelBookLine(workbook, line, rows, summary.errorFactor);
    WriteProfile(workbook, ProfileOf(line));
    const BookSums sums = SumLevelBook(line);
    result.booking.pass = sums.Agree();
    result.booking.setups = static_cast<long>(line.setups.size());
    result.booking.backMinusForeM = sums.backSights - sums.foreSights;
    result.booking.riseMinusFallM = sums.rises - sums.falls;
    result.booking.levelsM = sums.lastLevel - sums.firstLevel;
    result.permissibleError = ToleranceMm(summary.errorFactor, line.closure.lengthM);
    if (summary.verdict.checked)
      UpdateChecksSheetVerdict(
          workbook,
          KeyedVerdict(summary.verdict, {misclose, result.permissibleError}, result.booking),
          result.booking);
    result.startRl = startRl;
    result.endRl = line.setups.back().Fore().reducedLevel;
    result.misclose = misclose;
    result.endRow = rows.lastSight;
    if (!SaveAdjustedWorkbook(workbook, path, app, fs, result)) return result;
  } catch (const Error& e) {
    result.status = AdjustmentResult::Status::Refused;
    result.message = e.what();
    return result;
  }
  result.status = AdjustmentResult::Status::Adjusted;
  return result;
}

}  // namespace vireo
