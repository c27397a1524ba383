// One processing run: a field data file becomes the report workbook under
// "Processed Files" and the level data file under "StarNet Format".
#pragma once

#include <string>
#include <vector>

#include "common/AppFolder.h"
#include "common/FileSystem.h"
#include "output/Workbook.h"
#include "reduction/RunVariables.h"
#include "reduction/Survey.h"

namespace vireo {

// The nine fields of the RL input dialog, as text, as the run fills them.
struct InputOptionFields {
  std::string label4;   // start reference
  std::string label7;   // end reference
  std::string text1;    // start RL
  std::string text2;    // computed end RL
  std::string label9;   // FirstDataRow
  std::string label10;  // TotalDistance, metres
  std::string label11;  // path of the processed workbook
  std::string label12;  // Misclose, metres
  std::string label13;  // error factor text
  // Not shown: AdjustedFigures of the run's report, so that OK does not
  // adjust a workbook another run has put there since. Empty: not checked.
  std::string figures;
  bool operator==(const InputOptionFields&) const = default;
};

// What the run needs from the program around it. The Qt program shows
// windows; the command-line front end and the tests answer directly.
class RunSurroundings {
 public:
  virtual ~RunSurroundings() = default;
  virtual void ShowStatus(const std::string& /*text*/) {}
  // The Yes/No message box titled "RL Input Option".
  virtual bool AskForNewReducedLevel(const std::string& /*title*/, const std::string& /*text*/) {
    return false;
  }
  // On Yes: show the RL input dialog (without waiting) and fill its fields.
  virtual void ShowInputOption(const InputOptionFields& /*fields*/) {}
};

struct ProcessResult {
  std::string baseName;
  std::string workbookPath;
  std::string levelDataPath;
  long setups = 0;
  double totalDistance = 0.0;
  double misclose = 0.0;          // metres
  double permissibleError = 0.0;  // millimetres
  std::string startReference;
  std::string endReference;
  std::string startRl;  // the height text the last line starts from
  double endRl = 0.0;   // LastRL
  int firstDataRow = 0;
  int summationRow = 0;
  bool answeredYes = false;
  InputOptionFields fields;
  FieldFormat format = FieldFormat::Unknown;
  // The reduced set-ups as plain values, for the checks.
  Survey survey;
  Warnings warnings;
  // Outputs that could not be written, each a message naming the file.
  std::vector<std::string> failures;
  // The processed workbook at workbookPath is this run's. Only then may the
  // RL adjustment (which reopens it) follow the run.
  bool workbookSaved = false;
  bool OutputsWritten() const { return failures.empty(); }
};

inline constexpr const char* kRlPromptTitle = "RL Input Option";

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
                           RunSurroundings& surroundings, FileSystem& fs = RealFileSystem(),
                           RunExtension* extension = nullptr);

}  // namespace vireo
