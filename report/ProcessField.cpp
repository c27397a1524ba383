#include "report/ProcessField.h"

#include <memory>

#include "common/Error.h"
#include "common/Text.h"
#include "output/LevelDataFile.h"
#include "reduction/SurveyBuilder.h"
#include "reduction/Tolerance.h"
#include "report/LevelBookSheet.h"
#include "report/ProfileSheet.h"
#include "report/ReportSheet.h"
#include "settings/ControlFile.h"

namespace vireo {
namespace {

// The longest base name for which both output names stay within the 255
// bytes of a file name ("SN_" + base name + ".dat").
constexpr std::size_t kMaxBaseNameBytes = 248;
constexpr const char* kLevelFileNotWritten = "the level data file was not written";
constexpr const char* kWorkbookNotSaved = "the processed workbook was not saved";

// The figures the dialog of the RL adjustment has always carried as text
// with 15 significant digits, and so spread.
double AsShown(double value) {
  return NumberFromText(DecimalText(value));
}

// One elevation difference record for every set-up with both sights paired,
// then one for every set-up of a single-run line (its intermediate sights
// are side shots, no part of the levelling).
void WriteLevelData(LevelDataFile& file, const Survey& survey) {
  survey.ForEachReduced([&](const Setup& s) {
    file.Write({s.back->point, s.fore.point, s.back->Mean(), s.fore.Mean(), s.back->first.distance,
                s.fore.first.distance, survey.firstStation});
  });
  for (const SingleRunLine& line : survey.singleRunLines)
    for (const BookSetup& s : line.setups) {
      const BookSight &back = s.Back(), &fore = s.Fore();
      file.Write({back.point, fore.point, back.reading.value, fore.reading.value,
                  back.reading.distance, fore.reading.distance, survey.firstStation});
    }
}

// The last single-run line is the one the RL question is about when the
// file has no double run.
void SummarizeLevelBook(const Survey& survey, RunSummary& summary) {
  const LevelBookRows rows = LastLineRows(survey);
  if (rows.firstSight == 0) return;
  const SingleRunLine* line = &survey.singleRunLines.back();
  while (line->setups.empty()) --line;
  summary.levelBookFirstRow = rows.firstSight;
  summary.levelBookLastRow = rows.lastSight;
  summary.startReference = ToUtf8(line->setups.front().Back().point);
  summary.endReference = ToUtf8(line->setups.back().Fore().point);
  summary.startRl = line->startHeight;
  summary.endRl = line->setups.back().Fore().reducedLevel;
  summary.totalDistanceM = AsShown(line->closure.lengthM);
  summary.miscloseM = AsShown(line->closure.misclose.value_or(0));
  summary.firstDataRow = 0;
  summary.figures.clear();
}

RunSummary Summarize(const Survey& survey, const ReportLayout& layout, const Settings& settings,
                     const std::string& workbookPath) {
  RunSummary summary;
  summary.firstDataRow = layout.firstDataRow;
  summary.startRl = survey.lastHeight;
  if (!survey.lines.empty() && !survey.lines.back().setups.empty()) {
    const LevellingLine& line = survey.lines.back();
    const Setup& first = line.setups.front();
    if (first.back) summary.startReference = ToUtf8(first.back->point);
    summary.endReference = ToUtf8(line.setups.back().fore.point);
    summary.startRl = line.startHeight;
  }
  if (const Setup* last = survey.LastSetup()) summary.endRl = last->calRlFore;
  summary.totalDistanceM = AsShown(survey.closure.totalDistance);
  summary.miscloseM = AsShown(survey.closure.misclose);
  summary.errorFactor = NumberFromText(settings.errorFactor);
  summary.workbookPath = workbookPath;
  summary.figures = ReportFigures(survey, layout);
  if (survey.lines.empty()) SummarizeLevelBook(survey, summary);
  return summary;
}

// The copy of an earlier level data file that a run stopped between its
// renames (killed, or the machine went down) left beside the lock goes back
// to its place before anything else is moved: it is the only copy of that
// file. Under the lock no running program holds it.
void RestoreLeftAside(FileSystem& fs, const std::string& aside, ProcessResult& result) {
  if (!fs.Exists(aside)) return;
  fs.Rename(aside, result.levelDataPath);
  result.warnings.push_back({0, "a run of " + result.baseName +
                                    " that was stopped before it finished left the earlier "
                                    "level data file as " +
                                    aside + "; it is put back as " + result.levelDataPath});
}

// Renames the run's outputs, both complete, over the old ones under the
// outputs lock, so another run of the same base name never leaves a pair of
// mixed origin. The old level data file waits beside the lock until the
// workbook is in place: when the workbook cannot be installed, it goes back
// and both earlier files stay. A failure is listed like any other.
void InstallOutputs(FileSystem& fs, const std::string& lockPath, LevelDataFile& levelFile,
                    StagedFile& workbookFile, ProcessResult& result) {
  auto fail = [&](const Error& e) {
    result.failures.push_back(std::string(kWorkbookNotSaved) + ": " + e.what());
    result.failures.push_back(std::string(kLevelFileNotWritten) + ": " + result.levelDataPath +
                              " and " + result.workbookPath + " are kept as they were");
  };
  const std::string& level = result.levelDataPath;
  const std::string aside = TemporaryName(lockPath, "000000000000");
  std::unique_ptr<FileLock> lock;
  try {
    lock = fs.Lock(lockPath);
    RestoreLeftAside(fs, aside, result);
    // Only files are replaced; a read-only earlier output is kept, and so
    // then is the other one.
    for (const std::string* path : {&result.levelDataPath, &result.workbookPath}) {
      RefuseNotAFile(fs, *path);
      RefuseReadOnly(fs, *path);
    }
  } catch (const Error& e) {
    fail(e);
    return;
  }
  fs.RemoveStaleTemporaries(lockPath);  // what a killed run left there
  bool kept = false, replaced = false;
  try {
    if (fs.Exists(level)) {
      fs.Rename(level, aside);
      kept = true;
    }
    levelFile.Replace();
    replaced = true;
    workbookFile.Install();
    result.workbookSaved = true;
  } catch (...) {
    try {
      if (kept)
        fs.Rename(aside, level);
      else if (replaced)
        fs.Remove(level);
    } catch (...) {
      // Nothing more can be done; the first failure is the one to report.
    }
    try {
      throw;
    } catch (const Error& e) {
      fail(e);
      return;
    }
  }
  try {
    if (kept) fs.Remove(aside);
  } catch (...) {
    // Both outputs are in place; only the copy of the earlier one is left.
    result.failures.push_back(std::string("the earlier level data file stays as ") + aside +
                              "; the next run of " + result.baseName +
                              " puts it back before it installs its own outputs");
  }
}

// A file that gives the report no set-up would replace the earlier outputs
// of its name with empty ones: it is refused instead. A set-up whose back
// sight is not read twice still has its rows (the back sight taken as 0),
// and the checks count it as lost.
void RefuseNothingToReduce(const Survey& survey, const std::string& fieldPath) {
  if (survey.SetupCount() > 0) return;
  for (const SingleRunLine& line : survey.singleRunLines)
    if (!line.setups.empty()) return;
  long outside = 0;  // readings of single-run lines and intermediate sights
  for (const NotReduced& n : survey.notReduced)
    outside += IsPartOfDoubleRun(n.reason) ? 0 : n.readings;
  const std::string count = std::to_string(survey.readings);
  std::string cause;
  if (survey.readings == 0)
    cause = "it holds no reading";
  else if (outside == survey.readings)
    cause = survey.readings == 1
                ? "its one reading is of a single-run line or an intermediate sight"
                : "its " + count + " readings are all of single-run lines or intermediate sights";
  else
    cause = survey.readings == 1
                ? "its one reading makes no set-up with both sights read twice"
                : "none of its " + count + " readings makes a set-up with both sights read twice";
  throw Error(fieldPath, "reduce the double run",
              cause + ", so there is nothing to reduce; no output is written");
}

ProcessResult NameOutputs(const std::string& fieldPath, const AppFolder& app) {
  ProcessResult result;
  result.baseName = BaseNameOf(fieldPath);
  if (result.baseName.empty())
    throw Error(fieldPath, "derive the output name",
                "the file name without its extension is empty; rename the file");
  result.workbookPath = app.ProcessedWorkbook(result.baseName);
  result.levelDataPath = app.LevelDataFile(result.baseName);
  if (result.baseName.size() > kMaxBaseNameBytes) {
    const std::string bytes = std::to_string(result.baseName.size());
    throw Error(fieldPath, "derive the output names",
                "the name without its extension is " + bytes +
                    " bytes, too long for the level data file's name (255 bytes at most); "
                    "rename the file to at most 248 bytes before its extension");
  }
  return result;
}

// The report sheet, its profile and the run's summary.
void Render(Workbook& workbook, const ReportHeader& header, const ReportLayout& layout,
            const Settings& settings, ProcessResult& result) {
  const Survey& survey = result.survey;
  result.permissibleError =
      ToleranceMm(NumberFromText(settings.errorFactor), survey.closure.totalDistance);
  WriteReport(workbook, header, survey, layout, result.permissibleError);
  try {
    if (!WriteProfile(workbook, ProfileOf(survey)))
      result.warnings.push_back({0, std::string("the template has a sheet \"") + kProfileSheet +
                                        "\" of its own; it is kept and no profile is added"});
  } catch (const Error& e) {
    result.warnings.push_back({0, std::string("no profile is added: ") + e.Cause()});
  }
  if (!WriteLevelBook(workbook, header, survey, NumberFromText(settings.errorFactor)))
    result.warnings.push_back({0, std::string("the template has a sheet \"") + kLevelBookSheet +
                                      "\" of its own; it is kept and no level book is added"});
  else if (survey.lines.empty())
    workbook.OpenOn(kLevelBookSheet);  // no empty report sheet shown first
  result.summary = Summarize(survey, layout, settings, result.workbookPath);
}

// Both outputs are written under temporary names, then installed.
void SaveOutputs(Workbook& workbook, const AppFolder& app, FileSystem& fs, RunExtension* extension,
                 ProcessResult& result) {
  auto fail = [&](const char* what, const Error& e) {
    result.failures.push_back(std::string(what) + ": " + e.what());
  };
  // A folder (or a pipe, a device) at an output's path is named before
  // anything is written or moved.
  for (const std::string* path : {&result.levelDataPath, &result.workbookPath}) {
    const std::string cause = fs.NotAFile(*path);
    if (!cause.empty()) {
      result.failures.push_back(
          std::string(path == &result.workbookPath ? kWorkbookNotSaved : kLevelFileNotWritten) +
          ": " + *path + ": " + cause +
          ", so neither output is written; move it away or rename it");
      return;
    }
  }
  std::unique_ptr<LevelDataFile> levelFile;
  try {
    fs.CreateFolder(app.StarNetFolder());
    levelFile = std::make_unique<LevelDataFile>(fs, result.levelDataPath);
    WriteLevelData(*levelFile, result.survey);
    levelFile->Close();
  } catch (const Error& e) {
    fail(kLevelFileNotWritten, e);
    levelFile.reset();
  }
  std::unique_ptr<StagedFile> workbookFile;
  try {
    if (extension) extension->Extend(workbook, result);
    fs.CreateFolder(app.ProcessedFiles());
    workbookFile = std::make_unique<StagedFile>(fs, result.workbookPath);
    workbook.Write(workbookFile->Out());
    workbookFile->Commit();
  } catch (const Error& e) {
    fail(kWorkbookNotSaved, e);
    workbookFile.reset();
  }
  // The pair on disk stays one run's: when either output could not be
  // written, neither replaces its earlier file.
  if (levelFile && !workbookFile)
    result.failures.push_back(std::string(kLevelFileNotWritten) + ": " + result.levelDataPath +
                              " is kept as it was, the pair of the earlier workbook");
  else if (workbookFile && !levelFile)
    result.failures.push_back(std::string(kWorkbookNotSaved) + ": " + result.workbookPath +
                              " is kept as it was, the pair of the earlier level data file");
  else if (levelFile && workbookFile)
    InstallOutputs(fs, app.OutputsLock(result.baseName), *levelFile, *workbookFile, result);
}

}  // namespace

std::string RlPromptText(const RunSummary& summary) {
  // Worded, spaced and capitalised as surveyors have always been asked.
  return "The Start Reference = " + summary.startReference +
         "\rThe Start RL   = " + summary.startRl +
         "\r\rThe End Reference = " + summary.endReference +
         "\rThe End RL     = " + DecimalText(summary.endRl) +
         "\r\rDo You want to key in a New Reduced Level?";
}

// The status texts, kept word for word as the established program shows them.
std::string BusyStatusText(const std::string& path) {
  return "Status - Processing.....\rFile : " + path + ", this may take a few seconds";
}

std::string DoneStatusText() {
  return "Status - Done\rPress PROCESS again if you want to continue processing another file.";
}

ProcessResult ProcessField(const std::string& fieldPath, const AppFolder& app, FileSystem& fs,
                           RunExtension* extension) {
  ProcessResult result = NameOutputs(fieldPath, app);
  const Settings settings = ReadSettings(app, fs);
  Workbook workbook = Workbook::Open(app.Template(), fs);
  std::unique_ptr<InputStream> field;
  try {
    field = fs.OpenForReading(fieldPath);
  } catch (const Error& e) {
    throw Error(fieldPath, "open the field data file", e.Cause());
  }
  auto& warnings = result.warnings;
  if (auto warning = ErrorFactorWarning(app, settings.errorFactor))
    warnings.push_back({0, *warning});
  const ReportHeader header = MakeReportHeader(settings, result.baseName, warnings);

  // Read and reduce: the whole model before any output is touched.
  result.survey = ReadSurvey(*field, fieldPath, warnings);
  field.reset();
  RefuseNothingToReduce(result.survey, fieldPath);
  ReportLayout layout;
  try {
    layout = LayOutReport(result.survey);
  } catch (const Error& e) {
    throw Error(fieldPath, e.Operation(), e.Cause());
  }

  Render(workbook, header, layout, settings, result);
  SaveOutputs(workbook, app, fs, extension, result);
  return result;
}

}  // namespace vireo
