// Leica GSI files end to end: the real DNA03 job against the instrument's
// own heights, and generated jobs written in both formats against each other.
#include <gtest/gtest.h>

#include <cmath>

#include "examples/FieldFileWriter.h"
#include "examples/GsiFileWriter.h"
#include "output/DefaultTemplate.h"
#include "output/Workbook.h"
#include "reduction/ProcessField.h"
#include "reduction/RunVariables.h"
#include "tests/support/FieldFiles.h"
#include "tests/support/MemoryFileSystem.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

class Silent : public RunSurroundings {};

// Runs field files through an application folder held in memory.
struct MemoryApp {
  MemoryFileSystem fs;
  AppFolder app{"/app"};
  MemoryApp() {
    fs.files[app.ControlFile()] = "YAcme Levels\r\nPJo Bloggs\r\nE4\r\n";
    fs.files[app.Template()] = DefaultTemplateBytes();
  }
  ProcessResult Run(const std::string& name, const std::string& content) {
    fs.files[app.FieldData() + "/" + name] = content;
    Silent silent;
    return ProcessField(app.FieldData() + "/" + name, app, silent, fs);
  }
  Workbook Report(const ProcessResult& result) {
    return Workbook::OpenFromBytes(fs.files.at(result.workbookPath), result.workbookPath);
  }
};

// The rise (+) or fall (-) of the report's fore-sight row.
double RiseOrFall(const Workbook& w, int foreRow) {
  const CellValue rise = w.Get(foreRow, kRise), fall = w.Get(foreRow, kFall);
  return rise.kind == CellValue::Kind::Number   ? rise.number
         : fall.kind == CellValue::Kind::Number ? -fall.number
                                                : 0.0;
}

}  // namespace

TEST(GsiFiles, the_real_dna03_job_follows_the_instruments_heights_but_where_the_file_disagrees) {
  MemoryApp memory;
  const ProcessResult result =
      memory.Run("test.gsi",
                 ReadFile(std::string(VIREO_FIXTURES) + "/gsi/" + "OSGeoLabBp_tutorials_test.gsi"));
  EXPECT_EQ(result.format, FieldFormat::Gsi);
  EXPECT_TRUE(result.warnings.empty()) << result.warnings[0].message;
  EXPECT_EQ(result.setups, 336);
  const std::string levelData = memory.fs.files.at(result.levelDataPath);
  std::size_t records = 0;
  for (std::size_t at = levelData.find("\nL  "); at != std::string::npos;
       at = levelData.find("\nL  ", at + 1))
    ++records;
  EXPECT_EQ(records, 336u);

  // Walk the report line by line beside the survey model, which carries
  // the instrument's heights (word 83) before and after every set-up.
  const Workbook report = memory.Report(result);
  const Survey& survey = result.survey;
  ASSERT_EQ(survey.lines.size(), 32u);
  std::vector<int> headingRows;
  for (int r = 1; r <= report.LastRow(); ++r)
    if (report.Get(r, kRef).text == "Ref.") headingRows.push_back(r);
  ASSERT_EQ(headingRows.size(), 32u);
  std::vector<std::string> disagreements;
  for (std::size_t line = 0; line < survey.lines.size(); ++line) {
    const auto& setups = survey.lines[line].setups;
    for (std::size_t i = 0; i < setups.size(); ++i) {
      const ReducedSetup& s = setups[i];
      const int foreRow = headingRows[line] + 2 + 2 * static_cast<int>(i);
      ASSERT_EQ(report.Get(foreRow, kRef).text, s.fore);
      ASSERT_TRUE(s.heightBefore && s.heightAfter) << "set-up " << s.number;
      const double mm = (RiseOrFall(report, foreRow) - (*s.heightAfter - *s.heightBefore)) * 1000;
      if (std::fabs(mm) > 0.02)
        disagreements.push_back("line " + std::to_string(line + 1) + " set-up " +
                                std::to_string(i + 1) + "/" + std::to_string(setups.size()) + ": " +
                                FormatFixed(mm, 2) + " mm");
    }
  }
  // Line 8: the instrument's height disagrees with its own readings; line
  // 11: the blocks of one set-up (192-196) are missing from the file.
  EXPECT_EQ(disagreements, (std::vector<std::string>{"line 8 set-up 6/22: -0.65 mm",
                                                     "line 11 set-up 12/12: 664.49 mm"}));
}

TEST(GsiFiles, the_same_observations_give_the_same_report_and_level_data_in_either_format) {
  MemoryApp memory;
  int compared = 0;
  for (std::uint32_t seed = 1; seed <= 16; ++seed) {
    examples::SimulationOptions o;
    o.seed = seed;
    o.method = seed % 2 ? "BFFB" : "aBFFB";
    o.lines = 1 + static_cast<int>(seed % 3);
    o.setupsPerLine = 2 + static_cast<int>(seed * 5 % 23);  // some lines pass 1 km
    o.startHeight = seed % 4 == 0 ? 1234.56789 : 20.0 * seed - 150;
    o.closedLoop = seed % 3 != 0;
    o.lineEnd = seed % 2 ? "\r\n" : "\n";
    const std::string dini = examples::SimulateFieldFile(o);
    const ProcessResult expected = memory.Run("J.dat", dini);
    ASSERT_EQ(expected.format, FieldFormat::DiniM5);
    ASSERT_EQ(expected.setups, o.lines * o.setupsPerLine);
    const Workbook expectedReport = memory.Report(expected);
    for (auto width : {examples::GsiWidth::Gsi16, examples::GsiWidth::Gsi8}) {
      SCOPED_TRACE("seed " + std::to_string(seed) +
                   (width == examples::GsiWidth::Gsi8 ? " GSI-8" : " GSI-16"));
      const ProcessResult gsi = memory.Run(width == examples::GsiWidth::Gsi8 ? "J8.gsi" : "J16.gsi",
                                           examples::GsiFromDini(dini, width));
      ++compared;
      ASSERT_EQ(gsi.format, FieldFormat::Gsi);
      EXPECT_TRUE(gsi.warnings.empty()) << gsi.warnings[0].message;
      EXPECT_EQ(gsi.setups, expected.setups);
      const Workbook report = memory.Report(gsi);
      ASSERT_EQ(report.LastRow(), expectedReport.LastRow());
      for (int r = 1; r <= report.LastRow(); ++r)
        for (int c = 1; c <= 14; ++c) {
          if (r == 2 && c == 1) continue;  // the file name
          ASSERT_EQ(report.Get(r, c), expectedReport.Get(r, c)) << "row " << r << " col " << c;
        }
      EXPECT_EQ(memory.fs.files.at(gsi.levelDataPath), memory.fs.files.at(expected.levelDataPath));
      InputOptionFields fields = gsi.fields;
      fields.label11 = expected.fields.label11;
      EXPECT_EQ(fields, expected.fields);
      const auto& a = gsi.survey.lines;
      const auto& b = expected.survey.lines;
      ASSERT_EQ(a.size(), b.size());
      for (std::size_t l = 0; l < a.size(); ++l)
        for (std::size_t s = 0; s < a[l].setups.size(); ++s) {
          EXPECT_EQ(a[l].setups[s].heightBefore, b[l].setups.at(s).heightBefore);
          EXPECT_EQ(a[l].setups[s].heightAfter, b[l].setups.at(s).heightAfter);
        }
    }
  }
  EXPECT_EQ(compared, 32);
}
