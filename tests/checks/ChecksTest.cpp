// The double run's checks on field files with planted faults: each fault is
// named, and nothing else is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <regex>
#include <set>
#include <tuple>

#include "checks/CheckLimits.h"
#include "checks/CheckedRun.h"
#include "checks/Checks.h"
#include "checks/ChecksSheet.h"
#include "checks/FailedCheckRows.h"
#include "common/Text.h"
#include "examples/FieldFileWriter.h"
#include "examples/GsiFileWriter.h"
#include "reduction/SurveyBuilder.h"
#include "rlinput/Adjustment.h"
#include "tests/support/Clients.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

struct PlannedSetup {
  std::string back, fore;
  double bs1, bs2, fs1, fs2;
  double backDistance = 30, foreDistance = 30;
};

// A loop A -> 1 -> ... -> 5 -> A of six set-ups that rise and fall back to
// within 0.2 mm, all within the default limits.
std::vector<PlannedSetup> CleanLoop() {
  const std::vector<std::string> points = {"A", "1", "2", "3", "4", "5", "A"};
  const double rises[6] = {0.31234, -0.12000, 0.20011, -0.50002, 0.40010, -0.29233};
  std::vector<PlannedSetup> setups;
  for (int i = 0; i < 6; ++i) {
    const double back = 1.5 + 0.01 * i;
    setups.push_back({points[i], points[i + 1], back, back + 0.00002, back - rises[i],
                      back - rises[i] + 0.00003});
  }
  return setups;
}

// The line as the level writes it, with its end records when `ended`.
std::string FieldText(const std::vector<PlannedSetup>& setups, bool ended = true) {
  std::string field = StartLine() + "\r\n" + HeightLine("A", "100.00000") + "\r\n";
  for (const PlannedSetup& s : setups)
    field += SetupLines(s.back, s.fore, s.bs1, s.bs2, s.fs1, s.fs2, Fixed5(s.backDistance),
                        Fixed5(s.foreDistance));
  return ended ? field + EndLines(setups.back().fore) : field;
}

Survey SurveyOf(const std::vector<PlannedSetup>& setups) {
  TempFolder folder;
  WriteFile(folder / "F.dat", FieldText(setups));
  Warnings warnings;
  Survey survey = ReadSurvey(folder / "F.dat", warnings);
  EXPECT_TRUE(warnings.empty());
  return survey;
}

CheckReport Check(const Survey& survey, double errorFactor = 4) {
  double falls = 0, length = 0;
  for (const auto& line : survey.lines)
    for (const auto& s : line.setups)
      falls -= s.riseFall, length += s.BackDistance() + s.ForeDistance();
  const ReportClosure closure{falls, errorFactor * std::sqrt(length / 1000)};
  return RunChecks(survey, CheckLimits{}, errorFactor, closure);
}

// The failed checks, each as its set-up (0 for the file) and check.
std::string Failed(const CheckReport& report) {
  std::string failed;
  for (const auto& f : report.failed) failed += std::to_string(f.setup) + " " + f.check + ", ";
  return failed;
}

}  // namespace

TEST(Checks, planted_faults_are_named_and_nothing_else) {
  const CheckReport clean = Check(SurveyOf(CleanLoop()));
  EXPECT_TRUE(clean.Pass()) << clean.failed.size() << " failed, first " << clean.failed[0].check;
  ASSERT_EQ(clean.lines.size(), 1u);
  EXPECT_EQ(std::tuple(clean.lines[0].loop, clean.lines[0].setups, clean.lines[0].lengthM),
            std::tuple(true, 6, 360.0));
  EXPECT_EQ(clean.file.pass, true);

  auto planted = CleanLoop();
  planted[1].bs2 = planted[1].bs1 + 0.002;                     // the second run differs by 2 mm
  planted[2].backDistance = planted[2].foreDistance = 80;      // an 80 m sight
  planted[3].backDistance = 34, planted[3].foreDistance = 26;  // 8 m imbalance
  planted[4].bs1 += 0.02, planted[4].bs2 += 0.02;              // the loop misses by 20 mm
  const CheckReport report = Check(SurveyOf(planted));
  EXPECT_EQ(Failed(report),
            "2 station_difference_mm, 2 repeat_difference_mm, 3 sight_length_m, "
            "4 setup_imbalance_m, 0 misclose_mm, ");
  // 20 mm planted, 1 mm from the mean of the changed repeat, 0.2 mm of the loop.
  EXPECT_NEAR(report.lines[0].miscloseMm.value(), -21.18, 0.01);
  // (BS1 - FS1) - (BS2 - FS2): -2 mm of the back sight, +0.03 of the fore.
  EXPECT_NEAR(report.setups[1].stationDifferenceMm, -1.97, 1e-6);
  EXPECT_NEAR(report.setups[0].stationDifferenceMm, 0.01, 1e-6);
  EXPECT_NEAR(report.lines[0].permissibleMm.value(), 4 * std::sqrt(0.46), 1e-9);  // 460 m
  EXPECT_EQ(VerdictLine(report),
            "Misclose " + FormatFixed(report.file.miscloseMm, 2) + " mm, permissible " +
                FormatFixed(report.file.permissibleMm, 2) +
                " mm: OUT OF TOLERANCE. 3 set-ups fail their checks, 1 line or section check "
                "fails - see the Checks sheet.");
}

// Whatever the double run loses fails the verdict, named by its file line,
// and the list of failed checks names its line of levelling and points.
// The loop's set-up k (from 0) is on lines 3 + 4k (BS1), FS1, FS2, BS2.
TEST(Checks, what_the_double_run_loses_fails_the_verdict_naming_its_lines) {
  std::vector<std::string> listed;  // the list's first row: where it lies
  auto verdictOf = [&listed](const std::string& field, Warnings& warnings) {
    TempFolder folder;
    WriteFile(folder / "F.dat", field);
    const CheckReport report = Check(ReadSurvey(folder / "F.dat", warnings));
    listed = FailedCheckCells(FailedCheckRows(report).at(0));
    listed.resize(4);
    return std::pair(report.Pass(), VerdictLine(report));
  };
  std::string field = FieldText(CleanLoop(), false);
  Warnings warnings;
  const std::string fs1 = Fixed5(1.52 - 0.20011);  // of set-up 2, line 12
  std::string noNumber = field;
  noNumber.replace(noNumber.find(fs1), fs1.size(), "1.3x989");
  auto [pass, verdict] = verdictOf(noNumber, warnings);
  EXPECT_FALSE(pass);
  EXPECT_THAT(verdict, ::testing::HasSubstr("1 reading not a number at file line 12 (taken as 0)"));
  EXPECT_EQ(listed, std::vector<std::string>({"", "12", "1", "2 \u2192 3"}));

  // The last set-up cut short: its FS2 and BS2 (lines 25 and 26) missing.
  std::string cut = field.substr(0, field.size() - 2);
  cut.resize(cut.rfind("\r\n"));
  cut.resize(cut.rfind("\r\n") + 2);
  std::tie(pass, verdict) = verdictOf(cut, warnings);
  EXPECT_FALSE(pass);
  EXPECT_THAT(verdict, ::testing::HasSubstr("2 readings lost at file lines 23-24"));

  auto planted = CleanLoop();
  planted[1].backDistance = -30;  // set-up 1, lines 7 to 10
  warnings = {};
  std::tie(pass, verdict) = verdictOf(FieldText(planted), warnings);
  EXPECT_FALSE(pass);
  EXPECT_THAT(verdict, ::testing::HasSubstr("1 set-up lost at file line 7"));
  EXPECT_EQ(listed, std::vector<std::string>({"", "7", "1", "1 \u2192 2"}));
  ASSERT_FALSE(warnings.empty());
  EXPECT_THAT(warnings[0].message, ::testing::HasSubstr("distance"));
}

TEST(Checks, sections_pair_swapped_lines_and_open_levelling_is_not_judged) {
  // A -> B, then C -> D, then B -> A back by another route 3 mm off, then a
  // second A -> B that finds no partner left.
  auto line = [](const std::string& from, const std::string& to, double rise) {
    return std::vector<PlannedSetup>{{from, "t", 1.5, 1.5, 1.5 - rise / 2, 1.5 - rise / 2},
                                     {"t", to, 1.5, 1.5, 1.5 - rise / 2, 1.5 - rise / 2}};
  };
  Survey survey;
  for (const auto& [from, to, rise] : std::vector<std::tuple<std::string, std::string, double>>{
           {"A", "B", 0.5}, {"C", "D", 0.1}, {"B", "A", -0.497}, {"A", "B", 0.5}})
    survey.lines.push_back(SurveyOf(line(from, to, rise)).lines[0]);
  const CheckReport report = Check(survey, 2);
  ASSERT_EQ(report.sections.size(), 1u);
  const auto& section = report.sections[0];
  EXPECT_EQ(std::tuple(section.first, section.second, section.pass), std::tuple(1, 3, false));
  EXPECT_NEAR(section.differenceMm, 3.0, 1e-6);
  EXPECT_NEAR(section.permissibleMm, 2 * std::sqrt(0.12), 1e-9);
  EXPECT_FALSE(report.file.pass.has_value());  // A ... B: no loop, not judged
  EXPECT_NE(VerdictLine(report).find("not judged"), std::string::npos);
}

// The booking check: each rise or fall must be its set-up's rounded mean
// difference, and the levels must follow the rises and falls.
TEST(Checks, the_booking_check_finds_a_rise_or_a_level_that_does_not_add_up) {
  std::vector<BookedSetup> setups = {{1.500015, 1.200025, 0.29999, 0}, {1.0, 1.5, 0, 0.5}};
  const BookingCheck good = CheckBooking(setups, 100, 99.79999);
  EXPECT_TRUE(good.pass);
  EXPECT_NEAR(good.riseMinusFallM, -0.20001, 1e-12);
  EXPECT_NEAR(good.backMinusForeM, -0.20001, 1e-12);
  EXPECT_FALSE(CheckBooking(setups, 100, 99.79997).pass);  // a level 0.02 mm off
  setups[0].rise = 0.30009;
  const BookingCheck edited = CheckBooking(setups, 100, 99.80009, false);
  EXPECT_FALSE(edited.pass);
  EXPECT_NEAR(edited.discrepancyMm, 0.10, 1e-9);

  // One rise 0.01 mm off among a hundred is found, not lost in the sum.
  std::vector<BookedSetup> hundred(100, BookedSetup{1.51234, 1.20001, 0.31233, 0});
  hundred[57].rise = 0.31234;
  const BookingCheck off = CheckBooking(hundred, 100, 100 + 100 * 0.31233 + 0.00001, false);
  EXPECT_FALSE(off.pass);
  EXPECT_NEAR(off.discrepancyMm, 0.01, 1e-6);
}

// The findings of the file's records, each as its file line, check and text.
std::vector<std::string> Findings(const CheckReport& report) {
  std::vector<std::string> findings;
  for (const FailedCheck& f : report.failed)
    if (!f.finding.empty())
      findings.push_back(std::to_string(f.fieldLine) + " " + f.check + ": " + f.finding);
  return findings;
}

CheckReport CheckText(const std::string& field, Warnings& warnings) {
  TempFolder folder;
  WriteFile(folder / "F.dat", field);
  return Check(ReadSurvey(folder / "F.dat", warnings));
}

// A set-up lost from the file (an open line without the level's heights
// would reduce 1 m wrong) and a set-up whose two ids are exchanged.
TEST(Checks, a_set_up_that_does_not_start_where_the_last_one_ended_fails) {
  auto lost = CleanLoop();
  lost.erase(lost.begin() + 2);  // 2 -> 3; the set-up 3 -> 4 is now on lines 11 to 14
  const CheckReport gap = Check(SurveyOf(lost));
  EXPECT_FALSE(gap.Pass());
  EXPECT_THAT(Findings(gap), ::testing::ElementsAre("11 setup_chain: the set-up starts at 3, not "
                                                    "at 2 where the previous set-up ended"));
  EXPECT_EQ(gap.failed[0].setup, 3);
  EXPECT_TRUE(gap.setups[2].failed & kChainBit);

  auto exchanged = CleanLoop();
  std::swap(exchanged[1].back, exchanged[1].fore);  // 2 -> 1 on lines 7 to 10
  EXPECT_THAT(Findings(Check(SurveyOf(exchanged))),
              ::testing::ElementsAre(
                  "7 setup_chain: the set-up starts at 2, not at 1 where the previous set-up "
                  "ended",
                  "11 setup_chain: the set-up starts at 2, not at 1 where the previous set-up "
                  "ended"));
}

// A line ended by the level (its end records, or the start height of
// another point) and followed by set-ups with no line start between them.
TEST(Checks, set_ups_after_a_line_end_without_a_line_start_fail) {
  std::string field = FieldText(CleanLoop());  // end records on lines 27 and 28
  field += HeightLine("B", "50.00000") + "\r\n" + SetupLines("B", "C", 1.5, 1.5, 1.4, 1.4);
  Warnings warnings;
  const CheckReport joined = CheckText(field, warnings);
  EXPECT_FALSE(joined.Pass());
  EXPECT_THAT(Findings(joined),
              ::testing::Contains("30 line_start: the set-up follows the end record (KD2) at file "
                                  "line 27 with no line start record between them: two lines of "
                                  "levelling are joined"));
  // Without the end records, the start height of another point ends it.
  std::string unended = FieldText(CleanLoop(), false);
  unended += HeightLine("B", "50.00000") + "\r\n" + SetupLines("B", "C", 1.5, 1.5, 1.4, 1.4);
  EXPECT_THAT(Findings(CheckText(unended, warnings)),
              ::testing::Contains(::testing::HasSubstr(
                  "28 line_start: the set-up follows the start height of B at file line 27")));
}

// The level's own figures at the line's end against the file, and a DiNi
// line the level opened but never ended (its tail lost in the transfer).
TEST(Checks, the_levels_end_of_line_figures_and_a_missing_end_fail) {
  const auto loop = CleanLoop();
  std::string field = FieldText(loop, false);
  Warnings warnings;
  const double end = 100 + loop.size() * 0 + 0.00018;  // the loop closes 0.18 mm high
  EXPECT_THAT(Findings(CheckText(field + EndLines("A", "6", Fixed5(end)), warnings)),
              ::testing::IsEmpty());
  EXPECT_THAT(Findings(CheckText(field + EndLines("A", "7", Fixed5(end)), warnings)),
              ::testing::ElementsAre("27 level_figures: the level's end record (KD2) counts 7 "
                                     "set-ups, the file holds 6"));
  EXPECT_THAT(
      Findings(CheckText(field + EndLines("A", "6", "100.00118"), warnings)),
      ::testing::ElementsAre(::testing::StartsWith(
          "27 level_figures: the level's end record (KD2) gives the end height 100.00118 m")));
  const CheckReport unended = CheckText(field, warnings);
  EXPECT_FALSE(unended.Pass());
  EXPECT_THAT(Findings(unended), ::testing::ElementsAre(::testing::StartsWith(
                                     "1 line_end: the line has no end record (End-Line)")));
}

// A transfer cut short: the last record stops before its code or value.
TEST(Checks, a_record_the_file_ends_inside_is_lost) {
  Warnings warnings;
  const std::string field = FieldText(CleanLoop());
  const CheckReport dini =
      CheckText(field + "For M5|Adr    29|KD1        7      08:35:30    1|R", warnings);
  EXPECT_FALSE(dini.Pass());
  EXPECT_THAT(VerdictLine(dini), ::testing::HasSubstr("1 reading lost at file line 29"));
  ASSERT_FALSE(dini.completeness.notReduced.empty());
  EXPECT_EQ(dini.completeness.notReduced.back().reason, NotReducedReason::DamagedRecord);

  const std::string job = ReadFile(kRealGsiJob);
  const std::string head = job.substr(0, job.find("\n*110007"));  // lines 1 to 6
  const CheckReport gsi =
      CheckText(head + "\n*110007+0000000000000001 571.08-0000000000000005 32...", warnings);
  EXPECT_THAT(VerdictLine(gsi), ::testing::HasSubstr("lost at file line"));
  EXPECT_EQ(gsi.completeness.notReduced.back().reason, NotReducedReason::DamagedRecord);
  EXPECT_EQ(gsi.completeness.notReduced.back().firstLine, 7);
}

// The real job with the 17th line's start block deleted: lines 16 and 17
// are no longer joined silently.
TEST(Checks, the_real_gsi_job_without_a_line_start_fails_where_it_was) {
  std::string job = ReadFile(kRealGsiJob);
  std::size_t at = std::string::npos;
  for (int line = 0; line < 17; ++line) at = job.find("*41", at + 1);
  const long fieldLine = 1 + std::count(job.begin(), job.begin() + static_cast<long>(at), '\n');
  job.erase(at, job.find('\n', at) + 1 - at);
  Warnings warnings;
  const CheckReport report = CheckText(job, warnings);
  EXPECT_FALSE(report.Pass());
  EXPECT_THAT(Findings(report),
              ::testing::Contains(::testing::HasSubstr(
                  "line_start: the set-up follows the start height of I at file line " +
                  std::to_string(fieldLine))));
}

// A line SSM28 -> SSM56, then a loop BM61 -> BM61: the report's closure
// covers both, so the file row leaves the judging to each line.
TEST(Checks, two_lines_of_one_file_are_judged_line_by_line) {
  AppFixture fixture;
  const CheckedRun checked = ProcessAndCheck(
      fixture.AddFieldFile("TWO.dat", ReadFile(std::string(VIREO_FIXTURES) +
                                               "/instrument-like/TWO_LINES_aBFFB.dat")),
      fixture.app);
  const CheckReport& report = checked.checks;
  EXPECT_EQ(report.file.notJudged, "2 lines; each line is judged below");
  EXPECT_EQ(report.file.lines, (std::vector<int>{1, 2}));
  ASSERT_EQ(report.lines.size(), 2u);
  EXPECT_TRUE(!report.lines[0].loop && report.lines[1].loop);
  EXPECT_EQ(report.lines[1].pass, true);
  EXPECT_THAT(VerdictLine(report), ::testing::HasSubstr("not judged, 2 lines; each line is "
                                                        "judged below."));
}

// Setting a limit (vireo-cli set check.*, the window's Check Settings) is
// checked in CliTest and MainWindowTest.
TEST(CheckLimits, settings_file_lines_and_rewrites) {
  Warnings warnings;
  const CheckLimits limits = CheckLimitsFromText(
      "# job limits\r\nsight_length_m = 50\r\n  staff_min_m=0.5  \r\nsetup_imbalance_m = -2\r\n"
      "bogus = 1\r\nno equals here\r\ninstrument_agreement_mm = 1e999\r\n = 7\r\n"
      "sight_length_m = 55\r\n",
      "checks.ini", warnings);
  // Refused values leave the default.
  EXPECT_EQ(std::tuple(limits.sightLengthM, limits.staffMinM, limits.setupImbalanceM,
                       limits.instrumentAgreementMm),
            std::tuple(55, 0.5, 5, 0.05));
  ASSERT_EQ(warnings.size(), 6u);
  EXPECT_EQ(warnings[0].message.rfind("checks.ini line 4: ", 0), 0u);
  EXPECT_EQ(warnings[4].message, "checks.ini line 8: not a \"key = value\" line; it is ignored");
  EXPECT_EQ(warnings[5].message,
            "checks.ini line 9: the sight_length_m is set again (first on line 2); the last "
            "readable value counts");
  EXPECT_EQ(RewriteCheckLimitText("# mine\nsight_length_m = 50\nsight_length_m=70\n",
                                  "sight_length_m", 45),
            "# mine\r\nsight_length_m = 45\r\n");
  // A UTF-8 byte-order mark before the first line is no part of its key.
  Warnings none;
  EXPECT_EQ(CheckLimitsFromText("\xEF\xBB\xBFsight_length_m = 40", "checks.ini", none).sightLengthM,
            40);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(RewriteCheckLimitText("\xEF\xBB\xBFsight_length_m = 40", "sight_length_m", 45),
            "\xEF\xBB\xBFsight_length_m = 45\r\n");
}

// A value outside its key's range keeps the default; so do both staff
// limits when the lowest is not below the highest.
TEST(CheckLimits, values_that_make_no_sense_keep_the_default) {
  Warnings warnings;
  const CheckLimits limits = CheckLimitsFromText(
      "sight_length_m = 1e300\nline_imbalance_m = 10000\nstaff_min_m = 2\nstaff_max_m = 1.5\n",
      "checks.ini", warnings);
  EXPECT_EQ(
      std::tuple(limits.sightLengthM, limits.lineImbalanceM, limits.staffMinM, limits.staffMaxM),
      std::tuple(60, 10000, 0, 0));
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0].message,
            "checks.ini line 1: the sight_length_m \"1e300\" is not a number from 0 to 1000; the "
            "default 60 is used");
  EXPECT_EQ(warnings[1].message,
            "checks.ini: the lowest staff reading (staff_min_m 2) must be below the highest "
            "(staff_max_m 1.5), or every set-up fails; both keep their default (off)");
}

// The real DNA03 job: sections run forward and back are found, the one that
// returns by another route fails, and exactly the two set-ups whose readings
// disagree with the instrument's own heights are named.
TEST(Checks, the_real_gsi_job) {
  Warnings warnings;
  const Survey survey = ReadSurvey(kRealGsiJob, warnings);
  const CheckReport report = Check(survey);
  ASSERT_EQ(report.lines.size(), 32u);
  std::vector<std::string> sections;
  for (const auto& s : report.sections)
    sections.push_back(std::to_string(s.first) + "-" + std::to_string(s.second) + " " + s.from +
                       s.to + (s.pass == false ? " fails" : ""));
  EXPECT_EQ(sections.size(), 6u);
  EXPECT_THAT(sections, ::testing::Contains("17-18 IN fails"));
  std::vector<std::pair<int, long>> disagreements;  // line, rounded mm
  for (const auto& line : survey.lines)
    for (const auto& s : line.setups) {
      const SetupCheck& c = report.setups[static_cast<std::size_t>(s.reduced - 1)];
      if (c.failed & kInstrumentAgreementBit)
        disagreements.emplace_back(s.line, std::lround(*c.instrumentAgreementMm * 100));
    }
  // 8th line: 0.65 mm; 11th: the set-up whose blocks are missing, 664.49 mm.
  EXPECT_EQ(disagreements, (std::vector<std::pair<int, long>>{{8, 65}, {11, -66449}}));
}

// The Checks sheet comes after the report and its profile, shows a value
// that breaks its limit in a red fill LibreOffice draws, and takes the
// misclose of keyed levels after the RL adjustment.
TEST(ChecksSheet, red_fills_and_the_verdict_after_keyed_levels) {
  AppFixture fixture;
  auto planted = CleanLoop();
  planted[2].backDistance = planted[2].foreDistance = 80;
  const CheckedRun checked =
      ProcessAndCheck(fixture.AddFieldFile("L.dat", FieldText(planted)), fixture.app);
  Workbook book = Workbook::Open(checked.run.workbookPath);
  EXPECT_EQ(book.SheetNames(), (std::vector<std::string>{"Sheet1", "Profile", "Checks"}));
  EXPECT_EQ(book.ActiveSheetName(), "Sheet1");
  Worksheet sheet = book.Sheet(kChecksSheet);
  EXPECT_EQ(sheet.Get(2, 1).text, VerdictLine(checked.checks));
  EXPECT_EQ(sheet.Get(5, 4).text, "PASS");
  const int last = sheet.LastRow();
  EXPECT_EQ(sheet.Get(last - 3, 14).text, "sight length");  // the third of six set-ups

  TempFolder html;
  const std::string page = ReadFile(Convert(html.Path(), checked.run.workbookPath, "html"));
  // The verdict, the count of failing set-ups, the sight, the set-up's
  // "Failed" cell.
  EXPECT_EQ(Count(page, "bgcolor=\"#FF8080\""), 4);

  const AdjustmentResult adjusted =
      AdjustReducedLevels(checked.run.summary, LoopType::OpenLoop, "100", "100.5", fixture.app);
  ASSERT_TRUE(adjusted.Ok()) << adjusted.message;
  Workbook reopened = Workbook::Open(checked.run.workbookPath);
  Worksheet after = reopened.Sheet(kChecksSheet);
  EXPECT_EQ(after.Get(5, 4).text, "FAIL");
  EXPECT_NEAR(after.Get(5, 2).number, adjusted.misclose * 1000, 1e-9);
  EXPECT_NE(after.Get(2, 1).text.find("OUT OF TOLERANCE"), std::string::npos);
  auto filled = [&](const char* cell) {
    return CellFormatXml(ReadFile(checked.run.workbookPath), "xl/worksheets/sheet3.xml", cell)
               .find("fillId=\"0\"") == std::string::npos;
  };
  EXPECT_TRUE(filled("D5"));
  // Levels within tolerance take the file's red fill away again; the
  // verdict stays red for the set-up that fails.
  ASSERT_TRUE(
      AdjustReducedLevels(checked.run.summary, LoopType::CloseLoop, "100", "", fixture.app).Ok());
  EXPECT_EQ(Workbook::Open(checked.run.workbookPath).Sheet(kChecksSheet).Get(2, 1).text,
            "Misclose -0.18 mm, permissible 2.71 mm: within tolerance. 1 set-up fails its checks "
            "- see the Checks sheet.");
  EXPECT_FALSE(filled("D5"));
  EXPECT_TRUE(filled("A2"));
}

// The verdict after keyed levels comes from the run's facts: an edit of the
// Checks sheet's cells changes nothing of it.
TEST(ChecksSheet, an_edited_sheet_does_not_change_the_verdict_after_keyed_levels) {
  AppFixture fixture;
  auto planted = CleanLoop();
  planted[2].backDistance = planted[2].foreDistance = 80;
  auto verdictAfterOk = [&](bool edit) {
    const CheckedRun checked =
        ProcessAndCheck(fixture.AddFieldFile("L.dat", FieldText(planted)), fixture.app);
    if (edit) {
      Workbook book = Workbook::Open(checked.run.workbookPath);
      Worksheet sheet = book.Sheet(kChecksSheet);
      for (int row = 8; row <= 13; ++row) sheet.SetText(row, 4, "0"), sheet.SetText(row, 5, "none");
      book.Save(checked.run.workbookPath);
    }
    EXPECT_TRUE(
        AdjustReducedLevels(checked.run.summary, LoopType::CloseLoop, "100", "", fixture.app).Ok());
    return Workbook::Open(checked.run.workbookPath).Sheet(kChecksSheet).Get(2, 1).text;
  };
  const std::string unedited = verdictAfterOk(false);
  EXPECT_THAT(unedited, ::testing::HasSubstr("1 set-up fails its checks"));
  EXPECT_EQ(verdictAfterOk(true), unedited);
}

// The real DNA03 job's Checks sheet as LibreOffice prints it: A4 landscape,
// the set-up table on pages of its own, each headed by the table's heading
// row, and no number run into the name beside it.
TEST(ChecksSheet, prints_the_set_up_headings_on_every_page_and_columns_apart) {
  if (!OnPath("soffice") || !OnPath("pdftotext")) GTEST_SKIP() << "no LibreOffice or poppler";
  AppFixture fixture;
  const CheckedRun checked =
      ProcessAndCheck(fixture.AddFieldFile("DNA03.gsi", ReadFile(kRealGsiJob)), fixture.app);
  const PrintedPages printed = Print(fixture.folder.Path(), checked.run.workbookPath);
  std::size_t first = 0;
  while (first < printed.pages.size() &&
         printed.pages[first].find("Checks of the double run") == std::string::npos)
    ++first;
  ASSERT_LT(first + 5, printed.pages.size());
  EXPECT_EQ(std::count(printed.landscape.begin() + static_cast<long>(first),
                       printed.landscape.end(), false),
            0);
  // The summary page: the failures line whole, the tables' columns apart.
  const std::string& summary = printed.pages[first];
  EXPECT_NE(summary.find("17 set-ups fail their checks, 5 line or section checks fail"),
            std::string::npos);
  EXPECT_TRUE(std::regex_search(summary, std::regex(R"(\n\s*14 {2,}I {2,}J {2,}8 {2,}406\.298)")))
      << summary;
  // The booking check starts a page, its table's heading with it.
  const auto booking = std::find_if(
      printed.pages.begin() + static_cast<long>(first), printed.pages.end(),
      [](const std::string& page) { return page.find("Booking check:") != std::string::npos; });
  ASSERT_NE(booking, printed.pages.end());
  EXPECT_EQ(booking->find_first_not_of(" \n\f"), booking->find("Booking check:"));
  EXPECT_NE(booking->find("BS - FS (m)"), std::string::npos);
  const std::regex headings(
      R"(Set-up\s+Line of levelling\s+File line\s+Back\s+Fore\s+Stn\. diff\. \(mm\)\s+BS1-BS2 \(mm\)\s+)"
      R"(FS1-FS2 \(mm\)\s+Longest sight \(m\)\s+Imbalance \(m\)\s+Lowest \(m\)\s+Highest \(m\)\s+)"
      R"(Instrument \(mm\)\s+Failed)");
  std::size_t setups = first + 1;  // the set-up table's first page
  while (setups < printed.pages.size() && !std::regex_search(printed.pages[setups], headings))
    ++setups;
  ASSERT_LT(setups + 3, printed.pages.size());
  long rows = 0;
  for (std::size_t page = setups; page < printed.pages.size(); ++page) {
    EXPECT_TRUE(std::regex_search(printed.pages[page], headings)) << "page " << page + 1;
    rows +=
        Count(printed.pages[page], R"(\n\s*\d+ {2,}\d+ {2,}\d+ {2,}\S+ {2,}\S+ {2,}-?\d+\.\d\d)");
  }
  EXPECT_EQ(rows, 336);
  // Set-up 48 on the 8th line, file line 252, from point 26 to 27.
  EXPECT_TRUE(std::regex_search(printed.pages[setups],
                                std::regex(R"(\n\s*48 {2,}8 {2,}252 {2,}26 {2,}27 )")));
}

// A Checks sheet read back, with what its package says of its printed
// pages: the rows that start one and the columns' widths.
struct PrintedChecks {
  Workbook book;
  Worksheet sheet;
  std::vector<int> breaks;  // rows that start a page
  double columnsWidth = 0;  // columns A to N together
  int setupsTitleRow = 0;   // "Set-ups", the last table's title
};

PrintedChecks ReadPrintedChecks(const std::string& package, const std::string& part) {
  Workbook book = Workbook::OpenFromBytes(package, "checks.xlsx");
  Worksheet sheet = book.Sheet(kChecksSheet);
  PrintedChecks printed{std::move(book), sheet, {}, 0, 0};
  const std::string xml = PartOf(package, part);
  const std::regex brk(R"re(<brk id="(\d+)")re"),
      col(R"re(<col min="(\d+)" max="\d+" width="([\d.]+)")re");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), brk); it != std::sregex_iterator();
       ++it)
    printed.breaks.push_back(std::stoi((*it)[1]) + 1);  // a break after row id
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), col); it != std::sregex_iterator();
       ++it)
    if (std::stoi((*it)[1]) <= 14) printed.columnsWidth += std::stod((*it)[2]);
  for (int row = printed.sheet.LastRow(); row > 0 && !printed.setupsTitleRow; --row)
    if (printed.sheet.Get(row, 1) == CellValue::Text("Set-ups")) printed.setupsTitleRow = row;
  return printed;
}

// The rows Excel prints on a page of the Checks sheet (A4 landscape, the
// narrow margins, one page wide): the columns shrink to the 11.19 inches
// between the margins, to a whole percent, a width unit 7 pixels at 96 to
// the inch; the 6.77 inches between top and bottom margins hold rows of 15
// points at that scale.
int ExcelRowsPerPage(double columnsWidth) {
  const double scale =
      std::clamp(std::floor(100 * 11.19 / (columnsWidth * 7 / 96)) / 100, 0.1, 1.0);
  return static_cast<int>(std::floor(6.77 * 72 / (15 * scale)));
}

// The tables above the set-up table, page by page: every page starts with
// a table's title or heading row, every row of a table has the table's
// heading above it on its own page (a heading repeated where a table goes
// on, cell for cell and look for look), no page ends with a title or a
// heading, and no page holds more rows than Excel prints on it. Gives how
// many headings were repeated.
int ExpectEveryPageHeaded(const PrintedChecks& printed) {
  const Worksheet& sheet = printed.sheet;
  // Row 15 heads the readings not reduced: "File line" a number's
  // heading, "Reason" a text's; row 7, "Readings", is a title.
  const std::set<CellStyleId> headingLooks = {sheet.StyleAt(15, 1), sheet.StyleAt(15, 4)};
  const CellStyleId titleLook = sheet.StyleAt(7, 1);
  auto kind = [&](int row) -> std::string {
    bool blank = true;
    for (int column = 1; column <= 14; ++column) blank = blank && sheet.Get(row, column).IsEmpty();
    if (blank) return "blank";
    if (headingLooks.contains(sheet.StyleAt(row, 1))) return "heading";
    return sheet.StyleAt(row, 1) == titleLook ? "title" : "row";
  };
  auto sameRow = [&](int a, int b) {
    for (int column = 1; column <= 14; ++column)
      if (sheet.Get(a, column) != sheet.Get(b, column) ||
          sheet.StyleAt(a, column) != sheet.StyleAt(b, column))
        return false;
    return true;
  };
  std::vector<int> starts = {1};
  for (int b : printed.breaks)
    if (b <= printed.setupsTitleRow) starts.push_back(b);
  EXPECT_EQ(starts.back(), printed.setupsTitleRow) << "the set-up table starts a page";
  EXPECT_TRUE(std::is_sorted(starts.begin(), starts.end()));
  const int excelRows = ExcelRowsPerPage(printed.columnsWidth);
  for (std::size_t p = 1; p < starts.size(); ++p) {
    EXPECT_LE(starts[p] - starts[p - 1], excelRows) << "the page from row " << starts[p - 1];
    EXPECT_THAT(kind(starts[p]), ::testing::AnyOf("title", "heading"))
        << "row " << starts[p] << " starts a page";
    EXPECT_THAT(kind(starts[p] - 1), ::testing::AnyOf("blank", "row"))
        << "row " << starts[p] - 1 << " ends a page";
  }
  int heading = 0, headedAt = 0, repeated = 0;
  std::size_t page = 0;
  for (int row = 15; row < printed.setupsTitleRow; ++row) {
    while (page + 1 < starts.size() && starts[page + 1] <= row) ++page;
    const std::string is = kind(row);
    if (is == "heading") {
      if (kind(row - 1) == "row") {  // the table goes on
        EXPECT_EQ(row, starts[page]) << "a heading repeated within a page";
        EXPECT_TRUE(sameRow(row, heading)) << "row " << row << " repeats row " << heading;
        ++repeated;
      } else {
        heading = row;
      }
      headedAt = row;
    } else if (is == "row") {
      EXPECT_GE(headedAt, starts[page]) << "row " << row << " has no heading on its page";
    }
  }
  return repeated;
}

// The rows of the table headed at `heading` whose first cell is a number,
// up to the first blank row.
std::vector<double> TableNumbers(const Worksheet& sheet, int heading) {
  std::vector<double> numbers;
  for (int row = heading + 1; !sheet.Get(row, 1).IsEmpty() || !sheet.Get(row, 2).IsEmpty(); ++row)
    if (sheet.Get(row, 1).kind == CellValue::Kind::Number)
      numbers.push_back(sheet.Get(row, 1).number);
  return numbers;
}

// The first row from `from` on whose first cell starts with `text`.
int RowOf(const Worksheet& sheet, const std::string& text, int from = 1) {
  for (int row = from; row <= sheet.LastRow(); ++row)
    if (sheet.Get(row, 1).text.starts_with(text)) return row;
  return 0;
}

// 150 closed loops of four set-ups, each line's end record counting 99
// set-ups: the lines of levelling, their booking check and the file's
// records each run over several printed pages.
std::string ManyLinesField() {
  const std::string dini =
      examples::SimulateFieldFile({.seed = 7, .lines = 150, .setupsPerLine = 4});
  std::string field;
  for (std::size_t at = 0, end; (end = dini.find("\r\n", at)) != std::string::npos; at = end + 2) {
    std::string line = dini.substr(at, end - at);
    if (line.find("|KD2") != std::string::npos) line.replace(35, 8, "      99");
    field += line + "\r\n";
  }
  return field;
}

// The tables above the set-up table that run past a page repeat their
// heading row at the top of every page they go on to; the RL adjustment
// still finds the sheet's head and changes nothing else of it.
TEST(ChecksSheet, every_table_that_goes_on_to_another_page_repeats_its_heading_there) {
  AppFixture fixture;
  const CheckedRun checked =
      ProcessAndCheck(fixture.AddFieldFile("MANY.dat", ManyLinesField()), fixture.app);
  ASSERT_EQ(checked.checks.lines.size(), 150u);
  ASSERT_EQ(Findings(checked.checks).size(), 150u);
  const std::string part = "xl/worksheets/sheet3.xml";
  const PrintedChecks printed = ReadPrintedChecks(ReadFile(checked.run.workbookPath), part);
  const Worksheet& sheet = printed.sheet;
  ASSERT_GT(printed.setupsTitleRow, 0);
  // Lines, booking check and findings each go on over two pages at least.
  EXPECT_GE(ExpectEveryPageHeaded(printed), 6);
  // Every line and every finding is there once, in order, repeated
  // headings aside.
  std::vector<double> numbers(150);
  std::iota(numbers.begin(), numbers.end(), 1);
  const int lines = RowOf(sheet, "Lines of levelling") + 1;
  const int booking = RowOf(sheet, "Booking check:") + 1;
  EXPECT_EQ(TableNumbers(sheet, lines), numbers);
  EXPECT_EQ(TableNumbers(sheet, booking), numbers);
  EXPECT_EQ(TableNumbers(sheet, RowOf(sheet, "The file's records") + 1).size(), 150u);
  // The booking check and the set-up table each start a page, the set-up
  // heading heads every page from there on.
  EXPECT_THAT(printed.breaks, ::testing::Contains(booking - 1));
  const std::string workbookXml = PartOf(ReadFile(checked.run.workbookPath), "xl/workbook.xml");
  EXPECT_NE(workbookXml.find("Checks!$" + std::to_string(printed.setupsTitleRow + 1) + ":$" +
                             std::to_string(printed.setupsTitleRow + 1)),
            std::string::npos);

  // The RL adjustment rewrites the verdict at the head and leaves every
  // other row and the page breaks as they were.
  const AdjustmentResult adjusted =
      AdjustReducedLevels(checked.run.summary, LoopType::CloseLoop, "100", "", fixture.app);
  ASSERT_TRUE(adjusted.Ok()) << adjusted.message;
  const std::string after = ReadFile(checked.run.workbookPath);
  const PrintedChecks adjustedSheet = ReadPrintedChecks(after, part);
  // The last line's misclose, where the whole file's stood.
  EXPECT_NE(sheet.Get(5, 2).number, adjusted.misclose * 1000);
  EXPECT_NEAR(adjustedSheet.sheet.Get(5, 2).number, adjusted.misclose * 1000, 1e-9);
  EXPECT_EQ(adjustedSheet.sheet.Get(2, 1).text.rfind("Misclose ", 0), 0u);
  EXPECT_EQ(adjustedSheet.breaks, printed.breaks);
  EXPECT_EQ(adjustedSheet.sheet.LastRow(), sheet.LastRow());
  for (int row = 14; row <= sheet.LastRow(); ++row)
    for (int column = 1; column <= 14; ++column)
      ASSERT_EQ(adjustedSheet.sheet.Get(row, column), sheet.Get(row, column))
          << "row " << row << ", column " << column;
}

// The same sheet as LibreOffice prints it: it breaks no page of its own
// above the set-up table, and every page that holds rows of the lines of
// levelling, their booking check or the file's records shows that table's
// heading, with every row printed once.
TEST(ChecksSheet, libre_office_prints_every_continued_table_under_its_heading) {
  if (!OnPath("soffice") || !OnPath("pdftotext")) GTEST_SKIP() << "no LibreOffice or poppler";
  AppFixture fixture;
  const CheckedRun checked =
      ProcessAndCheck(fixture.AddFieldFile("MANY.dat", ManyLinesField()), fixture.app);
  const PrintedChecks sheet =
      ReadPrintedChecks(ReadFile(checked.run.workbookPath), "xl/worksheets/sheet3.xml");
  // The pages above the set-up table: the first and one for each break
  // above the one that starts the set-up table.
  const auto pagesAbove =
      static_cast<long>(std::count_if(sheet.breaks.begin(), sheet.breaks.end(),
                                      [&](int row) { return row <= sheet.setupsTitleRow; }));
  ASSERT_GE(pagesAbove, 8);
  const PrintedPages printed = Print(fixture.folder.Path(), checked.run.workbookPath);
  const auto first = std::find_if(printed.pages.begin(), printed.pages.end(), [](const auto& p) {
    return p.find("Checks of the double run") != std::string::npos;
  });
  ASSERT_LT(first + pagesAbove, printed.pages.end());
  const std::regex setupsHeading(R"(^\s*Set-ups\s*\n\s*Set-up\s+Line of levelling)");
  EXPECT_FALSE(std::regex_search(*(first + pagesAbove - 1), setupsHeading));
  EXPECT_TRUE(std::regex_search(*(first + pagesAbove), setupsHeading));
  struct Table {
    std::string heading, row;
    long rows = 0;
  };
  std::vector<Table> tables = {
      {R"(Line of levelling\s+Start\s+End\s+Set-ups\s+Length \(m\))",
       R"(\n\s*\d+\s+BM\d+\s+BM\d+\s+4\s+\d+\.\d{3}\s)"},
      {R"(Line of levelling\s+BS - FS \(m\)\s+Rise - fall \(m\))",
       R"(\n\s*\d+(\s+-?\d\.\d{5}){3}\s+PASS)"},
      {R"(File line\s+Points\s+Finding)", R"(counts 99 set-ups, the file holds 4)"}};
  const std::regex start(
      R"(^\s*(Checks of the double run|Lines of levelling|Booking check:|)"
      R"(Line of levelling\s+(Start|BS - FS)|File line\s+Points|Sections run|The file's records))");
  for (auto page = first; page != first + pagesAbove; ++page) {
    const long number = page - printed.pages.begin() + 1;
    EXPECT_TRUE(std::regex_search(*page, start)) << "page " << number << ":\n" << *page;
    for (Table& table : tables) {
      const long rows = Count(*page, table.row);
      if (rows > 0) {
        EXPECT_TRUE(std::regex_search(*page, std::regex(table.heading)))
            << "page " << number << " has no heading above " << table.row;
      }
      table.rows += rows;
    }
  }
  for (const Table& table : tables) EXPECT_EQ(table.rows, 150) << table.heading;
}

// The tables of single-run lines and of their failing set-ups, and a long
// list of readings not reduced at the head, written into a workbook in
// memory.
TEST(ChecksSheet, the_single_run_tables_and_the_readings_not_reduced_go_on_under_their_headings) {
  const std::string dini =
      examples::SimulateFieldFile({.seed = 9, .lines = 120, .setupsPerLine = 4, .method = "BF"});
  TempFolder folder;
  WriteFile(folder / "F.dat", dini);
  Warnings warnings;
  const Survey survey = ReadSurvey(folder / "F.dat", warnings);
  CheckLimits limits;
  limits.sightLengthM = 20;  // most set-ups fail
  CheckReport report = RunChecks(survey, limits, 4, {});
  ASSERT_EQ(report.singleRunLines.size(), 120u);
  for (long i = 0; i < 90; ++i) {
    NotReduced lost;
    lost.firstLine = 10000 + 10 * i, lost.lastLine = lost.firstLine + 1, lost.readings = 2;
    report.completeness.notReduced.push_back(lost);
  }
  Workbook book = Workbook::CreateBlank();
  ASSERT_TRUE(WriteChecksSheet(book, report, survey));
  const PrintedChecks printed = ReadPrintedChecks(book.SaveToBytes(), "xl/worksheets/sheet2.xml");
  const Worksheet& sheet = printed.sheet;
  EXPECT_GE(ExpectEveryPageHeaded(printed), 6);
  std::vector<double> lines(120);
  std::iota(lines.begin(), lines.end(), 1);
  const int singleRun = RowOf(sheet, "Single-run lines") + 1;
  EXPECT_EQ(TableNumbers(sheet, singleRun), lines);
  EXPECT_EQ(TableNumbers(sheet, 15).size(), 90u);
  long failing = 0;
  for (const FailedCheck& f : report.failed) failing += f.singleRunSetup != 0;
  EXPECT_GT(failing, 150);
  const int failed = RowOf(sheet, "File line", singleRun);
  EXPECT_EQ(sheet.Get(failed, 2).text, "Back");
  EXPECT_EQ(static_cast<long>(TableNumbers(sheet, failed).size()), failing);
}

// However long the tables above them, the titles of the sections and of
// the file's records never stand alone at the foot of a page: the booking
// check of 20 to 110 lines ends on every row of a page.
TEST(ChecksSheet, a_table_title_is_never_the_last_row_of_a_page) {
  const std::string dini =
      examples::SimulateFieldFile({.seed = 3, .lines = 110, .setupsPerLine = 2});
  TempFolder folder;
  WriteFile(folder / "F.dat", dini);
  Warnings warnings;
  const Survey survey = ReadSurvey(folder / "F.dat", warnings);
  const CheckReport all = Check(survey);
  ASSERT_EQ(all.lines.size(), 110u);
  for (std::size_t lines = 20; lines <= 110; ++lines) {
    SCOPED_TRACE(std::to_string(lines) + " lines");
    CheckReport report = all;
    report.lines.resize(lines);
    Workbook book = Workbook::CreateBlank();
    ASSERT_TRUE(WriteChecksSheet(book, report, survey));
    ExpectEveryPageHeaded(ReadPrintedChecks(book.SaveToBytes(), "xl/worksheets/sheet2.xml"));
    if (::testing::Test::HasFailure()) break;
  }
}

// A single-run loop: the closing block's own misclosure must agree with
// the readings, and a set-up of one run is checked like one of two.
TEST(Checks, a_single_run_line_is_judged_by_its_closure_and_its_set_ups) {
  const std::string dini = examples::SimulateFieldFile(
      {.seed = 5, .setupsPerLine = 8, .method = "aBF", .intermediates = 2});
  const std::string gsi = examples::GsiFromDini(dini, examples::GsiWidth::Gsi16);
  Warnings warnings;
  const CheckReport clean = CheckText(gsi, warnings);
  EXPECT_TRUE(clean.Pass()) << VerdictLine(clean);
  ASSERT_EQ(clean.singleRunLines.size(), 1u);
  EXPECT_TRUE(clean.singleRunLines[0].loop && clean.singleRunLines[0].pass == true);
  EXPECT_EQ(clean.file.pass, true);  // the file is that one line

  // The level's 505 word 0.05 mm off the readings' misclose.
  std::string off = gsi;
  const std::size_t at = off.find("505.08");
  const long level = std::stol(off.substr(at + 7, 16)) * (off[at + 6] == '-' ? -1 : 1);
  char word[32];
  std::snprintf(word, sizeof word, "505.08%c%016ld", level + 5 < 0 ? '-' : '+',
                std::labs(level + 5));
  off.replace(at, 23, word);
  EXPECT_THAT(Findings(CheckText(off, warnings)),
              ::testing::ElementsAre(
                  ::testing::HasSubstr("level_figures: the closing block gives the misclose")));

  // A sight longer than the limit fails its single-run set-up.
  CheckLimits limits;
  limits.sightLengthM = 20;
  TempFolder folder;
  WriteFile(folder / "F.gsi", gsi);
  const CheckReport strict = RunChecks(ReadSurvey(folder / "F.gsi", warnings), limits, 4, {});
  EXPECT_GT(strict.FailedSetupCount(), 0);
  EXPECT_EQ(strict.Facts().failedOthers, 0);
  EXPECT_FALSE(strict.Pass());
}
