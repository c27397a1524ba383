#include "rlinput/Adjustment.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "checks/ChecksSheet.h"
#include "common/Error.h"
#include "common/Text.h"
#include "output/Workbook.h"
#include "reduction/Closure.h"
#include "reduction/Tolerance.h"
#include "report/ProfileSheet.h"
#include "report/ReportSheet.h"

namespace vireo {
namespace {

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

// The rebuilt levels as the workbook keeps them must step by the mean
// readings: a level so large that its steps vanish in its rounding fails the
// booking check instead of passing it with a difference of 0.
void CheckSavedLevels(const std::vector<LevelledPair>& pairs,
                      const std::vector<MeanReadings>& means, BookingCheck& booking) {
  if (pairs.empty()) return;
  double steps = 0;
  for (const MeanReadings& m : means) steps += m.aveBackSight - m.aveForeSight;
  const double levels = pairs.back().calRlFore - pairs.front().calRlBack;
  const double drift = std::abs(levels - steps);
  if (drift <= 1e-5) return;
  booking.pass = false;
  booking.discrepancyMm = std::max(booking.discrepancyMm, drift * 1000);
}

}  // namespace

bool SaveAdjustedWorkbook(const Workbook& workbook, const std::string& path, const AppFolder& app,
                          FileSystem& fs, AdjustmentResult& result) {
  try {
    fs.CreateFolder(app.ProcessedFiles());
    ReplaceOptions options;
    options.keepTempWhenRenameFails = true;
    workbook.Save(path, fs, options);
    return true;
  } catch (const Error& e) {
    result.status = AdjustmentResult::Status::SaveFailed;
    result.message = std::string("The adjusted workbook was not saved: ") + e.what();
    return false;
  }
}

std::optional<std::string> RefuseKeyedLevels(LoopType loop, const std::string& startRl,
                                             const std::string& endRl) {
  if (!StrictNumber(startRl))
    return "The start RL \"" + startRl + "\" is not a number. Key in a level such as 100.000.";
  if (loop == LoopType::OpenLoop && !StrictNumber(endRl))
    return "The end RL \"" + endRl +
           "\" is not a number. Key in a level such as 100.000, or choose Close Loop.";
  const std::string range = " m is outside the levels a line can carry (" +
                            DecimalText(-kMaxLevel) + " to " + DecimalText(kMaxLevel) + " m).";
  if (!(std::abs(*StrictNumber(startRl)) <= kMaxLevel))
    return "The start RL " + startRl + range + " Key in a level such as 100.000.";
  if (loop == LoopType::OpenLoop && !(std::abs(*StrictNumber(endRl)) <= kMaxLevel))
    return "The end RL " + endRl + range + " Key in a level such as 100.000, or choose Close Loop.";
  return std::nullopt;
}

AdjustmentResult AdjustReducedLevels(const RunSummary& summary, LoopType loop,
                                     const std::string& startRlText, const std::string& endRlText,
                                     const AppFolder& app, FileSystem& fs) {
  if (auto refusal = RefuseKeyedLevels(loop, startRlText, endRlText)) return Refuse(*refusal);
  const double startRl = *StrictNumber(startRlText);
  if (summary.levelBookFirstRow > 0)
    return AdjustLevelBook(summary, loop, startRl, endRlText, app, fs);
  const std::string& path = summary.workbookPath;
  const int first = summary.firstDataRow;
  const double totalDistance = summary.totalDistanceM;
  if (!(first >= 2 && first < Workbook::kMaxRows))
    return Refuse(path + ": the first data row \"" + std::to_string(first) +
                  "\" is not a row of the report");
  if (totalDistance == 0 || !std::isfinite(totalDistance))
    return Refuse(path +
                  ": the line has no reduced set-up (total distance 0), so there is nothing to "
                  "adjust");

  std::unique_ptr<FileLock> lock;
  try {
    lock = fs.Lock(app.OutputsLock(BaseNameOf(path)));
  } catch (const Error& e) {
    return Blocked(std::string("The workbook was not adjusted: ") + e.what());
  }
  AdjustmentResult result;
  try {
    Workbook workbook = Workbook::Open(path, fs);
    {  // the line read back and its levels are let go before the save
      ReportLine line = ReadReportLine(workbook, first, path);
      RebuildLevels(line.pairs, line.means, startRl);
      double misclose = std::isfinite(summary.miscloseM) ? summary.miscloseM : 0;
      if (loop == LoopType::OpenLoop)
        misclose = *StrictNumber(endRlText) - line.pairs.back().calRlFore;
      if (!std::isfinite(misclose))
        throw Error(path, "adjust the reduced levels",
                    "the misclose is too large to compute; check the keyed levels");
      if (!summary.figures.empty() && ReportFigures(workbook, first) != summary.figures)
        return Blocked(path +
                       ": the workbook no longer holds the figures of the run that filled the "
                       "dialog (another run or program has replaced it since), so it is not "
                       "adjusted with them. Process the field data file again.");
      const std::vector<AdjustedPair> adjusted =
          SpreadMisclose(line.pairs, totalDistance, misclose);
      result.permissibleError = ToleranceMm(summary.errorFactor, totalDistance);
      WriteAdjustedLine(workbook, line, adjusted, misclose, result.permissibleError, path);
      // The profile follows the rebuilt levels (its chart's values with it),
      // and the checks judge the misclose the keyed levels give.
      WriteProfile(workbook, ProfileOf(line, adjusted));
      // The booking check of the line as it stands in the workbook: an edit
      // of a mean, a rise or a fall since the run shows here, and so do
      // levels whose differences were lost in their rounding.
      std::vector<BookedSetup> booked;
      booked.reserve(line.pairs.size());
      for (std::size_t i = 0; i < line.pairs.size(); ++i)
        booked.push_back({line.means[i].aveBackSight, line.means[i].aveForeSight,
                          line.pairs[i].rise, line.pairs[i].fall});
      result.booking = CheckBooking(booked, 0, 0, false);
      CheckSavedLevels(line.pairs, line.means, result.booking);
      if (summary.verdict.checked)
        UpdateChecksSheetVerdict(
            workbook,
            KeyedVerdict(summary.verdict, {misclose, result.permissibleError}, result.booking),
            result.booking);

      result.startRl = startRl;
      result.endRl = line.pairs.back().calRlFore;
      result.misclose = misclose;
      result.endRow = line.endRow;
    }

    if (!SaveAdjustedWorkbook(workbook, path, app, fs, result)) return result;
  } catch (const Error& e) {
    return Refuse(e.what());
  }
  result.status = AdjustmentResult::Status::Adjusted;
  return result;
}

}  // namespace vireo
