// The OK of the RL input dialog on workbooks the real run made.
#include <gtest/gtest.h>

#include "common/Text.h"
#include "output/Workbook.h"
#include "report/ProfileSheet.h"
#include "report/ReportSheet.h"
#include "rlinput/Adjustment.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

// A processed workbook made by the real run from a field file.
struct Processed {
  AppFixture fixture;
  ProcessResult run;
  explicit Processed(int setups, int lines = 1)
      : Processed(examples::SimulateFieldFile(
            {.seed = 7, .lines = lines, .setupsPerLine = setups, .startHeight = 100})) {}
  explicit Processed(const std::string& fieldFile) : run(fixture.Process("LOOP.dat", fieldFile)) {}
  AdjustmentResult Adjust(LoopType loop, const std::string& start, const std::string& end = "") {
    return AdjustReducedLevels(run.summary, loop, start, end, fixture.app);
  }
  Workbook Open() const { return Workbook::Open(run.workbookPath); }
  int FirstDataRow() const { return run.summary.firstDataRow; }
  // The row under the last line's set-ups.
  int SummationRow() const {
    return FirstDataRow() + 2 * static_cast<int>(run.survey.lines.back().setups.size());
  }
};

}  // namespace

TEST(Adjustment, close_and_open_loops_end_on_the_keyed_level_with_the_closure_lines_below) {
  // Set-ups, loop, keyed start and end RL, the last Adj. RL.
  using Case = std::tuple<int, LoopType, const char*, const char*, double>;
  for (const auto& [setups, loop, startRl, endRl, last] :
       {Case{9, LoopType::CloseLoop, "250.000", "", 250.0},
        Case{6, LoopType::OpenLoop, "10", " 12.5 ", 12.5},
        Case{1, LoopType::CloseLoop, "7", "", 7.0}}) {
    SCOPED_TRACE(setups);
    Processed p(setups);
    auto result = p.Adjust(loop, startRl, endRl);
    ASSERT_TRUE(result.Ok()) << result.message;
    const Workbook w = p.Open();
    const int first = p.FirstDataRow(), end = result.endRow;
    EXPECT_EQ(end, setups == 1 ? first + 2 : p.SummationRow());
    EXPECT_EQ(w.Get(first, kCalRl).number, NumberFromText(startRl));
    EXPECT_EQ(w.Get(first, kAdjRl).number, NumberFromText(startRl));
    // Close Loop spreads the run's misclose, from its five-decimal rises and
    // falls; Open Loop the difference to the keyed end RL.
    const double rounding = (loop == LoopType::CloseLoop ? setups * 0.000005 : 0) + 1e-9;
    EXPECT_NEAR(w.Get(end - 1, kAdjRl).number, last, rounding);
    EXPECT_NEAR(result.misclose, last - w.Get(end - 1, kCalRl).number, rounding);
    EXPECT_EQ(w.Get(end, kFs2).text, "Summation of Readings");  // untouched
    EXPECT_EQ(w.Get(end + 3, kFs2).text, MiscloseLine(result.misclose));
    EXPECT_EQ(w.Get(end + 4, kFs2).text, PermissibleErrorLine(p.run.permissibleError));
  }
}

TEST(Adjustment, the_profile_table_and_its_chart_follow_the_adjusted_levels) {
  Processed p(6);
  ASSERT_TRUE(p.Adjust(LoopType::OpenLoop, "10", "12.5").Ok());
  Workbook w = p.Open();
  Worksheet profile = w.Sheet(kProfileSheet);
  EXPECT_EQ(profile.Get(2, 3), w.Get(p.FirstDataRow(), kCalRl));
  int point = 3;
  for (int row = p.FirstDataRow() + 1; row < p.SummationRow(); row += 2, ++point) {
    EXPECT_EQ(profile.Get(point, 3), w.Get(row, kCalRl));
    EXPECT_EQ(profile.Get(point, 4), w.Get(row, kAdjRl));
    EXPECT_NEAR(profile.Get(point, 5).number,
                (w.Get(row, kAdjRl).number - w.Get(row, kCalRl).number) * 1000, 1e-6);
  }
  EXPECT_EQ(profile.LastRow(), point - 1);
  // The chart's caches follow the cells: WorkbookSheetsTest.
}

TEST(Adjustment, several_lines_adjust_only_the_last_one) {
  Processed p(4, 3);
  const Workbook before = p.Open();
  auto result = p.Adjust(LoopType::CloseLoop, "50");
  ASSERT_TRUE(result.Ok()) << result.message;
  const Workbook w = p.Open();
  double earlier = 0;  // distance of the lines before the last
  for (int row = 10; row < p.FirstDataRow() - 1; ++row) {
    for (int column : {kCalRl, kAdjRl}) EXPECT_EQ(w.Get(row, column), before.Get(row, column));
    earlier += w.Get(row, kAveDist).number;
  }
  // The last line gets only its share of the whole run's distance.
  EXPECT_NEAR(w.Get(result.endRow - 1, kAdjRl).number - w.Get(result.endRow - 1, kCalRl).number,
              (1 - earlier / p.run.survey.closure.totalDistance) * p.run.survey.closure.misclose,
              1e-9);
}

TEST(Adjustment, a_set_up_without_back_sight_does_not_end_the_rebuild) {
  // The middle set-up has fore sights only, so its back-sight row stays
  // empty; the levels below it must still be rebuilt and adjusted.
  std::string field = StartLine() + "\r\n" + HeightLine("A", "10.00000") + "\r\n";
  auto add = [&](const std::string& point, const char* code, double value) {
    field += ReadingLine(point, code, value, "20") + "\r\n";
  };
  add("A", "Rb", 1.5), add("B", "Rf", 1.0), add("B", "Rf", 1.0), add("A", "Rb", 1.5);
  add("C", "Rf", 0.3), add("C", "Rf", 0.3), add("D", "Rf", 0.4), add("D", "Rf", 0.4);
  add("C", "Rb", 1.0), add("A", "Rf", 1.2), add("A", "Rf", 1.2), add("C", "Rb", 1.0);
  Processed p(field);
  ASSERT_EQ(p.run.survey.SetupCount(), 3);
  ASSERT_TRUE(p.Open().Get(p.FirstDataRow() + 2, kDist1).IsEmpty());

  auto result = p.Adjust(LoopType::OpenLoop, "20", "21");
  ASSERT_TRUE(result.Ok()) << result.message;
  EXPECT_EQ(result.endRow, p.SummationRow());
  const Workbook w = p.Open();
  EXPECT_NEAR(w.Get(result.endRow - 1, kAdjRl).number, 21.0, 1e-9);
  EXPECT_EQ(w.Get(result.endRow, kFs2).text, "Summation of Readings");
  for (int row = p.FirstDataRow(); row < result.endRow; ++row)
    EXPECT_NE(w.Get(row, kFs2).kind, CellValue::Kind::Text) << "row " << row;
}

TEST(Adjustment, refuses_what_is_not_a_level_and_touches_nothing) {
  Processed p(3);
  const std::string before = ReadFile(p.run.workbookPath);
  // Keyed levels that are no numbers: CliTest and InputOptionTest.
  RunSummary noDistance = p.run.summary;
  noDistance.totalDistanceM = 0;
  EXPECT_EQ(AdjustReducedLevels(noDistance, LoopType::CloseLoop, "1", "", p.fixture.app).status,
            AdjustmentResult::Status::Refused);
  RunSummary missing = p.run.summary;
  missing.workbookPath = p.fixture.app.ProcessedFiles() + "/gone.xlsx";
  auto refused = AdjustReducedLevels(missing, LoopType::CloseLoop, "1", "", p.fixture.app);
  EXPECT_EQ(refused.status, AdjustmentResult::Status::Refused);
  EXPECT_NE(refused.message.find("gone.xlsx"), std::string::npos);
  EXPECT_EQ(ReadFile(p.run.workbookPath), before);
  // A cell of the columns read holding words.
  Workbook edited = p.Open();
  edited.SetText(p.FirstDataRow() + 1, kAveFs, "see notes");
  edited.Save(p.run.workbookPath);
  const std::string withText = ReadFile(p.run.workbookPath);
  auto text = p.Adjust(LoopType::CloseLoop, "1");
  EXPECT_EQ(text.status, AdjustmentResult::Status::Refused);
  EXPECT_NE(text.message.find("see notes"), std::string::npos) << text.message;
  EXPECT_EQ(ReadFile(p.run.workbookPath), withText);
}

// The dialog's misclose and distance belong to its run: once another run of
// the same base name has replaced the workbook, OK must not spread them over
// the other survey. Its own adjusted workbook may be adjusted again, and a
// surveyor's own file of the old scratch name is neither used nor deleted.
TEST(Adjustment, a_workbook_another_run_has_replaced_is_not_adjusted) {
  Processed p(5);
  WriteFile(p.fixture.app.root + "/TEMP.xlsx", "the surveyor's");
  ASSERT_TRUE(p.Adjust(LoopType::CloseLoop, "100").Ok());
  ASSERT_TRUE(p.Adjust(LoopType::OpenLoop, "100", "100.01").Ok());
  EXPECT_EQ(ReadFile(p.fixture.app.root + "/TEMP.xlsx"), "the surveyor's");
  p.fixture.Process("LOOP.dat", examples::SimulateFieldFile({.seed = 8, .setupsPerLine = 5}));
  const std::string replaced = ReadFile(p.run.workbookPath);
  EXPECT_EQ(p.Adjust(LoopType::CloseLoop, "100").status, AdjustmentResult::Status::Blocked);
  EXPECT_EQ(ReadFile(p.run.workbookPath), replaced);
}
