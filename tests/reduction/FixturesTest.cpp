// Real and instrument-like DiNi files run end to end. The level writes its
// own computed height after every set-up; the reduced levels must follow it.
#include <gtest/gtest.h>

#include "output/Workbook.h"
#include "reduction/ProcessField.h"
#include "reduction/RunVariables.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

struct FixtureRun {
  AppFixture fixture;
  std::string content;
  ProcessResult result;
  Workbook workbook;
  explicit FixtureRun(const std::string& relative)
      : content(ReadFile(std::string(VIREO_FIXTURES) + "/" + relative)),
        result(fixture.Process("F.dat", content)),
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
  EXPECT_EQ(run.result.setups, 12);
  // The start height, not the end height.
  EXPECT_EQ(run.result.startReference + run.result.endReference + run.result.startRl,
            "PM58PM58190.15355");
  ExpectLevelsFollowTheInstrument(run, 10, 0);
  // The instrument's own misclose: Sh -0.00128 m, so the line must gain 1.28 mm.
  EXPECT_NEAR(run.result.misclose * 1000, 1.28, 0.03);
  // Db + Df as the instrument sums them (549.41 + 547.25 m).
  EXPECT_NEAR(run.result.totalDistance, 549.41 + 547.25, 0.1);
}

TEST(Fixtures, alternating_bffb_and_fbbf_set_ups_all_reduce) {
  FixtureRun run("instrument-like/TWO_LINES_aBFFB.dat");
  EXPECT_TRUE(run.result.warnings.empty()) << run.result.warnings[0].message;
  const int secondLine = run.result.firstDataRow;
  EXPECT_EQ(run.workbook.Get(10, kRef).text, "SSM28");
  EXPECT_EQ(run.result.startReference, "BM61");
  EXPECT_EQ(run.result.startRl, "212.95275");
  ExpectLevelsFollowTheInstrument(run, 10, 0);
  ExpectLevelsFollowTheInstrument(run, secondLine, 1);
  const std::string level = ReadFile(run.result.levelDataPath);
  EXPECT_NE(level.find("L  SSM28-TP1"), std::string::npos);
  EXPECT_NE(level.find("L  TP1-CP2"), std::string::npos);  // a FBBF set-up
}

TEST(Fixtures, the_real_fragment_is_taken_without_error) {
  FixtureRun real("real/l900416_bluetooth_central_level_excerpt.dat");
  EXPECT_EQ(real.result.setups, 0);
  EXPECT_EQ(real.result.warnings.size(), 2u);  // no line start; one reading left over
  EXPECT_EQ(real.result.startRl, "-0.43374");
}
