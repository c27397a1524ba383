#include <gtest/gtest.h>

#include <cmath>

#include "output/Workbook.h"
#include "reduction/ClosureSummary.h"
#include "reduction/Profile.h"
#include "reduction/RunVariables.h"
#include "rlinput/Adjustment.h"
#include "tests/output/ZipPackage.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

class Yes : public RunSurroundings {
 public:
  bool AskForNewReducedLevel(const std::string&, const std::string&) override { return true; }
};

// A processed workbook made by the real run from a simulated file.
struct Processed {
  AppFixture fixture;
  ProcessResult run;
  explicit Processed(examples::SimulationOptions options)
      : Processed(examples::SimulateFieldFile(options)) {}
  explicit Processed(const std::string& fieldFile) {
    Yes yes;
    run = ProcessField(fixture.AddFieldFile("LOOP.dat", fieldFile), fixture.app, yes);
  }
  AdjustmentResult Adjust(LoopType loop, const std::string& start, const std::string& end = "",
                          FileSystem& fs = RealFileSystem()) {
    return AdjustReducedLevels(run.fields, loop, start, end, fixture.app, fs);
  }
  Workbook Open() const { return Workbook::Open(run.workbookPath); }
};

examples::SimulationOptions Loop(int setups, int lines = 1) {
  examples::SimulationOptions o;
  o.seed = 7;
  o.setupsPerLine = setups;
  o.lines = lines;
  o.startHeight = 100;
  return o;
}

}  // namespace

TEST(Adjustment, close_loop_returns_to_the_keyed_start_rl) {
  Processed p(Loop(9));
  auto result = p.Adjust(LoopType::CloseLoop, "250.000");
  ASSERT_TRUE(result.Ok()) << result.message;
  const Workbook w = p.Open();
  const int first = p.run.firstDataRow, end = result.endRow;
  EXPECT_EQ(end, p.run.summationRow);
  EXPECT_EQ(w.Get(first, kCalRl).number, 250.0);
  EXPECT_EQ(w.Get(first, kAdjRl).number, 250.0);
  // Up to the five-decimal rounding of the rises and falls (9 set-ups).
  EXPECT_NEAR(w.Get(end - 1, kAdjRl).number, 250.0, 9 * 0.000005);
  EXPECT_EQ(w.Get(end + 3, kFs2).text, MiscloseLine(p.run.misclose));
  EXPECT_EQ(w.Get(end + 4, kFs2).text, PermissibleErrorLine(p.run.permissibleError));
  EXPECT_EQ(w.Get(end, kFs2).text, "Summation of Readings");  // summation row untouched
}

TEST(Adjustment, open_loop_ends_on_the_keyed_end_rl) {
  Processed p(Loop(6));
  auto result = p.Adjust(LoopType::OpenLoop, "10", " 12.5 ");
  ASSERT_TRUE(result.Ok()) << result.message;
  const Workbook w = p.Open();
  EXPECT_NEAR(w.Get(result.endRow - 1, kAdjRl).number, 12.5, 1e-12);
  EXPECT_DOUBLE_EQ(result.misclose, 12.5 - w.Get(result.endRow - 1, kCalRl).number);
  EXPECT_EQ(w.Get(result.endRow + 3, kFs2).text, MiscloseLine(result.misclose));
}

TEST(Adjustment, the_profile_table_and_its_chart_follow_the_adjusted_levels) {
  Processed p(Loop(6));
  ASSERT_TRUE(p.Adjust(LoopType::OpenLoop, "10", "12.5").Ok());
  Workbook w = p.Open();
  Worksheet profile = w.Sheet(kProfileSheet);
  EXPECT_EQ(profile.Get(2, 3), w.Get(p.run.firstDataRow, kCalRl));
  int point = 3;
  for (int row = p.run.firstDataRow + 1; row < p.run.summationRow; row += 2, ++point) {
    EXPECT_EQ(profile.Get(point, 3), w.Get(row, kCalRl));
    EXPECT_EQ(profile.Get(point, 4), w.Get(row, kAdjRl));
  }
  EXPECT_EQ(profile.LastRow(), point - 1);
  // The chart is kept; its cached values are the adjusted ones.
  const std::string chart = test::Entry(ReadFile(p.run.workbookPath), "xl/charts/chart1.xml");
  for (int column : {3, 4}) {
    const std::string cache = std::string("Profile!$") + char('A' + column - 1) + "$2:$" +
                              char('A' + column - 1) + "$8</c:f>";
    const auto last = chart.find("<c:pt idx=\"6\"><c:v>", chart.find(cache)) + 19;
    EXPECT_EQ(std::stod(chart.substr(last)), profile.Get(8, column).number) << cache;
  }
}

TEST(Adjustment, a_start_raised_by_one_metre_raises_every_level_and_keeps_the_lines) {
  Processed a(Loop(5)), b(Loop(5));
  ASSERT_TRUE(a.Adjust(LoopType::CloseLoop, "100").Ok());
  ASSERT_TRUE(b.Adjust(LoopType::CloseLoop, "101").Ok());
  const Workbook wa = a.Open(), wb = b.Open();
  for (int row = a.run.firstDataRow; row < a.run.summationRow; ++row) {
    EXPECT_NEAR(wb.Get(row, kCalRl).number - wa.Get(row, kCalRl).number, 1.0, 1e-9);
    EXPECT_NEAR(wb.Get(row, kAdjRl).number - wa.Get(row, kAdjRl).number, 1.0, 1e-9);
  }
  for (int row : {a.run.summationRow + 3, a.run.summationRow + 4})
    EXPECT_EQ(wa.Get(row, kFs2).text, wb.Get(row, kFs2).text);
}

TEST(Adjustment, several_lines_adjust_only_the_last_one) {
  Processed p(Loop(4, 3));
  const Workbook before = p.Open();
  auto result = p.Adjust(LoopType::CloseLoop, "50");
  ASSERT_TRUE(result.Ok()) << result.message;
  const Workbook w = p.Open();
  for (int row = 10; row < p.run.firstDataRow - 1; ++row)
    for (int column : {kCalRl, kAdjRl}) EXPECT_EQ(w.Get(row, column), before.Get(row, column));
  // The last line gets only its share of the whole run's distance.
  const double share = (p.run.totalDistance -
                        [&] {
                          double earlier = 0;
                          for (int row = 10; row < p.run.firstDataRow; ++row)
                            earlier += w.Get(row, kAveDist).number;
                          return earlier;
                        }()) /
                       p.run.totalDistance;
  EXPECT_NEAR(w.Get(result.endRow - 1, kAdjRl).number - w.Get(result.endRow - 1, kCalRl).number,
              share * p.run.misclose, 1e-9);
}

TEST(Adjustment, a_single_set_up_puts_the_lines_at_first_row_plus_five) {
  Processed p(Loop(1));
  auto result = p.Adjust(LoopType::CloseLoop, "7");
  ASSERT_TRUE(result.Ok());
  EXPECT_EQ(result.endRow, p.run.firstDataRow + 2);
  const Workbook w = p.Open();
  EXPECT_EQ(w.Get(p.run.firstDataRow + 5, kFs2).text.substr(0, 27), "The Calculated Misclose is ");
  EXPECT_EQ(w.Get(p.run.firstDataRow + 6, kFs2).text.substr(0, 29),
            "The Permissible Error is     ");
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
  ASSERT_EQ(p.run.setups, 3);
  ASSERT_TRUE(p.Open().Get(p.run.firstDataRow + 2, kDist1).IsEmpty());

  auto result = p.Adjust(LoopType::OpenLoop, "20", "21");
  ASSERT_TRUE(result.Ok()) << result.message;
  EXPECT_EQ(result.endRow, p.run.summationRow);
  const Workbook w = p.Open();
  EXPECT_NEAR(w.Get(result.endRow - 1, kAdjRl).number, 21.0, 1e-9);
  EXPECT_EQ(w.Get(result.endRow, kFs2).text, "Summation of Readings");
  for (int row = p.run.firstDataRow; row < result.endRow; ++row)
    EXPECT_NE(w.Get(row, kFs2).kind, CellValue::Kind::Text) << "row " << row;
}

TEST(Adjustment, closure_line_texts) {
  EXPECT_EQ(MiscloseLine(-0.0123), "The Calculated Misclose is -12.30 mm");
  EXPECT_EQ(PermissibleErrorLine(4 * std::sqrt(640.0 / 1000)),
            "The Permissible Error is     3.20 mm");
}

TEST(Adjustment, refuses_what_is_not_a_level_and_touches_nothing) {
  Processed p(Loop(3));
  const std::string before = ReadFile(p.run.workbookPath);
  EXPECT_EQ(p.Adjust(LoopType::CloseLoop, "").status, AdjustmentResult::Status::Refused);
  EXPECT_EQ(p.Adjust(LoopType::CloseLoop, "12.5m").status, AdjustmentResult::Status::Refused);
  EXPECT_EQ(p.Adjust(LoopType::OpenLoop, "12.5", "abc").status, AdjustmentResult::Status::Refused);
  // Close Loop does not read the end RL at all.
  InputOptionFields noDistance = p.run.fields;
  noDistance.label10 = "0";
  EXPECT_EQ(AdjustReducedLevels(noDistance, LoopType::CloseLoop, "1", "", p.fixture.app).status,
            AdjustmentResult::Status::Refused);
  InputOptionFields missing = p.run.fields;
  missing.label11 = p.fixture.app.ProcessedFiles() + "/gone.xlsx";
  auto refused = AdjustReducedLevels(missing, LoopType::CloseLoop, "1", "", p.fixture.app);
  EXPECT_EQ(refused.status, AdjustmentResult::Status::Refused);
  EXPECT_NE(refused.message.find("gone.xlsx"), std::string::npos);
  // A cell of the columns read holding words.
  Workbook edited = p.Open();
  edited.SetText(p.run.firstDataRow + 1, kAveFs, "see notes");
  edited.Save(p.run.workbookPath);
  const std::string withText = ReadFile(p.run.workbookPath);
  auto text = p.Adjust(LoopType::CloseLoop, "1");
  EXPECT_EQ(text.status, AdjustmentResult::Status::Refused);
  EXPECT_NE(text.message.find("see notes"), std::string::npos) << text.message;
  EXPECT_EQ(ReadFile(p.run.workbookPath), withText);
  EXPECT_NE(before, withText);
}

// The dialog's misclose and distance belong to its run: once another run of
// the same base name has replaced the workbook, OK must not spread them over
// the other survey. Its own adjusted workbook may be adjusted again, and a
// surveyor's own file of the old scratch name is neither used nor deleted.
TEST(Adjustment, a_workbook_another_run_has_replaced_is_not_adjusted) {
  Processed p(Loop(5));
  WriteFile(p.fixture.app.root + "/TEMP.xlsx", "the surveyor's");
  ASSERT_TRUE(p.Adjust(LoopType::CloseLoop, "100").Ok());
  ASSERT_TRUE(p.Adjust(LoopType::OpenLoop, "100", "100.01").Ok());
  EXPECT_EQ(ReadFile(p.fixture.app.root + "/TEMP.xlsx"), "the surveyor's");
  examples::SimulationOptions other = Loop(5);
  other.seed = 8;
  Yes yes;
  ProcessField(p.fixture.AddFieldFile("LOOP.dat", examples::SimulateFieldFile(other)),
               p.fixture.app, yes);
  const std::string replaced = ReadFile(p.run.workbookPath);
  EXPECT_EQ(p.Adjust(LoopType::CloseLoop, "100").status, AdjustmentResult::Status::Blocked);
  EXPECT_EQ(ReadFile(p.run.workbookPath), replaced);
}
