// The processed workbook as LibreOffice prints it (PDF, read back by
// poppler's pdfinfo and pdftotext): the bundled sample's report on one
// landscape page with every heading, every decimal and both closure lines,
// its profile with the chart on the next page; a long report with the
// heading row and the right page numbers on every page. The profile sheet
// against a reference worked out from the survey model, the heading rows'
// look, and a template's own "Profile".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "output/DefaultTemplate.h"
#include "report/ProcessField.h"
#include "report/ProfileSheet.h"
#include "report/ReportSheet.h"
#include "tests/support/Clients.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

// Processes a simulated line with the default template and prints the
// processed workbook to PDF.
PrintedPages ProcessAndPrint(int setups) {
  AppFixture fixture("YNorth Survey Ltd\r\nPJ. Surveyor\r\nE4\r\n");
  WriteFile(fixture.app.Template(), DefaultTemplateBytes());
  // As the bundled LOOP_BFFB.dat.
  const ProcessResult run = fixture.Process(
      "LOOP.dat",
      examples::SimulateFieldFile({.seed = 11, .setupsPerLine = setups, .startHeight = 190.15355}));
  return Print(fixture.folder.Path(), run.workbookPath);
}

const std::regex kReportHeadings(
    R"(Ref\.\s+BS1\(m\)\s+BS2\(m\)\s+FS1\(m\)\s+FS2\(m\)\s+Dist1\(m\)\s+Dist2\(m\)\s+)"
    R"(Ave_Dist\(m\)\s+Ave_BS\(m\)\s+Ave_FS\(m\)\s+Av\. Rise\(\+\)\s+Av\. Fall\(-\)\s+)"
    R"(Cal\. RL\s+Adj\. RL)");
const std::regex kProfileHeadings(R"(Point\s+Distance \(m\)\s+Cal\. RL\s+Adj\. RL)");

ProcessResult ProcessLines(const AppFixture& fixture, int lines) {
  return fixture.Process("TWO.dat",
                         examples::SimulateFieldFile(
                             {.seed = 21, .lines = lines, .setupsPerLine = 7, .startHeight = 50}));
}

}  // namespace

TEST(ReportPrint, the_sample_prints_its_report_on_one_page_and_the_profile_on_the_next) {
  if (!OnPath("soffice") || !OnPath("pdftotext")) GTEST_SKIP() << "no LibreOffice or poppler";
  const PrintedPages printed = ProcessAndPrint(12);
  ASSERT_EQ(printed.pages.size(), 2u);
  EXPECT_EQ(printed.landscape, std::vector<bool>(2, true));
  const std::string& report = printed.pages[0];
  EXPECT_TRUE(std::regex_search(report, kReportHeadings)) << report;
  EXPECT_NE(report.find("The Calculated Misclose is -0.96 mm"), std::string::npos) << report;
  EXPECT_TRUE(std::regex_search(report, std::regex(R"(The Permissible Error is\s+3\.12 mm)")));
  // The 24 set-up rows show their distances with three decimals, every
  // other number with five.
  const auto first = report.find("\nBM1");
  const std::string rows = report.substr(first, report.find("Summation") - first);
  EXPECT_EQ(Count(rows, R"(\d\.\d{3}\b)"), 24 * 3) << rows;
  EXPECT_EQ(Count(rows, R"(\d\.\d+)"),
            Count(rows, R"(\d\.\d{3}\b)") + Count(rows, R"(\d\.\d{5}\b)"));
  // The table's headings; the chart's title, axis titles and legend.
  const std::string& profile = printed.pages[1];
  EXPECT_TRUE(std::regex_search(profile, kProfileHeadings)) << profile;
  EXPECT_EQ(Missing(profile, {"Profile of the last line, BM1 to BM1", "RL (m)"}), "") << profile;
  EXPECT_EQ(Count(profile, R"(Distance \(m\))"), 2) << profile;
  EXPECT_EQ(Count(profile, R"(Cal\. RL\s+Adj\. RL)"), 2) << profile;
  // The correction as its own series: heading, right axis, legend.
  EXPECT_EQ(Count(profile, R"(Correction \(mm\))"), 3) << profile;
}

TEST(ReportPrint, a_long_report_has_the_heading_row_and_page_numbers_on_every_page) {
  if (!OnPath("soffice") || !OnPath("pdftotext")) GTEST_SKIP() << "no LibreOffice or poppler";
  const PrintedPages printed = ProcessAndPrint(2000);
  const std::size_t pages = printed.pages.size();
  ASSERT_GT(pages, 50u);
  for (std::size_t page = 1; page <= pages; ++page) {
    const std::string& text = printed.pages[page - 1];
    EXPECT_TRUE(std::regex_search(text, kReportHeadings) ||
                std::regex_search(text, kProfileHeadings))
        << "page " << page;
    EXPECT_THAT(text, ::testing::HasSubstr("Page " + std::to_string(page) + " of " +
                                           std::to_string(pages)));
  }
}

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
    for (const vireo::Setup& s : line.setups) total += s.BackDistance() + s.ForeDistance();
  Worksheet profile = workbook.Sheet(kProfileSheet);
  ASSERT_EQ(profile.LastRow(), static_cast<int>(setups.size()) + 2);
  double distance = 0, level = std::stod(result.summary.startRl);
  for (std::size_t i = 0; i <= setups.size(); ++i) {
    const int row = static_cast<int>(i) + 2;
    EXPECT_EQ(profile.Get(row, 1).text, i == 0 ? setups[0].back->point : setups[i - 1].fore.point);
    EXPECT_NEAR(profile.Get(row, 2).number, distance, 1e-9) << row;
    EXPECT_NEAR(profile.Get(row, 3).number, level, 1e-9) << row;
    EXPECT_NEAR(profile.Get(row, 4).number,
                level + distance / total * result.survey.closure.misclose, 1e-9);
    EXPECT_NEAR(profile.Get(row, 5).number,
                distance / total * result.survey.closure.misclose * 1000, 1e-5);
    if (i == setups.size()) break;
    distance += setups[i].BackDistance() + setups[i].ForeDistance();
    level += setups[i].riseFall;
  }

  // The second line's heading row looks like the first one.
  vireo::Worksheet report = workbook.Sheet("Report");
  const auto style = [&](int row) { return report.StyleAt(row, 14); };
  EXPECT_EQ(style(result.summary.firstDataRow - 1), style(kReportHeadingRow));
  EXPECT_NE(style(result.summary.firstDataRow), style(kReportHeadingRow));
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
