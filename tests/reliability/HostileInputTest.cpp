// Field files a surveyor should never have to send, and what becomes of
// them: a clear refusal or valid outputs, never a crash.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "common/Error.h"
#include "examples/GsiFileWriter.h"
#include "output/Workbook.h"
#include "report/ProcessField.h"
#include "tests/support/Cli.h"
#include "tests/support/Clients.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;
using ::testing::HasSubstr;

// Picking the wrong file must not cost the earlier report of that name:
// a file in which nothing is a field record, a missing one, a folder, a
// name without base name or a missing control file is refused before any
// output is touched.
TEST(HostileInput, refused_input_keeps_the_earlier_outputs) {
  AppFixture fixture;
  const std::string reading = ReadingLine("A", "Rb", 1.0, "5");
  auto good = fixture.Process("H.dat", StartLine() + "\r\n" + HeightLine("A", "10.00000") + "\r\n" +
                                           SetupLines("A", "B", 1.5, 1.5, 1.2, 1.2));
  ASSERT_TRUE(good.failures.empty());
  auto outputs = [&] {
    return ReadFile(good.workbookPath) + ReadFile(good.levelDataPath) +
           ListFolder(fixture.app.ProcessedFiles()) + ListFolder(fixture.app.StarNetFolder());
  };
  const std::string before = outputs();
  auto refused = [&](auto process, const std::string& cause) {
    EXPECT_THAT(process, ::testing::ThrowsMessage<Error>(HasSubstr(cause)));
    EXPECT_EQ(outputs(), before) << cause;
  };
  std::string binary;
  for (int i = 0; i < 200000; ++i) binary.push_back(static_cast<char>((i * 7919) % 256));
  std::string utf16;
  for (char c : StartLine() + "\r\n" + reading) utf16 += std::string{c, '\0'};
  for (const std::string& content :
       {std::string(), binary, std::string(10 << 20, 'x'), std::string(4096, '\0'), utf16,
        HeightLine("A", "100.000") + "\r\n"})
    refused([&] { fixture.Process("H.dat", content); }, "nothing in it is a record");
  // Files of other layouts are named for what they are.
  refused(
      [&] { fixture.Process("H.dat", "Start-Line BFFB 101\r\n  2  BM1  Rb 2.384 HD 23.21\r\n"); },
      "in the older REC 500 format; export the job from the level (or its transfer program) "
      "as M5");
  refused([&] { fixture.Process("H.dat", "110001+0000A110 21.322+18000000 22.322+09000000 \r\n"); },
          "a total station's GSI file (angles, words 21 and 22), not levelling");
  std::filesystem::create_directory(fixture.app.FieldData() + "/H.dir");
  for (const char* name : {"H.DAT", "H.dir", ".dat"})
    refused([&] { ProcessField(fixture.app.FieldData() + "/" + name, fixture.app); },
            fixture.app.FieldData() + "/" + name);
  std::filesystem::remove(fixture.app.ControlFile());
  refused([&] { fixture.Process("H.dat", StartLine()); }, fixture.app.ControlFile());
  // Records that give no set-up of the double run would leave empty
  // outputs in place of these: a lone reading (a record all the same), a
  // line the level measured single-run, set-ups cut short.
  WriteFile(fixture.app.ControlFile(), "E4\r\n");
  refused(
      [&] { fixture.Process("H.dat", std::string(17, ' ') + "KD1" + std::string(29, ' ') + "Rb"); },
      "H.dat: reduce the double run (its one reading makes no set-up");
  const std::string gsiSetup =
      "*110010+000000000000000A 32...8+0000000002000000 331.08+0000000000150000 \n"
      "*110011+000000000000000B 32...8+0000000002100000 332.08+0000000000120000 \n";
  refused(
      [&] {
        fixture.Process(
            "H.dat",
            "*410001+00000000?......2 \n*110010+000000000000000A 333.08+0000000000150000 \n");
      },
      "its one reading is of a single-run line or an intermediate sight");
  refused([&] { fixture.Process("H.dat", "*410001+00000000?......2 \n" + gsiSetup); },
          "none of its 2 readings makes a set-up with both sights read twice");
}

TEST(HostileInput, point_ids_with_markup_and_control_characters_give_valid_workbooks) {
  if (!OnPath("xmllint") || !OnPath("soffice")) GTEST_SKIP() << "xmllint or soffice missing";
  AppFixture fixture("Y<Ac&me> \"Levels\"\x01\r\nP\xe9quipe\x0b\r\nE4\r\n");
  std::string field = StartLine() + "\r\n";
  for (const char* id : {"<b>&amp;", "A\x01\x1f", "_x0041_", "\xe9t\xe9", "]]>", "\xEF\xBF\xBE"})
    field += SetupLines(id, std::string("F") + id, 1.5, 1.5, 1.0, 1.0);
  auto result = fixture.Process("H.dat", field);
  ASSERT_TRUE(result.failures.empty());
  EXPECT_EQ(result.survey.SetupCount(), 6);
  const Workbook w = Workbook::Open(result.workbookPath);
  EXPECT_EQ(w.Get(1, 1).text, "<Ac&me> \"Levels\"\x01");
  EXPECT_EQ(w.Get(3, 1).text, "Survey carried out by    - équipe\x0b");
  EXPECT_EQ(w.Get(12, 1).text, "A\x01\x1f");
  EXPECT_EQ(w.Get(14, 1).text, "_x0041_");
  EXPECT_EQ(w.Get(16, 1).text, "été");

  TempFolder out;
  EXPECT_EQ(PartsXmllintRefuses(ReadFile(result.workbookPath), out.Path()), "");
  EXPECT_EQ(Missing(ReadFile(Convert(out.Path(), result.workbookPath, "csv")),
                    {"Summation of Readings", "<b>&amp;", "The Calculated Misclose is"}),
            "");
}

TEST(HostileInput, long_control_file_values_reach_the_header) {
  AppFixture fixture("Y" + std::string(32766, 'n') + "\r\nP" + std::string(40000, 'p') +
                     "\r\nE4\r\n");
  auto result =
      fixture.Process("H.dat", StartLine() + "\r\n" + SetupLines("A", "B", 1.5, 1.5, 1.2, 1.2));
  // The personnel line would pass the cell limit: it is cut, and said so.
  const Workbook w = Workbook::Open(result.workbookPath);
  EXPECT_EQ(w.Get(1, 1).text, std::string(32766, 'n'));
  EXPECT_EQ(w.Get(3, 1).text.size(), 32767u);
  ASSERT_EQ(result.warnings.size(), 2u);  // the personnel name; the file holds no reading
  EXPECT_NE(result.warnings[0].message.find("personnel name"), std::string::npos);
}

// A GSI job damaged one line at a time: truncated words and "*" lines of any
// length, data longer than its field, a unit that is no digit, NUL bytes.
// Every set-up reduced is one of the undamaged job's, and at most the
// damaged set-up is lost.
TEST(HostileInput, damaged_gsi_blocks_never_enter_a_false_reading) {
  AppFixture fixture;
  auto setups = [&](const std::string& content) {
    const ProcessResult result = fixture.Process("G.gsi", content);
    std::set<std::string> keys;
    for (const auto& line : result.survey.lines)
      for (const auto& s : line.setups)
        keys.insert(s.back->point + ">" + s.fore.point + " " + DecimalText(s.Bs1()) + " " +
                    DecimalText(s.Bs2()) + " " + DecimalText(s.Fs1()) + " " + DecimalText(s.Fs2()));
    EXPECT_EQ(result.survey.SetupCount(), static_cast<long>(keys.size()));  // no half-paired
    return keys;
  };
  const std::string dini = examples::SimulateFieldFile({.seed = 5, .lines = 2, .setupsPerLine = 4});
  for (auto width : {examples::GsiWidth::Gsi16, examples::GsiWidth::Gsi8}) {
    const std::string clean = examples::GsiFromDini(dini, width);
    const std::set<std::string> all = setups(clean);
    ASSERT_EQ(all.size(), 8u);
    for (std::size_t at = 0, end; (end = clean.find('\n', at)) != std::string::npos; at = end + 1) {
      const std::string line = clean.substr(at, end - at);
      std::string grown = line, unit = line, nul = line;
      grown.insert(grown.find('+', 9) + 1, "0");
      for (std::size_t u = unit.find("8+"); u != std::string::npos; u = unit.find("8+", u))
        unit[u] = 'x';
      nul[nul.size() / 2] = '\0';
      for (const std::string& bad :
           {line.substr(0, 7), line.substr(0, line.size() / 2), line.substr(0, line.size() - 3),
            grown, unit, nul, std::string(1, '\0') + line}) {
        const std::set<std::string> got = setups(clean.substr(0, at) + bad + clean.substr(end));
        EXPECT_TRUE(std::includes(all.begin(), all.end(), got.begin(), got.end())) << bad;
        EXPECT_GE(got.size(), all.size() - 1) << bad;
      }
    }
  }
}

// A template whose shared strings would inflate far beyond any real one is
// refused before they are inflated.
TEST(HostileInput, a_template_that_inflates_beyond_the_cap_is_refused) {
  AppFixture fixture;
  Parts parts = PartsOf(ReadFile(fixture.app.Template()));
  EditPart(parts, "xl/_rels/workbook.xml.rels", "</Relationships>",
           "<Relationship Id=\"rId9\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
           "2006/relationships/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>");
  SetPart(parts, "xl/sharedStrings.xml",
          "<sst><si><t>" + std::string((64 << 20) + 1, 'x') + "</t></si></sst>");
  WriteFile(fixture.app.Template(), xlsx::BuildPackage(parts));
  EXPECT_THAT([&] { fixture.Process("H.dat", StartLine() + "\r\n"); },
              ::testing::ThrowsMessage<Error>(
                  HasSubstr("xl/sharedStrings.xml inflates to more than 64 MiB")));
}

// The longest base name whose output names fit in the 255 bytes of a file
// name gives both outputs; one byte more is refused before any output.
TEST(HostileInput, base_names_at_the_file_name_limit) {
  AppFixture fixture;
  const std::string base(248, 'n');
  const std::string field = StartLine() + "\r\n" + SetupLines("A", "B", 1.5, 1.5, 1.2, 1.2);
  fixture.Process(base + ".dat", field);
  EXPECT_THAT([&] { fixture.Process(base + "n.dat", field); },
              ::testing::ThrowsMessage<Error>(HasSubstr("too long for the level data file")));
  EXPECT_EQ(ListFolder(fixture.app.ProcessedFiles()) + ListFolder(fixture.app.StarNetFolder()),
            base + ".xlsx;SN_" + base + ".dat;");
}

// Memory bounded as a batch job bounds it (ulimit -v): a file without line
// ends many times the bound is refused, a report that needs more than the
// bound ends with a reported failure. Either way the earlier outputs stay
// and no temporary file is left.
TEST(HostileInput, memory_bounded_runs_end_with_a_reported_failure_and_lose_nothing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the bound";
#endif
  AppFixture fixture;
  const auto earlier = fixture.Process("H.dat", examples::SimulateFieldFile({.seed = 5}));
  const std::string field = fixture.app.FieldData() + "/H.dat";
  auto outputs = [&] {
    return ReadFile(earlier.workbookPath) + ReadFile(earlier.levelDataPath) +
           ListFolder(fixture.app.root) + ListFolder(fixture.app.ProcessedFiles()) +
           ListFolder(fixture.app.StarNetFolder());
  };
  const std::string before = outputs();
  for (const int status : {2, 1}) {  // refused, then failed
    WriteFile(field, status == 2 ? "" : examples::SimulateFieldFile({.setupsPerLine = 40000}));
    if (status == 2) std::filesystem::resize_file(field, 256u << 20);
    const Outcome o = RunCli("process " + Quote(field) + " --home " + Quote(fixture.app.root),
                             "ulimit -v 48000 && ");
    EXPECT_EQ(o.status, status) << o.err;
    EXPECT_THAT(o.err, HasSubstr(status == 2 ? "nothing in it is a record" : "not enough memory"));
    EXPECT_EQ(outputs(), before);
  }
}
