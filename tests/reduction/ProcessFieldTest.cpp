#include <gtest/gtest.h>

#include <cmath>

#include "common/Error.h"
#include "output/LevelDataFile.h"
#include "output/Workbook.h"
#include "reduction/ProcessField.h"
#include "reduction/RunVariables.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

class Answer : public RunSurroundings {
 public:
  explicit Answer(bool yes = false) : yes_(yes) {}
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  bool AskForNewReducedLevel(const std::string& title, const std::string& text) override {
    promptTitle = title;
    prompt = text;
    return yes_;
  }
  void ShowInputOption(const InputOptionFields& f) override {
    shown = true;
    fields = f;
  }
  std::vector<std::string> statuses;
  std::string promptTitle, prompt;
  bool shown = false;
  InputOptionFields fields;

 private:
  bool yes_;
};

std::string Lines(std::initializer_list<std::string> lines, const std::string& end = "\r\n") {
  std::string text;
  for (const auto& l : lines) text += l + end;
  return text;
}

// One set-up in back, fore, fore, back order.
std::string SetupBffb(const std::string& b, const std::string& f, double bs1, double bs2,
                      double fs1, double fs2, const std::string& db1, const std::string& db2,
                      const std::string& df1, const std::string& df2) {
  return Lines({ReadingLine(b, "Rb", bs1, db1), ReadingLine(f, "Rf", fs1, df1),
                ReadingLine(f, "Rf", fs2, df2), ReadingLine(b, "Rb", bs2, db2)});
}

double Num(const Workbook& w, int row, int column) {
  auto cell = w.Get(row, column);
  EXPECT_EQ(cell.kind, CellValue::Kind::Number) << "row " << row << " column " << column;
  return cell.number;
}

struct RunOf {
  AppFixture fixture;
  ProcessResult result;
  Answer answer;
  Workbook workbook = Workbook::CreateBlank();
  std::string levelData;

  explicit RunOf(const std::string& field, bool yes = false,
                 const std::string& control = "YAcme Levels\r\nPJo Bloggs\r\nE4\r\n")
      : fixture(control), answer(yes) {
    const std::string path = fixture.AddFieldFile("LINE7.dat", field);
    result = ProcessField(path, fixture.app, answer);
    workbook = Workbook::Open(result.workbookPath);
    levelData = ReadFile(result.levelDataPath);
  }
  std::string Records() const { return levelData.substr(LevelDataHeader().size()); }
};

}  // namespace

TEST(ProcessField, the_double_run_set_up_example) {
  RunOf run(
      Lines({StartLine(), HeightLine("A", "100.00000")}) +
      Lines({ReadingLine("A", "Rb", 1.5, "20.0"), ReadingLine("B", "Rf", 1.2, "21.0"),
             ReadingLine("A", "Rb", 1.50002, "20.2"), ReadingLine("B", "Rf", 1.20004, "21.2")}));
  const Workbook& w = run.workbook;
  EXPECT_EQ(w.Get(9, kRef).text, "Ref.");
  EXPECT_EQ(w.Get(9, kAdjRl).text, "Adj. RL");
  EXPECT_EQ(w.Get(10, kRef).text, "A");
  EXPECT_EQ(Num(w, 10, kBs1), 1.5);
  EXPECT_EQ(Num(w, 10, kBs2), 1.50002);
  EXPECT_EQ(Num(w, 10, kAveBs), (1.5 + 1.50002) / 2);
  EXPECT_EQ(Num(w, 10, kDist1), 20.0);
  EXPECT_EQ(Num(w, 10, kDist2), 20.2);
  EXPECT_EQ(Num(w, 10, kAveDist), (20.0 + 20.2) / 2);
  EXPECT_EQ(w.Get(11, kRef).text, "B");
  EXPECT_EQ(Num(w, 11, kFs1), 1.2);
  EXPECT_EQ(Num(w, 11, kFs2), 1.20004);
  EXPECT_EQ(Num(w, 11, kAveDist), (21.0 + 21.2) / 2);
  EXPECT_EQ(Num(w, 11, kRise), 0.29999);
  EXPECT_TRUE(w.Get(11, kFall).IsEmpty());
  EXPECT_EQ(Num(w, 10, kCalRl), 100.0);
  EXPECT_EQ(Num(w, 11, kCalRl), 100.0 + 0.29999);
  EXPECT_NEAR(run.result.totalDistance, 41.2, 1e-12);
  EXPECT_EQ(run.Records(), "L  A-B" + std::string(23 + 10, ' ') + "0.29999   41   'A\r\n");
  EXPECT_EQ(run.result.setups, 1);
  // Summation row and closure lines of a single set-up.
  EXPECT_EQ(w.Get(12, kFs2).text, "Summation of Readings");
  EXPECT_EQ(Num(w, 12, kRise), 0.29999);
  EXPECT_TRUE(w.Get(12, kFall).IsEmpty());
  EXPECT_EQ(w.Get(15, kFs2).text, "The Calculated Misclose is -299.99 mm");
  EXPECT_EQ(w.Get(16, kFs2).text, "The Permissible Error is     0.81 mm");
  EXPECT_EQ(Num(w, 10, kAdjRl), 100.0);
  EXPECT_NEAR(Num(w, 11, kAdjRl), 100.0, 1e-9);  // closes back on the start
  EXPECT_TRUE(w.Get(12, kAdjRl).IsEmpty());
}

TEST(ProcessField, header_block_and_status_texts) {
  RunOf run(Lines({StartLine()}));
  const Workbook& w = run.workbook;
  EXPECT_EQ(w.Get(1, 1).text, "Acme Levels");
  EXPECT_EQ(w.Get(2, 1).text, "File Name                - LINE7");
  EXPECT_EQ(w.Get(3, 1).text, "Survey carried out by    - Jo Bloggs");
  EXPECT_EQ(w.Get(4, 1).text, "Leveling Error Seleceted - 4SQRT(k)");
  ASSERT_EQ(run.answer.statuses.size(), 2u);
  EXPECT_EQ(run.answer.statuses[0],
            "Status - Processing.....\rFile : " + run.fixture.app.FieldData() +
                "/LINE7.dat, this may take a few seconds");
  EXPECT_EQ(run.answer.statuses[1],
            "Status - Done\rPress PROCESS again if you want to continue processing another file.");
  // No readings: header lines only, summation row under the headings,
  // closure lines at s + 5 and s + 6.
  EXPECT_EQ(run.levelData, LevelDataHeader());
  EXPECT_EQ(w.Get(10, kFs2).text, "Summation of Readings");
  EXPECT_EQ(w.Get(15, kFs2).text, "The Calculated Misclose is 0.00 mm");
  EXPECT_EQ(w.Get(16, kFs2).text, "The Permissible Error is     0.00 mm");
  EXPECT_EQ(run.answer.promptTitle, "RL Input Option");
}

TEST(ProcessField, closure_example_gives_3_20_mm_and_spreads_it_by_distance) {
  // Set-up 1 rises 1.23456 over 25 + 24 m, set-up 2 falls 1.23776 over 30 + 31 m.
  RunOf run(Lines({StartLine(), HeightLine("BM1", "50.00000")}) +
                SetupBffb("BM1", "TP1", 2.0, 2.0, 0.76544, 0.76544, "25", "25", "24", "24") +
                SetupBffb("TP1", "BM1", 0.5, 0.5, 1.73776, 1.73776, "30", "30", "31", "31"),
            true);
  const Workbook& w = run.workbook;
  EXPECT_EQ(run.result.totalDistance, 110.0);
  EXPECT_NEAR(run.result.misclose, 0.0032, 1e-12);
  EXPECT_EQ(w.Get(17, kFs2).text, "The Calculated Misclose is 3.20 mm");
  EXPECT_EQ(w.Get(18, kFs2).text, "The Permissible Error is     1.33 mm");
  EXPECT_NEAR(Num(w, 11, kAdjRl) - Num(w, 11, kCalRl), 0.0032 * 49 / 110, 1e-12);
  EXPECT_EQ(Num(w, 12, kAdjRl), Num(w, 11, kAdjRl));
  EXPECT_NEAR(Num(w, 13, kAdjRl) - Num(w, 13, kCalRl), 0.0032, 1e-12);
  EXPECT_NEAR(Num(w, 13, kAdjRl), 50.0, 1e-9);
  // The prompt and the dialog's fields.
  EXPECT_EQ(run.answer.prompt,
            "The Start Reference = BM1\rThe Start RL   = 50.00000\r\rThe End Reference = BM1\r"
            "The End RL     = 49.9968\r\rDo You want to key in a New Reduced Level?");
  ASSERT_TRUE(run.answer.shown);
  const InputOptionFields& f = run.answer.fields;
  EXPECT_EQ(f.label4, "BM1");
  EXPECT_EQ(f.label7, "BM1");
  EXPECT_EQ(f.text1, "50.00000");
  EXPECT_EQ(f.text2, "49.9968");
  EXPECT_EQ(f.label9, "10");
  EXPECT_EQ(f.label10, "110");
  EXPECT_EQ(f.label11, run.result.workbookPath);
  EXPECT_NEAR(std::stod(f.label12), 0.0032, 1e-15);  // decimal text: 15 digits
  EXPECT_EQ(f.label13, "4");
}

TEST(ProcessField, permissible_error_lines_of_the_rule) {
  auto longSetup = [](const std::string& d) {
    return Lines({StartLine()}) + SetupBffb("A", "B", 1.0, 1.0, 1.0, 1.0, d, d, d, d);
  };
  EXPECT_EQ(RunOf(longSetup("625")).workbook.Get(16, kFs2).text,
            "The Permissible Error is     4.47 mm");
  EXPECT_EQ(RunOf(longSetup("1250"), false, "E10\r\n").workbook.Get(16, kFs2).text,
            "The Permissible Error is     15.81 mm");
  // No error factor: "0.00" and the bare rule in the header.
  RunOf none(longSetup("625"), false, "YX\r\n");
  EXPECT_EQ(none.workbook.Get(16, kFs2).text, "The Permissible Error is     0.00 mm");
  EXPECT_EQ(none.workbook.Get(4, 1).text, "Leveling Error Seleceted - SQRT(k)");
}

TEST(ProcessField, the_level_data_records_of_the_worked_example) {
  RunOf run(
      Lines({StartLine()}) +
      SetupBffb("BM1", "TP1", 1.23456, 1.23456, 0.65432, 0.65432, "24.7", "24.7", "25.1", "25.1") +
      SetupBffb("TP1", "TP2", 0.5, 0.5, 1.6, 1.6, "9.9", "9.9", "10.3", "10.3"));
  EXPECT_EQ(run.levelData, LevelDataHeader() +
                               "L  BM1-TP1                             0.58024   49   'BM1\r\n"
                               "L  TP1-TP2                            -1.10000   20   'BM1\r\n");
  EXPECT_EQ(Num(run.workbook, 13, kFall), 1.1);
}

TEST(ProcessField, every_order_of_the_four_readings_and_every_line_end_agree) {
  const std::string a1 = ReadingLine("A", "Rb", 1.5, "20.0"),
                    a2 = ReadingLine("A", "Rb", 1.50002, "20.2");
  const std::string b1 = ReadingLine("B", "Rf", 1.2, "21.0"),
                    b2 = ReadingLine("B", "Rf", 1.20004, "21.2");
  const std::string c1 = ReadingLine("B", "Rb", 0.9, "30.0"),
                    c2 = ReadingLine("B", "Rb", 0.90001, "30.1");
  const std::string d1 = ReadingLine("C", "Rf", 2.2, "31.0"),
                    d2 = ReadingLine("C", "Rf", 2.20003, "31.3");
  auto file = [&](const std::string& end, bool fbbf) {
    return Lines({StartLine(), HeightLine("A", "10.00000"), a1, b1, b2, a2}, end) +
           (fbbf ? Lines({d1, c1, c2, d2}, end) : Lines({c1, d1, c2, d2}, end));
  };
  RunOf reference(file("\r\n", false));
  for (const auto& variant :
       {file("\n", false), file("\r", false), file("\r\n", true),
        Lines({StartLine(), HeightLine("A", "10.00000"), a1, a2, b1, b2, c1, c2, d1, d2}),
        Lines({StartLine(), HeightLine("A", "10.00000"), a1, b1, a2, b2, d1, c1, d2, c2})}) {
    RunOf run(variant);
    EXPECT_EQ(run.levelData, reference.levelData);
    EXPECT_TRUE(run.result.warnings.empty()) << run.result.warnings[0].message;
    for (int row = 1; row <= 20; ++row)
      for (int column = 1; column <= 14; ++column)
        EXPECT_EQ(run.workbook.Get(row, column), reference.workbook.Get(row, column))
            << "row " << row << " column " << column;
  }
  EXPECT_EQ(reference.result.setups, 2);
}

TEST(ProcessField, a_dropped_set_up_leaves_no_trace_and_is_reported) {
  RunOf run(
      Lines({StartLine(), ReadingLine("A", "Rb", 1.0, "10"), ReadingLine("A", "Rb", 1.0, "10"),
             ReadingLine("A", "Rb", 1.0, "10"), ReadingLine("B", "Rf", 1.0, "10")}) +
      SetupBffb("X", "Y", 1.5, 1.5, 1.0, 1.0, "5", "5", "6", "6"));
  EXPECT_EQ(run.result.setups, 1);
  EXPECT_EQ(run.workbook.Get(10, kRef).text, "X");
  EXPECT_TRUE(run.workbook.Get(11, kDist2).IsEmpty() == false);
  EXPECT_EQ(run.workbook.Get(12, kFs2).text, "Summation of Readings");
  ASSERT_EQ(run.result.warnings.size(), 1u);
  EXPECT_EQ(run.result.warnings[0].line, 2);
  EXPECT_NE(run.result.warnings[0].message.find("dropped"), std::string::npos);
  // FirstStation came from the dropped set-up's paired back sight.
  EXPECT_NE(run.levelData.find("'A\r\n"), std::string::npos);
}

TEST(ProcessField, a_file_without_line_start_gets_a_heading_and_a_warning) {
  RunOf run(SetupBffb("A", "B", 1.5, 1.5, 1.0, 1.0, "5", "5", "6", "6") +
            Lines({ReadingLine("C", "Rb", 1.0, "1")}));
  EXPECT_EQ(run.workbook.Get(4, 1).text, "Leveling Error Seleceted - 4SQRT(k)");
  EXPECT_EQ(run.workbook.Get(9, kCalRl).text, "Cal. RL");
  EXPECT_EQ(run.workbook.Get(10, kRef).text, "A");
  EXPECT_EQ(Num(run.workbook, 10, kCalRl), 0.0);  // no height record: from 0
  ASSERT_EQ(run.result.warnings.size(), 2u);
  EXPECT_EQ(run.result.warnings[0].line, 1);
  EXPECT_EQ(run.result.warnings[1].line, 5);  // the left-over reading
}

TEST(ProcessField, a_second_line_starts_again_from_the_start_rl) {
  RunOf run(Lines({StartLine(), HeightLine("A", "100.00000")}) +
            SetupBffb("A", "B", 1.5, 1.5, 1.0, 1.0, "5", "5", "6", "6") +
            Lines({HeightLine("B", "100.50000"), StartLine(), HeightLine("K", "20.00000")}) +
            SetupBffb("K", "L", 1.0, 1.0, 1.25, 1.25, "7", "7", "8", "8") +
            Lines({HeightLine("L", "19.75000")}));
  const Workbook& w = run.workbook;
  EXPECT_EQ(w.Get(17, kCalRl).text, "Cal. RL");  // heading at 15 + 2n with n = 1
  EXPECT_EQ(Num(w, 18, kCalRl), 20.0);
  EXPECT_EQ(run.result.firstDataRow, 18);
  EXPECT_EQ(run.result.startRl, "20.00000");  // not the end height after it
  EXPECT_EQ(run.result.startReference, "K");
  EXPECT_EQ(run.result.endReference, "L");
  EXPECT_EQ(run.result.totalDistance, 26.0);
  EXPECT_TRUE(w.Get(10, kAdjRl).IsEmpty());  // earlier lines get no Adj. RL
}

TEST(ProcessField, refused_input_writes_nothing) {
  AppFixture fixture;
  Answer answer;
  const std::string field = fixture.AddFieldFile("L.dat", Lines({StartLine()}));
  ProcessField(field, fixture.app, answer);
  const std::string workbook = ReadFile(fixture.app.ProcessedWorkbook("L"));
  const std::string level = ReadFile(fixture.app.LevelDataFile("L"));
  // A missing field file named like the processed one.
  EXPECT_THROW(ProcessField(fixture.app.FieldData() + "/L.DAT", fixture.app, answer), Error);
  std::filesystem::create_directory(fixture.app.FieldData() + "/L.dir");
  EXPECT_THROW(ProcessField(fixture.app.FieldData() + "/L.dir", fixture.app, answer), Error);
  EXPECT_THROW(ProcessField(fixture.app.FieldData() + "/.dat", fixture.app, answer), Error);
  EXPECT_EQ(ReadFile(fixture.app.ProcessedWorkbook("L")), workbook);
  EXPECT_EQ(ReadFile(fixture.app.LevelDataFile("L")), level);
  EXPECT_EQ(ListFolder(fixture.app.StarNetFolder()), "SN_L.dat;");
  std::filesystem::remove(fixture.app.ControlFile());
  try {
    ProcessField(field, fixture.app, answer);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.File(), fixture.app.ControlFile());
  }
}

TEST(ProcessField, an_output_that_cannot_be_written_is_a_failure_not_success) {
  AppFixture fixture;
  Answer answer;
  WriteFile(fixture.app.ProcessedFiles(), "a file in the folder's place");
  const std::string field = fixture.AddFieldFile("L.dat", Lines({StartLine()}));
  auto result = ProcessField(field, fixture.app, answer);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_NE(result.failures[0].find("Processed Files"), std::string::npos) << result.failures[0];
  EXPECT_TRUE(std::filesystem::exists(result.levelDataPath));
}

TEST(BaseName, strips_the_last_extension_only) {
  EXPECT_EQ(BaseNameOf("/x/LINE7.dat"), "LINE7");
  EXPECT_EQ(BaseNameOf("D:\\x\\ab.data"), "ab");
  EXPECT_EQ(BaseNameOf("/x/a.b.c"), "a.b");
  EXPECT_EQ(BaseNameOf("/x/README"), "README");
  EXPECT_EQ(BaseNameOf("/x/.dat"), "");
  EXPECT_EQ(BaseNameOf("line"), "line");
}

TEST(ProcessField, an_unpaired_back_sight_writes_no_record_of_another_set_up) {
  RunOf run(Lines({StartLine()}) + SetupBffb("A", "B", 1.5, 1.5, 1.0, 1.0, "5", "5", "6", "6") +
            Lines({ReadingLine("B", "Rb", 1.2, "7"), ReadingLine("C", "Rf", 1.1, "8"),
                   ReadingLine("C", "Rf", 1.1, "8"), ReadingLine("X", "Rb", 1.2, "7")}));
  EXPECT_EQ(run.result.setups, 2);
  // One record only: the second set-up has no back-sight pair.
  EXPECT_EQ(run.Records(), "L  A-B" + std::string(23 + 10, ' ') + "0.50000   11   'A\r\n");
  EXPECT_TRUE(run.workbook.Get(12, kAveBs).IsEmpty());
  EXPECT_EQ(Num(run.workbook, 13, kFall), 1.1);  // the back sight counts as 0
  ASSERT_EQ(run.result.warnings.size(), 1u);
  EXPECT_EQ(run.result.warnings[0].line, 6);
}

TEST(ProcessField, point_ids_keep_the_field_files_bytes_in_the_level_data_file) {
  // "BMé" written by a level in Windows-1252: one byte E9.
  RunOf run(Lines({StartLine()}) +
            SetupBffb("BM\xe9", "TP1", 1.5, 1.5, 1.2, 1.2, "20", "20", "21", "21"));
  EXPECT_EQ(run.workbook.Get(10, kRef).text, "BM\xc3\xa9");  // the workbook holds UTF-8
  EXPECT_EQ(run.Records(),
            "L  BM\xe9-TP1" + std::string(23 + 6, ' ') + "0.30000   41   'BM\xe9\r\n");
}

TEST(ProcessField, a_sight_without_distance_does_not_end_the_closure_walk) {
  RunOf run(Lines({StartLine(), HeightLine("A", "10.00000")}) +
            SetupBffb("A", "B", 1.5, 1.5, 1.0, 1.0, "5", "5", "6", "6") +
            SetupBffb("B", "C", 1.5, 1.5, 1.0, 1.0, "0", "0", "6", "6") +
            SetupBffb("C", "A", 1.0, 1.0, 1.99, 1.99, "5", "5", "6", "6"));
  const Workbook& w = run.workbook;
  EXPECT_EQ(Num(w, 12, kDist1), 0.0);
  EXPECT_EQ(w.Get(16, kFs2).text, "Summation of Readings");
  EXPECT_EQ(w.Get(19, kFs2).text, "The Calculated Misclose is -10.00 mm");
  EXPECT_NEAR(Num(w, 15, kAdjRl), 10.0, 1e-9);  // the whole line is adjusted
  EXPECT_EQ(Num(w, 14, kAdjRl), Num(w, 13, kAdjRl));
}

// A reading without point id that arrives as a set-up's fourth reading
// completes that set-up: only this set-up is lost, the framing of all later
// readings is kept.
TEST(ProcessField, a_fourth_reading_without_point_id_costs_only_its_own_set_up) {
  examples::SimulationOptions options;
  options.setupsPerLine = 10;
  const std::string reference = examples::SimulateFieldFile(options);
  std::string damaged = reference;
  int readings = 0;
  long damagedLine = 0, number = 0;
  for (std::size_t at = 0; at < damaged.size(); at = damaged.find('\n', at) + 1) {
    ++number;
    if (damaged.compare(at + 17, 3, "KD1") == 0 &&
        (damaged.compare(at + 49, 2, "Rb") == 0 || damaged.compare(at + 49, 2, "Rf") == 0) &&
        ++readings == 16) {
      damaged.replace(at + 20, 9, std::string(9, ' '));
      damagedLine = number;
      break;
    }
  }
  ASSERT_GT(damagedLine, 0);
  RunOf good(reference), run(damaged);
  EXPECT_EQ(good.result.survey.SetupCount(), 10);
  EXPECT_EQ(run.result.survey.SetupCount(), 9);
  // Nine records, those of the good file without the fourth set-up's.
  std::vector<std::string> goodRecords, records;
  for (auto* split : {&goodRecords, &records}) {
    const std::string text = (split == &goodRecords ? good : run).Records();
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1)
      split->push_back(text.substr(at, text.find('\n', at) - at));
  }
  goodRecords.erase(goodRecords.begin() + 3);
  EXPECT_EQ(records, goodRecords);
  for (int setup = 0; setup < 10; ++setup) {
    if (setup == 3) continue;
    const int foreRow = 11 + 2 * setup;
    for (int column : {kAveFs, kRise, kFall})
      EXPECT_EQ(run.workbook.Get(foreRow, column), good.workbook.Get(foreRow, column))
          << "set-up " << setup + 1;
  }
  bool named = false;
  for (const auto& w : run.result.warnings) named = named || w.line == damagedLine;
  EXPECT_TRUE(named);
}
