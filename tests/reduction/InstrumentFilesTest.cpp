// Files the levels wrote, run end to end: real and instrument-like DiNi
// files, whose reduced levels must follow the heights the level computed
// after every set-up, and the real Leica DNA03 job against its own heights;
// generated jobs written in both formats give the same report.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "common/Error.h"
#include "examples/FieldFileWriter.h"
#include "examples/GsiFileWriter.h"
#include "output/Workbook.h"
#include "report/ProcessField.h"
#include "report/ReportSheet.h"
#include "tests/support/FieldFiles.h"
#include "tests/support/Package.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

struct FixtureRun {
  AppFixture fixture;
  ProcessResult result;
  Workbook workbook;
  explicit FixtureRun(const std::string& relative)
      : result(fixture.Process("F.dat", ReadFile(std::string(VIREO_FIXTURES) + "/" + relative))),
        workbook(Workbook::Open(result.workbookPath)) {}
};

// The level's own height after each set-up of line `line` (as the survey
// model reads it from the file) against the report's Cal. RL.
void ExpectLevelsFollowTheInstrument(const FixtureRun& run, int firstDataRow, std::size_t line) {
  const auto& setups = run.result.survey.lines.at(line).setups;
  ASSERT_FALSE(setups.empty());
  for (std::size_t i = 0; i < setups.size(); ++i) {
    const int foreRow = firstDataRow + 1 + 2 * static_cast<int>(i);
    ASSERT_TRUE(setups[i].heightAfter) << "set-up " << i + 1;
    EXPECT_NEAR(run.workbook.Get(foreRow, kCalRl).number, *setups[i].heightAfter,
                0.00001 * static_cast<double>(i + 2))
        << "set-up " << i + 1;
  }
}

}  // namespace

TEST(Fixtures, a_bffb_loop_reduces_like_the_instrument) {
  FixtureRun run("instrument-like/LOOP_BFFB.dat");
  EXPECT_TRUE(run.result.warnings.empty() && run.result.failures.empty());
  EXPECT_EQ(run.result.survey.SetupCount(), 12);
  // The start height, not the end height.
  const RunSummary& summary = run.result.summary;
  EXPECT_EQ(summary.startReference + summary.endReference + summary.startRl, "PM58PM58190.15355");
  ExpectLevelsFollowTheInstrument(run, 10, 0);
  // The instrument's own misclose: Sh -0.00128 m, so the line must gain 1.28 mm.
  EXPECT_NEAR(run.result.survey.closure.misclose * 1000, 1.28, 0.03);
  // Db + Df as the instrument sums them (549.41 + 547.25 m).
  EXPECT_NEAR(run.result.survey.closure.totalDistance, 549.41 + 547.25, 0.1);
}

TEST(Fixtures, alternating_bffb_and_fbbf_set_ups_all_reduce) {
  FixtureRun run("instrument-like/TWO_LINES_aBFFB.dat");
  EXPECT_TRUE(run.result.warnings.empty()) << run.result.warnings[0].message;
  const int secondLine = run.result.summary.firstDataRow;
  EXPECT_EQ(run.workbook.Get(10, kRef).text, "SSM28");
  EXPECT_EQ(run.result.summary.startReference + " " + run.result.summary.startRl, "BM61 212.95275");
  ExpectLevelsFollowTheInstrument(run, 10, 0);
  ExpectLevelsFollowTheInstrument(run, secondLine, 1);
  // The second record is of a FBBF set-up.
  EXPECT_EQ(Missing(ReadFile(run.result.levelDataPath), {"L  SSM28-TP1", "L  TP1-CP2"}), "");
}

// Its one reading makes no set-up: refused, naming the file and why.
TEST(Fixtures, the_real_fragment_is_refused_with_its_cause) {
  AppFixture fixture;
  const std::string field =
      ReadFile(std::string(VIREO_FIXTURES) + "/real/l900416_bluetooth_central_level_excerpt.dat");
  EXPECT_THAT([&] { fixture.Process("F.dat", field); },
              ::testing::ThrowsMessage<Error>(::testing::HasSubstr(
                  "F.dat: reduce the double run (its one reading makes no set-up")));
  EXPECT_FALSE(std::filesystem::exists(fixture.app.ProcessedWorkbook("F")));
  EXPECT_FALSE(std::filesystem::exists(fixture.app.LevelDataFile("F")));
}

TEST(GsiFiles, the_real_dna03_job_follows_the_instruments_heights_but_where_the_file_disagrees) {
  AppFixture fixture;
  const ProcessResult result = fixture.Process("test.gsi", ReadFile(kRealGsiJob));
  EXPECT_EQ(result.survey.format, FieldFormat::Gsi);
  EXPECT_TRUE(result.warnings.empty()) << result.warnings[0].message;
  EXPECT_EQ(result.survey.SetupCount(), 336);
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
      ASSERT_EQ(report.Get(fore, kRef).text, setups[i].fore.point);
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
    // Some lines pass 1 km.
    const examples::SimulationOptions o{
        .seed = seed,
        .lines = 1 + static_cast<int>(seed % 3),
        .setupsPerLine = 2 + static_cast<int>(seed * 5 % 23),
        .method = seed % 2 ? "BFFB" : "aBFFB",
        .startHeight = seed % 4 == 0 ? 1234.56789 : 20.0 * seed - 150,
        .closedLoop = seed % 3 != 0,
        .lineEnd = seed % 2 ? "\r\n" : "\n"};
    const std::string dini = examples::SimulateFieldFile(o);
    const ProcessResult expected = fixture.Process("J.dat", dini);
    ASSERT_EQ(expected.survey.SetupCount(), o.lines * o.setupsPerLine);
    const Workbook expectedReport = Workbook::Open(expected.workbookPath);
    for (auto width : {examples::GsiWidth::Gsi16, examples::GsiWidth::Gsi8}) {
      const bool gsi8 = width == examples::GsiWidth::Gsi8;
      SCOPED_TRACE("seed " + std::to_string(seed) + (gsi8 ? " GSI-8" : " GSI-16"));
      const ProcessResult gsi =
          fixture.Process(gsi8 ? "J8.gsi" : "J16.gsi", examples::GsiFromDini(dini, width));
      ASSERT_EQ(gsi.survey.format, FieldFormat::Gsi);
      EXPECT_TRUE(gsi.warnings.empty()) << gsi.warnings[0].message;
      const Workbook report = Workbook::Open(gsi.workbookPath);
      ASSERT_EQ(report.LastRow(), expectedReport.LastRow());
      for (int r = 1; r <= report.LastRow(); ++r)
        for (int c = r == 2 ? 2 : 1; c <= 14; ++c)  // A2 holds the file name
          ASSERT_EQ(report.Get(r, c), expectedReport.Get(r, c)) << "row " << r << " col " << c;
      EXPECT_EQ(ReadFile(gsi.levelDataPath), ReadFile(expected.levelDataPath));
      RunSummary summary = gsi.summary;
      summary.workbookPath = expected.summary.workbookPath;
      EXPECT_EQ(summary, expected.summary);
    }
  }
}

// A DiNi set to German writes "Lr", "Lv" and "E" in place of "Rb", "Rf"
// and "HD", the columns unchanged: every bundled DiNi sample so written
// gives the same report and level data file.
TEST(Fixtures, a_dini_set_to_german_gives_the_same_outputs) {
  for (const char* name : {"LOOP_BFFB.dat", "OPEN_LINE_BFBF.dat", "TWO_LINES_aBFFB.dat",
                           "NETWORK_DAY1.dat"}) {
    SCOPED_TRACE(name);
    const std::string english = ReadFile(std::string(VIREO_APP_DIR) + "/Field Data/" + name);
    std::string german = english;
    for (const auto& [from, to] : {std::pair{"|Rb ", "|Lr "}, {"|Rf ", "|Lv "}, {"|HD ", "|E  "}})
      for (std::size_t at = german.find(from); at != std::string::npos; at = german.find(from, at))
        german.replace(at, 4, to);
    ASSERT_NE(german, english);
    AppFixture a, b;
    const ProcessResult expected = a.Process(name, english), run = b.Process(name, german);
    EXPECT_EQ(ReportCells(run.workbookPath), ReportCells(expected.workbookPath));
    EXPECT_EQ(ReadFile(run.levelDataPath), ReadFile(expected.levelDataPath));
    EXPECT_EQ(run.warnings.size(), expected.warnings.size());
  }
}
