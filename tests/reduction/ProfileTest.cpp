// The profile sheet of a run, checked against a reference worked out from
// the survey model; the heading rows' look; a template's own "Profile".
#include <gtest/gtest.h>

#include "output/DefaultTemplate.h"
#include "reduction/ProcessField.h"
#include "reduction/Profile.h"
#include "tests/support/FieldFiles.h"
#include "tests/support/Package.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

ProcessResult ProcessLines(const AppFixture& fixture, int lines) {
  return fixture.Process("TWO.dat",
                         examples::SimulateFieldFile(
                             {.seed = 21, .lines = lines, .setupsPerLine = 7, .startHeight = 50}));
}

}  // namespace

TEST(Profile, holds_the_last_lines_points_as_the_survey_model_gives_them) {
  AppFixture fixture;
  WriteFile(fixture.app.Template(), DefaultTemplateBytes());
  const ProcessResult result = ProcessLines(fixture, 2);
  Workbook workbook = Workbook::Open(result.workbookPath);
  EXPECT_EQ(workbook.SheetNames(), (std::vector<std::string>{"Report", "Profile"}));
  EXPECT_EQ(workbook.ActiveSheetName(), "Report");

  // Levels from the start height by the rounded rises and falls, the
  // misclose spread in proportion to the distance along the line (over the
  // length of the whole file, as the report spreads it).
  const auto& setups = result.survey.lines.back().setups;
  double total = 0;
  for (const LevellingLine& line : result.survey.lines)
    for (const ReducedSetup& s : line.setups) total += s.BackDistance() + s.ForeDistance();
  Worksheet profile = workbook.Sheet(kProfileSheet);
  ASSERT_EQ(profile.LastRow(), static_cast<int>(setups.size()) + 2);
  double distance = 0, level = std::stod(result.startRl);
  for (std::size_t i = 0; i <= setups.size(); ++i) {
    const int row = static_cast<int>(i) + 2;
    EXPECT_EQ(profile.Get(row, 1).text, i == 0 ? setups[0].back : setups[i - 1].fore);
    EXPECT_NEAR(profile.Get(row, 2).number, distance, 1e-9) << row;
    EXPECT_NEAR(profile.Get(row, 3).number, level, 1e-9) << row;
    EXPECT_NEAR(profile.Get(row, 4).number, level + distance / total * result.misclose, 1e-9);
    if (i == setups.size()) break;
    distance += setups[i].BackDistance() + setups[i].ForeDistance();
    level += setups[i].RiseFall();
  }

  // The second line's heading row looks like the first one.
  const std::string sheet = PartOf(ReadFile(result.workbookPath), "xl/worksheets/sheet1.xml");
  const auto style = [&](int row) {
    const std::string cell = "<c r=\"N" + std::to_string(row) + "\" s=\"";
    const auto at = sheet.find(cell) + cell.size();
    return sheet.substr(at, sheet.find('"', at) - at);
  };
  EXPECT_EQ(style(result.firstDataRow - 1), style(kReportHeadingRow));
  EXPECT_NE(style(result.firstDataRow), style(kReportHeadingRow));
}

TEST(Profile, a_templates_own_profile_sheet_is_kept_and_the_run_says_so) {
  AppFixture fixture;
  Workbook own = Workbook::Create({"Report", kProfileSheet});
  own.Sheet(kProfileSheet).SetText(1, 1, "the surveyor's own");
  own.Save(fixture.app.Template());
  const ProcessResult result = ProcessLines(fixture, 1);
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_NE(result.warnings[0].message.find("\"Profile\" of its own"), std::string::npos);
  Workbook workbook = Workbook::Open(result.workbookPath);
  EXPECT_EQ(workbook.Sheet(kProfileSheet).Get(1, 1), CellValue::Text("the surveyor's own"));
  EXPECT_EQ(workbook.Sheet(kProfileSheet).LastRow(), 1);
}
