// The OK of the RL input dialog: rebuild "Cal. RL" from the keyed start RL,
// spread the misclose over "Adj. RL", rewrite the closure lines and the
// profile sheet and save the processed workbook again. No Qt here; the dialog calls this.
#pragma once

#include <optional>
#include <string>

#include "checks/Checks.h"
#include "common/AppFolder.h"
#include "common/FileSystem.h"
#include "output/Workbook.h"
#include "report/ProcessField.h"

namespace vireo {

enum class LoopType { CloseLoop, OpenLoop };

struct AdjustmentResult {
  enum class Status {
    Adjusted,    // saved over the processed workbook
    Refused,     // input or workbook not usable; nothing changed
    SaveFailed,  // adjusted, but not saved where it belongs (see message)
    Blocked,     // the workbook is no longer the run's, or could not be locked;
                 // nothing changed
  };
  Status status = Status::Refused;
  std::string message;  // for Refused and SaveFailed: what and why
  double startRl = 0.0;
  double endRl = 0.0;             // rebuilt Cal. RL of the end row
  double misclose = 0.0;          // metres, the one spread over "Adj. RL"
  double permissibleError = 0.0;  // millimetres
  int endRow = 0;                 // the summation row
  BookingCheck booking;           // of the line as read back and rebuilt
  bool Ok() const { return status == Status::Adjusted; }
};

// The keyed levels as the adjustment takes them: the start RL, and for an
// open loop the end RL, must be complete numbers close enough together to
// compute with. Returns the message that refuses them, or nothing when they
// are usable.
std::optional<std::string> RefuseKeyedLevels(LoopType loop, const std::string& startRl,
                                             const std::string& endRl);

// Reopens the run's processed workbook (summary.workbookPath), reads its
// last line back, rebuilds Cal. RL from the keyed start RL, spreads the
// misclose (the run's for a closed loop, the keyed end RL's for an open
// one) over Adj. RL, renders the closure lines, the profile and the checks'
// file verdict again, and saves it through a temporary file beside it and a
// rename, all under the run's outputs lock (AppFolder::OutputsLock). A
// workbook that no longer holds the run's figures (summary.figures) is not
// adjusted (Blocked). The start RL, and for an open loop the end RL, must
// be complete numbers, and every result finite; otherwise the result is
// Refused and no file is touched.
// Saves the adjusted workbook over `path` (its complete temporary file kept
// when only the rename fails); false, with `result` SaveFailed and its
// message, when it could not.
bool SaveAdjustedWorkbook(const Workbook& workbook, const std::string& path, const AppFolder& app,
                          FileSystem& fs, AdjustmentResult& result);

// The same for a file of single-run lines only (summary.levelBookFirstRow
// set): the last line of the Level Book sheet. Called by
// AdjustReducedLevels once the keyed levels are taken.
AdjustmentResult AdjustLevelBook(const RunSummary& summary, LoopType loop, double startRl,
                                 const std::string& endRlText, const AppFolder& app,
                                 FileSystem& fs);

AdjustmentResult AdjustReducedLevels(const RunSummary& summary, LoopType loop,
                                     const std::string& startRlText, const std::string& endRlText,
                                     const AppFolder& app, FileSystem& fs = RealFileSystem());

}  // namespace vireo
