// Fuzzes the processing run and the RL adjustment over an in-memory field
// data file (DiNi or GSI, recognised by content), control file and
// template: refusals are fine, crashes, hangs, leaks and undefined behaviour
// are not, and every saved workbook reopens. Inputs are also tried without
// their line ends.
#include <cstdint>
#include <string>

#include "checks/CheckedRun.h"
#include "common/Error.h"
#include "output/DefaultTemplate.h"
#include "output/Workbook.h"
#include "readers/FieldFile.h"
#include "report/ProcessField.h"
#include "rlinput/Adjustment.h"
#include "tests/support/MemoryFileSystem.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string templateBytes = vireo::DefaultTemplateBytes();
  vireo::testing::MemoryFileSystem fs;
  const vireo::AppFolder app{"/app"};
  fs.files[app.ControlFile()] = "YFuzz\r\nPTester\r\nE4\r\n";
  fs.files[app.Template()] = templateBytes;
  const std::string input(reinterpret_cast<const char*>(data), size);
  // One input in four also without line ends, stretched past the longest
  // line a reader keeps: no record, so it must be refused, in bounded memory.
  std::string flat;
  for (char c : input)
    if (c != '\r' && c != '\n') flat += c;
  if (size > 0 && data[0] % 4 == 0 && !flat.empty()) {
    while (flat.size() <= vireo::FieldRecordReader::kMaxLineLength) flat += flat;
    fs.files["/app/Field Data/F.dat"] = flat;
    try {
      vireo::ProcessField("/app/Field Data/F.dat", app, fs);
      __builtin_trap();
    } catch (const vireo::Error&) {
    }
  }
  fs.files["/app/Field Data/F.dat"] = input;
  vireo::ProcessResult run;
  try {
    // As the front ends run it: with the checks and their sheet.
    run = vireo::ProcessAndCheck("/app/Field Data/F.dat", app, fs).run;
  } catch (const vireo::Error&) {
    return 0;
  }
  if (!run.failures.empty()) __builtin_trap();  // memory never fails to write
  // Every reading is accounted for; a GSI file hands out no set-up without
  // both runs paired.
  const vireo::Survey& survey = run.survey;
  if (survey.AccountedReadings() != survey.readings) __builtin_trap();
  if (survey.format == vireo::FieldFormat::Gsi && survey.ReducedSetupCount() != survey.SetupCount())
    __builtin_trap();
  vireo::Workbook::OpenFromBytes(fs.files.at(run.workbookPath), run.workbookPath);
  auto adjusted =
      vireo::AdjustReducedLevels(run.summary, vireo::LoopType::OpenLoop, "100", "100.5", app, fs);
  if (adjusted.status == vireo::AdjustmentResult::Status::SaveFailed) __builtin_trap();
  vireo::Workbook::OpenFromBytes(fs.files.at(run.workbookPath), run.workbookPath);
  return 0;
}
