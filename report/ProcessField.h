// One processing run: the field data file is read into the survey model and
// the model rendered: the report workbook under "Processed Files" (the
// report sheet, its profile and the sheets of the capabilities built over
// the run) and the level data file under "StarNet Format". The run asks
// nothing; the front ends talk to the surveyor before and after it.
#pragma once

#include <string>
#include <vector>

#include "common/AppFolder.h"
#include "common/FileSystem.h"
#include "common/Warning.h"
#include "output/Workbook.h"
#include "reduction/Survey.h"

namespace vireo {

// The facts of a run's verdict that keyed levels leave standing, put
// there by the checks when they run over it: the RL adjustment tells the
// verdict again from these and the misclose of the keyed levels, never
// from the text of a sheet.
struct RunVerdictFacts {
  bool checked = false;  // the checks ran and wrote their sheet
  std::string lost;      // readings lost to the double run; empty: none
  long failedSetups = 0;
  long failedOthers = 0;  // line, section, booking and record checks
  bool unusableErrorFactor = false;
  bool lastLineBookingPassed = true;  // keyed levels check that line again
  bool operator==(const RunVerdictFacts&) const = default;
};

// What the RL question shows and the RL adjustment works from: the last
// line of the report as the run saved it.
struct RunSummary {
  std::string startReference;  // "Ref." of the last line's first back sight (UTF-8)
  std::string endReference;    // "Ref." of its last fore sight
  std::string startRl;         // the height text the last line starts from
  double endRl = 0;            // Cal. RL of the last fore sight, metres
  int firstDataRow = 0;        // report row of the last line's first set-up
  // The run's figures as it shows them (15 significant digits), which the
  // adjustment has always spread: metres.
  double totalDistanceM = 0;
  double miscloseM = 0;
  double errorFactor = 0;  // n of n·√k
  std::string workbookPath;
  // ReportFigures of the saved report, so that the adjustment does not
  // level a workbook another run has put there since. Empty: not checked.
  std::string figures;
  RunVerdictFacts verdict;
  // A file of single-run lines only: the rows of its last line's readings
  // on the Level Book sheet, which the RL adjustment levels again; 0: the
  // report's last line.
  int levelBookFirstRow = 0, levelBookLastRow = 0;
  bool operator==(const RunSummary&) const = default;
};

// The Yes/No question the front ends ask after a run that saved its
// workbook, and its text (lines joined by "\r").
inline constexpr const char* kRlPromptTitle = "RL Input Option";
std::string RlPromptText(const RunSummary& summary);

struct ProcessResult {
  std::string baseName;
  std::string workbookPath;
  std::string levelDataPath;
  Survey survey;
  RunSummary summary;
  double permissibleError = 0.0;  // millimetres
  Warnings warnings;
  // Outputs that could not be written, each a message naming the file.
  std::vector<std::string> failures;
  // The processed workbook at workbookPath is this run's. Only then may the
  // RL adjustment (which reopens it) follow the run.
  bool workbookSaved = false;
  bool OutputsWritten() const { return failures.empty(); }
};

// The status texts the front ends show before and after a run.
std::string BusyStatusText(const std::string& path);
std::string DoneStatusText();

// What a capability built over the run adds to the processed workbook (a
// sheet of its own) once the report is complete, before it is saved. An
// Error it throws is a failed save of the workbook.
class RunExtension {
 public:
  virtual ~RunExtension() = default;
  virtual void Extend(Workbook& workbook, ProcessResult& result) = 0;
};

// Runs the whole processing of `fieldPath`. Refused input (no base name, or
// one too long for the output names, a missing control file or template,
// an unreadable field data file, a report too large for a workbook) throws
// Error before any output is touched. Outputs that cannot be written are
// listed in `failures`. The workbook and the level data file are replaced
// together under the lock app.OutputsLock(baseName), so that the pair on
// disk always comes from one run, however runs interleave.
ProcessResult ProcessField(const std::string& fieldPath, const AppFolder& app,
                           FileSystem& fs = RealFileSystem(), RunExtension* extension = nullptr);

}  // namespace vireo
