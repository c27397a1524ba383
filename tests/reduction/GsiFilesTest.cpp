// Leica GSI files end to end: the real DNA03 job against the instrument's
// own heights, and generated jobs written in both formats against each other.
#include <gtest/gtest.h>

#include <cmath>

#include "examples/FieldFileWriter.h"
#include "examples/GsiFileWriter.h"
#include "reduction/RunVariables.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

TEST(GsiFiles, the_real_dna03_job_follows_the_instruments_heights_but_where_the_file_disagrees) {
  AppFixture fixture;
  const ProcessResult result = fixture.Process(
      "test.gsi", ReadFile(std::string(VIREO_FIXTURES) + "/gsi/OSGeoLabBp_tutorials_test.gsi"));
  EXPECT_EQ(result.format, FieldFormat::Gsi);
  EXPECT_TRUE(result.warnings.empty()) << result.warnings[0].message;
  EXPECT_EQ(result.setups, 336);
  const std::string levelData = ReadFile(result.levelDataPath);
  EXPECT_EQ(std::count(levelData.begin(), levelData.end(), '\n') - 9, 336);  // after the header
  const Workbook report = Workbook::Open(result.workbookPath);
  std::vector<int> headingRows;
  for (int r = 1; r <= report.LastRow(); ++r)
    if (report.Get(r, kRef).text == "Ref.") headingRows.push_back(r);
  ASSERT_EQ(headingRows.size(), 32u);
  ASSERT_EQ(result.survey.lines.size(), 32u);

  // The report's rise or fall against the difference of the instrument's
  // heights (word 83) before and after each set-up.
  std::vector<std::string> disagreements;
  for (std::size_t line = 0; line < 32; ++line) {
    const auto& setups = result.survey.lines[line].setups;
    for (std::size_t i = 0; i < setups.size(); ++i) {
      const int fore = headingRows[line] + 2 + 2 * static_cast<int>(i);
      ASSERT_EQ(report.Get(fore, kRef).text, setups[i].fore);
      ASSERT_TRUE(setups[i].heightBefore && setups[i].heightAfter);
      const double mm = (report.Get(fore, kRise).number - report.Get(fore, kFall).number -
                         (*setups[i].heightAfter - *setups[i].heightBefore)) *
                        1000;
      if (std::fabs(mm) > 0.02)
        disagreements.push_back(std::to_string(line + 1) + ":" + std::to_string(i + 1) + "/" +
                                std::to_string(setups.size()) + " " + FormatFixed(mm, 2));
    }
  }
  // Line 8: the instrument's height disagrees with its own readings; line
  // 11: the blocks of one set-up (192-196) are missing from the file.
  EXPECT_EQ(disagreements, (std::vector<std::string>{"8:6/22 -0.65", "11:12/12 664.49"}));
}

TEST(GsiFiles, the_same_observations_give_the_same_report_and_level_data_in_either_format) {
  AppFixture fixture;
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
    const ProcessResult expected = fixture.Process("J.dat", dini);
    ASSERT_EQ(expected.setups, o.lines * o.setupsPerLine);
    const Workbook expectedReport = Workbook::Open(expected.workbookPath);
    for (auto width : {examples::GsiWidth::Gsi16, examples::GsiWidth::Gsi8}) {
      const bool gsi8 = width == examples::GsiWidth::Gsi8;
      SCOPED_TRACE("seed " + std::to_string(seed) + (gsi8 ? " GSI-8" : " GSI-16"));
      const ProcessResult gsi =
          fixture.Process(gsi8 ? "J8.gsi" : "J16.gsi", examples::GsiFromDini(dini, width));
      ASSERT_EQ(gsi.format, FieldFormat::Gsi);
      EXPECT_TRUE(gsi.warnings.empty()) << gsi.warnings[0].message;
      const Workbook report = Workbook::Open(gsi.workbookPath);
      ASSERT_EQ(report.LastRow(), expectedReport.LastRow());
      for (int r = 1; r <= report.LastRow(); ++r)
        for (int c = r == 2 ? 2 : 1; c <= 14; ++c)  // A2 holds the file name
          ASSERT_EQ(report.Get(r, c), expectedReport.Get(r, c)) << "row " << r << " col " << c;
      EXPECT_EQ(ReadFile(gsi.levelDataPath), ReadFile(expected.levelDataPath));
      InputOptionFields fields = gsi.fields;
      fields.label11 = expected.fields.label11;  // the workbook's path
      EXPECT_EQ(fields, expected.fields);
    }
  }
}
