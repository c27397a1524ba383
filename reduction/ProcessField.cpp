#include "reduction/ProcessField.h"

#include <memory>
#include <optional>

#include "common/Error.h"
#include "common/Text.h"
#include "output/DefaultTemplate.h"
#include "output/LevelDataFile.h"
#include "output/Workbook.h"
#include "reduction/ClosureSummary.h"
#include "reduction/Profile.h"
#include "reduction/RecordLoop.h"
#include "reduction/SetupReduction.h"
#include "settings/ControlFile.h"

namespace vireo {
namespace {

constexpr const char* kHeadings[14] = {
    "Ref.",        "BS1(m)",    "BS2(m)",    "FS1(m)",      "FS2(m)",      "Dist1(m)", "Dist2(m)",
    "Ave_Dist(m)", "Ave_BS(m)", "Ave_FS(m)", "Av. Rise(+)", "Av. Fall(-)", "Cal. RL",  "Adj. RL"};

void WriteHeadingRow(Workbook& sheet, RunVariables& run) {
  const int headingRow = run.currentRow + 5;
  if (headingRow + 1 > Workbook::kMaxRows)
    throw Error("", "write a heading row",
                "the report would need more than " + std::to_string(Workbook::kMaxRows) +
                    " rows, the most a workbook holds");
  // Every heading row looks like the template's first one.
  Worksheet report = sheet.ActiveSheet();
  for (int column = 1; column <= 14; ++column) {
    if (headingRow != kReportHeadingRow)
      report.CopyFormat(kReportHeadingRow, column, headingRow, column);
    report.SetText(headingRow, column, kHeadings[column - 1]);
  }
  run.firstDataRow = headingRow + 1;
  run.currentRow = run.firstDataRow;
  run.lineHasSetup = false;
}

// Header texts come from the control file and may be longer than a cell
// holds; they are cut at a character boundary rather than refusing the run.
std::string HeaderText(std::string text, const char* what, Warnings& warnings) {
  if (text.size() <= static_cast<std::size_t>(Workbook::kMaxTextLength)) return text;
  std::size_t cut = static_cast<std::size_t>(Workbook::kMaxTextLength);
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  warnings.push_back({0, std::string("the ") + what + " is longer than a cell holds; it is cut"});
  return text;
}

// The longest base name for which both output names stay within the 255
// bytes of a file name ("SN_" + base name + ".dat").
constexpr std::size_t kMaxBaseNameBytes = 248;
constexpr const char* kLevelFileNotWritten = "the level data file was not written";
constexpr const char* kWorkbookNotSaved = "the processed workbook was not saved";

// Renames the run's complete outputs over the old ones under the outputs
// lock, so another run of the same base name never leaves a pair of mixed
// origin. An output that fails here is listed like any other failure.
void InstallOutputs(FileSystem& fs, const std::string& lockPath,
                    std::unique_ptr<LevelDataFile>& levelFile,
                    std::unique_ptr<StagedFile>& workbookFile, ProcessResult& result) {
  auto fail = [&](const char* what, const Error& e) {
    result.failures.push_back(std::string(what) + ": " + e.what());
  };
  if (!levelFile && !workbookFile) return;
  std::unique_ptr<FileLock> lock;
  try {
    lock = fs.Lock(lockPath);
    // A read-only old output is kept, and then so is the other one.
    for (const std::string* path : {&result.levelDataPath, &result.workbookPath})
      if (fs.IsReadOnly(*path))
        throw Error(*path, "replace",
                    "the file is read-only; the processed workbook and the level data file are "
                    "replaced together, so both are kept as they were");
  } catch (const Error& e) {
    if (levelFile) fail(kLevelFileNotWritten, e);
    if (workbookFile) fail(kWorkbookNotSaved, e);
    levelFile.reset();
    workbookFile.reset();
    return;
  }
  if (levelFile) {
    try {
      levelFile->Replace();
    } catch (const Error& e) {
      fail(kLevelFileNotWritten, e);
    }
    levelFile.reset();
  }
  if (workbookFile) {
    try {
      workbookFile->Install();
      result.workbookSaved = true;
    } catch (const Error& e) {
      fail(kWorkbookNotSaved, e);
    }
    workbookFile.reset();
  }
}

std::string CellText(const CellValue& cell) {
  switch (cell.kind) {
    case CellValue::Kind::Text:
      return cell.text;
    case CellValue::Kind::Number:
      return DecimalText(cell.number);
    case CellValue::Kind::Empty:
      break;
  }
  return {};
}

// The report and the survey model listen to the same record loop.
class ReportListener : public RecordListener {
 public:
  ReportListener(Workbook& sheet, RunVariables& run, SetupReducer& reducer, SurveyBuilder& survey)
      : sheet_(sheet), run_(run), reducer_(reducer), survey_(survey) {}
  void LineStart(long fieldLine, bool assumed) override {
    WriteHeadingRow(sheet_, run_);
    survey_.LineStart(fieldLine, assumed);
  }
  void Height(const FieldRecord& record) override {
    run_.startRl = ToUtf8(record.heightText);
    survey_.Height(record);
  }
  void ReadingSeen(const Reading& reading) override { survey_.ReadingSeen(reading); }
  void Setup(const SetupSlots& slots, const SetupPairing& pairing) override {
    reducer_.Reduce(slots, pairing);
    survey_.Setup(slots, pairing);
  }

 private:
  Workbook& sheet_;
  RunVariables& run_;
  SetupReducer& reducer_;
  SurveyBuilder& survey_;
};
}  // namespace

std::string BusyStatusText(const std::string& path) {
  return "Status - Processing.....\rFile : " + path + ", this may take a few seconds";
}

std::string DoneStatusText() {
  return "Status - Done\rPress PROCESS again if you want to continue processing another file.";
}

ProcessResult ProcessField(const std::string& fieldPath, const AppFolder& app,
                           RunSurroundings& surroundings, FileSystem& fs, RunExtension* extension) {
  ProcessResult result;
  surroundings.ShowStatus(BusyStatusText(fieldPath));

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

  const Settings settings = ReadSettings(app, fs);
  Workbook sheet = Workbook::Open(app.Template(), fs);
  std::unique_ptr<InputStream> field;
  try {
    field = fs.OpenForReading(fieldPath);
  } catch (const Error& e) {
    throw Error(fieldPath, "open the field data file", e.Cause());
  }

  // Header block.
  auto& warnings = result.warnings;
  if (auto warning = ErrorFactorWarning(app, settings.errorFactor))
    warnings.push_back({0, *warning});
  sheet.SetText(1, 1, HeaderText(ToUtf8(settings.companyName), "company name", warnings));
  sheet.SetText(
      2, 1,
      HeaderText("File Name                - " + ToUtf8(result.baseName), "file name", warnings));
  sheet.SetText(3, 1,
                HeaderText("Survey carried out by    - " + ToUtf8(settings.personnelName),
                           "personnel name", warnings));
  sheet.SetText(4, 1,
                HeaderText("Leveling Error Seleceted - " + ToUtf8(settings.errorFactor) + "SQRT(k)",
                           "error factor", warnings));

  RunVariables run;
  auto fail = [&](const std::string& what, const Error& e) {
    result.failures.push_back(what + ": " + e.what());
  };

  // The level data file is written under a temporary name and only renamed
  // into place once the run has reduced the whole file.
  std::unique_ptr<LevelDataFile> levelFile;
  try {
    fs.CreateFolder(app.StarNetFolder());
    levelFile = std::make_unique<LevelDataFile>(fs, result.levelDataPath);
  } catch (const Error& e) {
    fail(kLevelFileNotWritten, e);
  }
  auto writeRecord = [&](const ElevationRecord& record) {
    if (!levelFile) return;
    try {
      levelFile->Write(record);
    } catch (const Error& e) {
      fail(kLevelFileNotWritten, e);
      levelFile.reset();
    }
  };

  SetupReducer reducer(sheet, run, writeRecord, result.warnings);
  SurveyBuilder survey(fieldPath);
  ReportListener listener(sheet, run, reducer, survey);
  result.format = RunRecordLoop(*field, fieldPath, listener, result.warnings);
  field.reset();
  result.survey = survey.Take(result.format);
  if (levelFile) {
    try {
      levelFile->Close();
    } catch (const Error& e) {
      fail(kLevelFileNotWritten, e);
      levelFile.reset();
    }
  }

  ClosureResult closure;
  try {
    closure = WriteClosureSummary(sheet, run, ToUtf8(settings.errorFactor));
  } catch (const Error& e) {
    if (e.File().empty()) throw Error(fieldPath, e.Operation(), e.Cause());
    throw;
  }
  try {
    if (!WriteProfile(sheet, ReadProfile(sheet, run.firstDataRow, closure.summationRow)))
      result.warnings.push_back({0, std::string("the template has a sheet \"") + kProfileSheet +
                                        "\" of its own; it is kept and no profile is added"});
  } catch (const Error& e) {
    result.warnings.push_back({0, std::string("no profile is added: ") + e.Cause()});
  }

  result.setups = run.setups;
  result.totalDistance = run.totalDistance;
  result.misclose = closure.misclose;
  result.permissibleError = closure.permissibleError;
  result.firstDataRow = run.firstDataRow;
  result.summationRow = closure.summationRow;
  result.endRl = run.lastRl;
  result.startReference = CellText(sheet.Get(run.firstDataRow, kRef));
  result.endReference = CellText(sheet.Get(closure.adjRow - 1, kRef));
  result.startRl = run.lineHasSetup ? run.lineStartRl : run.startRl;

  const std::string prompt = "The Start Reference = " + result.startReference +
                             "\rThe Start RL   = " + result.startRl +
                             "\r\rThe End Reference = " + result.endReference +
                             "\rThe End RL     = " + DecimalText(run.lastRl) +
                             "\r\rDo You want to key in a New Reduced Level?";
  result.answeredYes = surroundings.AskForNewReducedLevel(kRlPromptTitle, prompt);
  result.fields = InputOptionFields{result.startReference,
                                    result.endReference,
                                    result.startRl,
                                    DecimalText(run.lastRl),
                                    std::to_string(run.firstDataRow),
                                    DecimalText(run.totalDistance),
                                    result.workbookPath,
                                    DecimalText(closure.misclose),
                                    ToUtf8(settings.errorFactor),
                                    AdjustedFigures(sheet, run.firstDataRow)};
  if (result.answeredYes) surroundings.ShowInputOption(result.fields);

  std::unique_ptr<StagedFile> workbookFile;
  try {
    if (extension) extension->Extend(sheet, result);
    fs.CreateFolder(app.ProcessedFiles());
    workbookFile = std::make_unique<StagedFile>(fs, result.workbookPath);
    sheet.Write(workbookFile->Out());
    workbookFile->Commit();
  } catch (const Error& e) {
    fail(kWorkbookNotSaved, e);
    workbookFile.reset();
  }
  InstallOutputs(fs, app.OutputsLock(result.baseName), levelFile, workbookFile, result);
  surroundings.ShowStatus(DoneStatusText());
  return result;
}

}  // namespace vireo
