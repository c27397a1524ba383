// One hand-made field file, one survey model, four renderings: the report's
// rows, the level data file, the checks and the network's observations all
// hold the same set-ups with the same values.
#include <gtest/gtest.h>

#include <cmath>

#include "checks/CheckedRun.h"
#include "common/Text.h"
#include "network/NetworkAdjustment.h"
#include "output/LevelDataFile.h"
#include "output/Workbook.h"
#include "report/ReportSheet.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

TEST(Renderings, the_report_the_level_data_the_checks_and_the_network_read_one_model) {
  AppFixture fixture;
  // Two lines; the first set-up is the worked example (BFBF readings
  // 1.50000 1.20000 1.50002 1.20004 over 20.0 21.0 20.2 21.2 m); the second
  // line has a set-up whose back sight is not read twice.
  const std::string field =
      StartLine() + "\r\n" + HeightLine("A", "100.00000") + "\r\n" +
      SetupLines("A", "B", 1.5, 1.50002, 1.2, 1.20004, "20.0", "21.0") +
      SetupLines("B", "C", 0.8, 0.8, 1.9, 1.90001, "15", "16") + StartLine() + "\r\n" +
      ReadingLine("C", "Rb", 1.2, "7") + "\r\n" + ReadingLine("D", "Rf", 1.1, "8") + "\r\n" +
      ReadingLine("D", "Rf", 1.1, "8") + "\r\n" + ReadingLine("X", "Rb", 1.2, "7") + "\r\n" +
      SetupLines("D", "E", 2.0, 2.0, 0.5, 0.5, "30", "30");
  const CheckedRun checked = ProcessAndCheck(fixture.AddFieldFile("R.dat", field), fixture.app);
  const ProcessResult& run = checked.run;
  const Survey& survey = run.survey;
  ASSERT_EQ(survey.SetupCount(), 4);
  ASSERT_EQ(survey.ReducedSetupCount(), 3);
  const Workbook report = Workbook::Open(run.workbookPath);
  const std::string records = ReadFile(run.levelDataPath).substr(LevelDataHeader().size());
  const NetworkInput network = InputFromSurvey(survey, run.warnings);

  std::size_t recordAt = 0;
  int row = 10;
  for (const LevellingLine& line : survey.lines) {
    if (&line != &survey.lines.front()) row += 5 + 1;  // five empty rows and the heading row
    for (const vireo::Setup& s : line.setups) {
      SCOPED_TRACE("set-up of line " + std::to_string(s.fieldLine));
      // The report: means, rise or fall, levels.
      EXPECT_EQ(report.Get(row + 1, kAveFs).number, s.fore.Mean());
      EXPECT_EQ(report.Get(row + 1, kCalRl).number, s.calRlFore);
      EXPECT_EQ(report.Get(row + 1, s.riseFall > 0 ? kRise : kFall).number, std::fabs(s.riseFall));
      row += 2;
      if (!s.BackPaired()) {
        EXPECT_TRUE(report.Get(row - 2, kAveBs).IsEmpty());
        continue;
      }
      EXPECT_EQ(report.Get(row - 2, kAveBs).number, s.back->Mean());
      // The level data file: one record per reduced set-up, in order.
      const std::string record = FormatElevationRecord(
          {s.back->point, s.fore.point, s.back->Mean(), s.fore.Mean(), s.back->first.distance,
           s.fore.first.distance, survey.firstStation});
      EXPECT_EQ(records.substr(recordAt, record.size()), record);
      recordAt += record.size();
      // The checks and the network: the same set-up by its number.
      const SetupCheck& c = checked.checks.setups.at(static_cast<std::size_t>(s.reduced - 1));
      EXPECT_NEAR(c.stationDifferenceMm, s.StationDifference() * 1000, 1e-4);
      std::size_t n = static_cast<std::size_t>(s.reduced), l = 0;
      while (n > network.lines[l].setups.size()) n -= network.lines[l++].setups.size();
      const LevelledDifference& d = network.lines[l].setups[n - 1];
      EXPECT_EQ(d.back + ">" + d.fore, s.back->point + ">" + s.fore.point);
      EXPECT_EQ(d.difference, s.HeightDifference());
      EXPECT_EQ(d.length, s.BackDistance() + s.ForeDistance());
    }
  }
  EXPECT_EQ(recordAt, records.size());
  // The worked example's values, independently of the model: BS1 - FS1 =
  // 0.30000 and BS2 - FS2 = 0.29998, so the station difference is 0.02 mm;
  // the rise 1.50001 - 1.20002 = 0.29999; 20.0 + 21.0 m give 41 m.
  EXPECT_NEAR(checked.checks.setups[0].stationDifferenceMm, 0.02, 1e-9);
  EXPECT_EQ(report.Get(11, kRise).number, 0.29999);
  EXPECT_EQ(records.substr(0, records.find('\n') + 1),
            "L  A-B" + std::string(23 + 10, ' ') + "0.29999   41   'A\r\n");
  // The set-up whose back sight is not read twice has no record (above), its
  // back sight counts as 0, and the warning names its first line.
  EXPECT_EQ(report.Get(21, kFall).number, 1.1);
  ASSERT_EQ(run.warnings.size(), 1u);
  EXPECT_EQ(run.warnings[0].line, 12);
}
