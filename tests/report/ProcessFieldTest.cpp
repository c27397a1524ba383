// The processing run end to end on small field files: the worked examples
// as golden cases, every pairing order and line end, and the field files a
// run must survive with only what is faulty lost.
#include <gtest/gtest.h>

#include "common/Error.h"
#include "common/Text.h"
#include "output/LevelDataFile.h"
#include "output/Workbook.h"
#include "report/ProcessField.h"
#include "report/ReportSheet.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

std::string Lines(std::initializer_list<std::string> lines, const std::string& end = "\r\n") {
  std::string text;
  for (const auto& l : lines) text += l + end;
  return text;
}

// A row of the report: each number to 15 significant digits, or the text,
// "|" between the fourteen cells.
std::string Row(const Workbook& w, int row) {
  std::string out;
  for (int column = 1; column <= 14; ++column) {
    const CellValue cell = w.Get(row, column);
    out += (column > 1 ? "|" : "") +
           (cell.kind == CellValue::Kind::Number ? DecimalText(cell.number) : cell.text);
  }
  return out;
}

struct RunOf {
  AppFixture fixture;
  ProcessResult result;
  Workbook workbook;
  std::string levelData;

  explicit RunOf(const std::string& field,
                 const std::string& control = "YAcme Levels\r\nPJo Bloggs\r\nE4\r\n")
      : fixture(control),
        result(fixture.Process("LINE7.dat", field)),
        workbook(Workbook::Open(result.workbookPath)),
        levelData(ReadFile(result.levelDataPath)) {}
  std::string Records() const { return levelData.substr(LevelDataHeader().size()); }
  std::string Text(int row) const { return workbook.Get(row, kFs2).text; }
};

}  // namespace

TEST(ProcessField, the_double_run_set_up_example) {
  RunOf run(Lines({StartLine(), HeightLine("A", "100.00000"), ReadingLine("A", "Rb", 1.5, "20.0"),
                   ReadingLine("B", "Rf", 1.2, "21.0"), ReadingLine("A", "Rb", 1.50002, "20.2"),
                   ReadingLine("B", "Rf", 1.20004, "21.2")}));
  EXPECT_EQ(Row(run.workbook, 10), "A|1.5|1.50002|||20|20.2|20.1|1.50001||||100|100");
  EXPECT_EQ(Row(run.workbook, 11), "B|||1.2|1.20004|21|21.2|21.1||1.20002|0.29999||100.29999|100");
  EXPECT_EQ(Row(run.workbook, 12), "||||Summation of Readings|||41.2|||0.29999|||");
  EXPECT_EQ(run.Text(15), "The Calculated Misclose is -299.99 mm");
  EXPECT_EQ(run.Text(16), "The Permissible Error is     0.81 mm");
  EXPECT_EQ(run.Records(), "L  A-B" + std::string(23 + 10, ' ') + "0.29999   41   'A\r\n");
  EXPECT_EQ(run.result.survey.SetupCount(), 1);
}

// The status texts: MainWindowTest; the error rule's line: permissible_error_lines_of_the_rule.
TEST(ProcessField, header_block_of_the_report) {
  RunOf run(Lines({StartLine()}) + SetupLines("A", "B", 1.5, 1.5, 1.0, 1.0));
  for (const auto& [row, text] : {std::pair{1, "Acme Levels"},
                                  {2, "File Name                - LINE7"},
                                  {3, "Survey carried out by    - Jo Bloggs"}})
    EXPECT_EQ(run.workbook.Get(row, 1).text, text);
}

TEST(ProcessField, closure_example_gives_3_20_mm_and_spreads_it_by_distance) {
  // Set-up 1 rises 1.23456 over 25 + 24 m, set-up 2 falls 1.23776 over 30 + 31 m.
  RunOf run(Lines({StartLine(), HeightLine("BM1", "50.00000")}) +
            SetupLines("BM1", "TP1", 2.0, 2.0, 0.76544, 0.76544, "25", "24") +
            SetupLines("TP1", "BM1", 0.5, 0.5, 1.73776, 1.73776, "30", "31"));
  const Workbook& w = run.workbook;
  EXPECT_EQ(run.Text(17), "The Calculated Misclose is 3.20 mm");
  EXPECT_EQ(run.Text(18), "The Permissible Error is     1.33 mm");
  EXPECT_NEAR(w.Get(11, kAdjRl).number - w.Get(11, kCalRl).number, 0.0032 * 49 / 110, 1e-12);
  EXPECT_EQ(w.Get(12, kAdjRl), w.Get(11, kAdjRl));
  EXPECT_NEAR(w.Get(13, kAdjRl).number - w.Get(13, kCalRl).number, 0.0032, 1e-12);
  EXPECT_NEAR(w.Get(13, kAdjRl).number, 50.0, 1e-9);
  // The RL question and what the RL adjustment takes from the run.
  const RunSummary& summary = run.result.summary;
  EXPECT_EQ(RlPromptText(summary),
            "The Start Reference = BM1\rThe Start RL   = 50.00000\r\r"
            "The End Reference = BM1\rThe End RL     = 49.9968\r\rDo You want to key in a New "
            "Reduced Level?");
  EXPECT_EQ(summary.firstDataRow, 10);
  EXPECT_EQ(std::tuple(summary.totalDistanceM, summary.errorFactor, summary.workbookPath),
            std::tuple(110.0, 4.0, run.result.workbookPath));
  EXPECT_NEAR(summary.miscloseM, 0.0032, 1e-15);  // as shown: 15 significant digits
}

TEST(ProcessField, permissible_error_lines_of_the_rule) {
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"625", "E4\r\n", "The Permissible Error is     4.47 mm", "4SQRT(k)"},
      {"1250", "E10\r\n", "The Permissible Error is     15.81 mm", "10SQRT(k)"},
      {"625", "YX\r\n", "The Permissible Error is     0.00 mm", "SQRT(k)"}};  // no error factor
  for (const auto& [d, control, line, rule] : cases) {
    RunOf run(Lines({StartLine()}) + SetupLines("A", "B", 1.0, 1.0, 1.0, 1.0, d, d), control);
    EXPECT_EQ(run.Text(16), line);
    EXPECT_EQ(run.workbook.Get(4, 1).text, std::string("Leveling Error Seleceted - ") + rule);
  }
}

TEST(ProcessField, the_level_data_records_of_the_worked_example) {
  RunOf run(Lines({StartLine()}) +
            SetupLines("BM1", "TP1", 1.23456, 1.23456, 0.65432, 0.65432, "24.7", "25.1") +
            SetupLines("TP1", "TP2", 0.5, 0.5, 1.6, 1.6, "9.9", "10.3"));
  EXPECT_EQ(run.Records(),
            "L  BM1-TP1                             0.58024   49   'BM1\r\n"
            "L  TP1-TP2                            -1.10000   20   'BM1\r\n");
  EXPECT_EQ(run.workbook.Get(13, kFall).number, 1.1);
}

TEST(ProcessField, every_order_of_the_four_readings_and_every_line_end_agree) {
  const auto read = &ReadingLine;
  const std::string a1 = read("A", "Rb", 1.5, "20.0"), a2 = read("A", "Rb", 1.50002, "20.2");
  const std::string b1 = read("B", "Rf", 1.2, "21.0"), b2 = read("B", "Rf", 1.20004, "21.2");
  const std::string c1 = read("B", "Rb", 0.9, "30.0"), c2 = read("B", "Rb", 0.90001, "30.1");
  const std::string d1 = read("C", "Rf", 2.2, "31.0"), d2 = read("C", "Rf", 2.20003, "31.3");
  auto file = [&](const std::string& end, bool fbbf) {
    return Lines({StartLine(), HeightLine("A", "10.00000"), a1, b1, b2, a2}, end) +
           (fbbf ? Lines({d1, c1, c2, d2}, end) : Lines({c1, d1, c2, d2}, end));
  };
  RunOf reference(file("\r\n", false));
  EXPECT_EQ(reference.result.survey.SetupCount(), 2);
  for (const auto& variant :
       {file("\n", false), file("\r", false), file("\r\n", true),
        Lines({StartLine(), HeightLine("A", "10.00000"), a1, a2, b1, b2, c1, c2, d1, d2}),
        Lines({StartLine(), HeightLine("A", "10.00000"), a1, b1, a2, b2, d1, c1, d2, c2})}) {
    RunOf run(variant);
    EXPECT_EQ(run.levelData, reference.levelData);
    EXPECT_TRUE(run.result.warnings.empty()) << run.result.warnings[0].message;
    for (int row = 1; row <= 20; ++row)
      EXPECT_EQ(Row(run.workbook, row), Row(reference.workbook, row)) << "row " << row;
  }
}

TEST(ProcessField, a_dropped_set_up_leaves_no_trace_and_is_reported) {
  RunOf run(Lines({StartLine(), HeightLine("A", "0.00000"), ReadingLine("A", "Rb", 1.0, "10"),
                   ReadingLine("A", "Rb", 1.0, "10"), ReadingLine("A", "Rb", 1.0, "10"),
                   ReadingLine("B", "Rf", 1.0, "10")}) +
            SetupLines("X", "Y", 1.5, 1.5, 1.0, 1.0));
  EXPECT_EQ(run.result.survey.SetupCount(), 1);
  EXPECT_EQ(Row(run.workbook, 10), "X|1.5|1.5|||5|5|5|1.5||||0|0");
  EXPECT_EQ(run.Text(12), "Summation of Readings");
  ASSERT_EQ(run.result.warnings.size(), 1u);
  EXPECT_EQ(run.result.warnings[0].line, 3);
  EXPECT_NE(run.result.warnings[0].message.find("dropped"), std::string::npos);
  // FirstStation came from the dropped set-up's paired back sight.
  EXPECT_NE(run.levelData.find("'A\r\n"), std::string::npos);
}

TEST(ProcessField, a_file_without_line_start_gets_a_heading_and_a_warning) {
  RunOf run(SetupLines("A", "B", 1.5, 1.5, 1.0, 1.0) + Lines({ReadingLine("C", "Rb", 1.0, "1")}));
  EXPECT_EQ(run.workbook.Get(9, kCalRl).text, "Cal. RL");
  EXPECT_EQ(Row(run.workbook, 10), "A|1.5|1.5|||5|5|5|1.5||||0|0");  // no height: from 0
  // The assumed line start; levels from 0 for want of a height; the
  // left-over reading.
  ASSERT_EQ(run.result.warnings.size(), 3u);
  EXPECT_EQ(std::tuple(run.result.warnings[0].line, run.result.warnings[1].line,
                       run.result.warnings[2].line),
            std::tuple(1L, 1L, 5L));
  EXPECT_EQ(run.result.warnings[1].message,
            "no height is read before the line's first set-up, so its reduced levels start at 0");
}

TEST(ProcessField, point_ids_keep_the_field_files_bytes_in_the_level_data_file) {
  // "BMé" written by a level in Windows-1252: one byte E9.
  RunOf run(Lines({StartLine()}) + SetupLines("BM\xe9", "TP1", 1.5, 1.5, 1.2, 1.2, "20", "21"));
  EXPECT_EQ(run.workbook.Get(10, kRef).text, "BM\xc3\xa9");  // the workbook holds UTF-8
  EXPECT_EQ(run.Records(),
            "L  BM\xe9-TP1" + std::string(23 + 6, ' ') + "0.30000   41   'BM\xe9\r\n");
}

TEST(ProcessField, a_sight_without_distance_does_not_end_the_closure_walk) {
  RunOf run(
      Lines({StartLine(), HeightLine("A", "10.00000")}) + SetupLines("A", "B", 1.5, 1.5, 1.0, 1.0) +
      SetupLines("B", "C", 1.5, 1.5, 1.0, 1.0, "0") + SetupLines("C", "A", 1.0, 1.0, 1.99, 1.99));
  const Workbook& w = run.workbook;
  EXPECT_EQ(w.Get(12, kDist1).number, 0.0);
  EXPECT_EQ(run.Text(16), "Summation of Readings");
  EXPECT_EQ(run.Text(19), "The Calculated Misclose is -10.00 mm");
  EXPECT_NEAR(w.Get(15, kAdjRl).number, 10.0, 1e-9);  // the whole line is adjusted
  EXPECT_EQ(w.Get(14, kAdjRl), w.Get(13, kAdjRl));
}

// A reading without point id that arrives as a set-up's fourth reading
// completes that set-up: only this set-up is lost, the framing of all later
// readings is kept.
TEST(ProcessField, a_fourth_reading_without_point_id_costs_only_its_own_set_up) {
  const std::string reference = examples::SimulateFieldFile({.setupsPerLine = 10});
  // The point id of the 16th reading, the fourth set-up's last, blanked.
  std::string damaged = reference;
  std::size_t at = 0;
  for (int readings = 0;; at = damaged.find('\n', at) + 1)
    if (damaged.compare(at + 17, 3, "KD1") == 0 && damaged[at + 49] == 'R' && ++readings == 16)
      break;
  damaged.replace(at + 20, 9, std::string(9, ' '));
  const long damagedLine = std::count(damaged.begin(), damaged.begin() + at, '\n') + 1;
  RunOf good(reference), run(damaged);
  EXPECT_EQ(good.result.survey.ReducedSetupCount(), 10);
  EXPECT_EQ(run.result.survey.ReducedSetupCount(), 9);
  // Nine records, those of the good file without the fourth set-up's.
  std::string records = good.Records();
  std::size_t fourth = 0;
  for (int i = 0; i < 3; ++i) fourth = records.find('\n', fourth) + 1;
  EXPECT_EQ(run.Records(), records.erase(fourth, records.find('\n', fourth) + 1 - fourth));
  for (int setup = 0; setup < 10; ++setup)
    for (int column : {kAveFs, kRise, kFall})
      EXPECT_TRUE(setup == 3 || run.workbook.Get(11 + 2 * setup, column) ==
                                    good.workbook.Get(11 + 2 * setup, column))
          << "set-up " << setup + 1;
  bool named = false;
  for (const auto& w : run.result.warnings) named = named || w.line == damagedLine;
  EXPECT_TRUE(named) << "line " << damagedLine;
}

// The report's set-up rows are written at save time unless the template has
// cells of its own below the first heading row; then cell by cell, around
// them. Both give the same cells, and the template's own stay.
TEST(ProcessField, a_template_with_cells_below_the_headings_gets_the_same_report) {
  const std::string field =
      Lines({StartLine(), HeightLine("A", "10.00000")}) + SetupLines("A", "B", 1.5, 1.5, 1.0, 1.0) +
      Lines({ReadingLine("B", "Rb", 1.0, "10"), ReadingLine("C", "Rf", 1.0, "10"),
             ReadingLine("B", "Rb", 1.0, "10"), ReadingLine("Q", "Rf", 1.0, "10")}) +
      Lines({StartLine()}) + SetupLines("B", "C", 0.5, 0.5, 1.2, 1.2);
  RunOf streamed(field);
  AppFixture own;
  Workbook withNote = Workbook::Open(own.app.Template());
  withNote.SetText(500, 26, "checked by");
  withNote.Save(own.app.Template());
  const ProcessResult result = own.Process("LINE7.dat", field);
  const Workbook written = Workbook::Open(result.workbookPath);
  for (int row = 1; row <= 40; ++row)
    EXPECT_EQ(Row(written, row), Row(streamed.workbook, row)) << "row " << row;
  EXPECT_EQ(written.Get(500, 26).text, "checked by");
}
