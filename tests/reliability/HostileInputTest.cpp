// Field files a surveyor should never have to send, and what becomes of
// them: a clear refusal or valid outputs, never a crash.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/Error.h"
#include "output/Workbook.h"
#include "reduction/ProcessField.h"
#include "settings/ControlFile.h"
#include "tests/output/ZipPackage.h"
#include "tests/support/FieldFiles.h"

using namespace vireo;
using namespace vireo::testing;

namespace {

class Silent : public RunSurroundings {};

bool HaveTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

ProcessResult RunOn(const AppFixture& fixture, const std::string& content) {
  Silent silent;
  return ProcessField(fixture.AddFieldFile("H.dat", content), fixture.app, silent);
}

}  // namespace

// Picking the wrong file must not cost the earlier report of that name:
// a file in which nothing is a field record is refused before any output.
TEST(HostileInput, files_that_hold_no_field_record_are_refused_and_keep_earlier_outputs) {
  AppFixture fixture;
  const std::string reading = ReadingLine("A", "Rb", 1.0, "5");
  auto good = RunOn(fixture, StartLine() + "\r" + reading + "\r" + reading + "\r");
  ASSERT_TRUE(good.failures.empty());
  const std::string workbook = ReadFile(good.workbookPath);
  const std::string levelData = ReadFile(good.levelDataPath);
  const std::string files =
      ListFolder(fixture.app.ProcessedFiles()) + ListFolder(fixture.app.StarNetFolder());

  std::string binary;
  for (int i = 0; i < 200000; ++i) binary.push_back(static_cast<char>((i * 7919) % 256));
  std::string utf16;
  for (char c : StartLine() + "\r\n" + reading) utf16 += std::string{c, '\0'};
  for (const std::string& content :
       {std::string(), binary, std::string(10 << 20, 'x'), std::string(4096, '\0'), utf16,
        HeightLine("A", "100.000") + "\r\n"}) {
    try {
      RunOn(fixture, content);
      ADD_FAILURE() << "accepted a file of " << content.size() << " bytes";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("nothing in it is a record"), std::string::npos);
    }
    EXPECT_EQ(ReadFile(good.workbookPath), workbook);
    EXPECT_EQ(ReadFile(good.levelDataPath), levelData);
    EXPECT_EQ(ListFolder(fixture.app.ProcessedFiles()) + ListFolder(fixture.app.StarNetFolder()),
              files);
  }
  // A single reading record at its columns is a field file.
  EXPECT_NO_THROW(RunOn(fixture, std::string(17, ' ') + "KD1" + std::string(29, ' ') + "Rb"));
}

TEST(HostileInput, point_ids_with_markup_and_control_characters_give_valid_workbooks) {
  if (!HaveTool("xmllint") || !HaveTool("soffice")) GTEST_SKIP() << "xmllint or soffice missing";
  AppFixture fixture("Y<Ac&me> \"Levels\"\x01\r\nP\xe9quipe\x0b\r\nE4\r\n");
  std::string field = StartLine() + "\r\n";
  for (const char* id : {"<b>&amp;", "A\x01\x1f", "_x0041_", "\xe9t\xe9", "]]>", "\xEF\xBF\xBE"}) {
    field += ReadingLine(id, "Rb", 1.5, "10") + "\r\n" +
             ReadingLine(std::string("F") + id, "Rf", 1.0, "10") + "\r\n" +
             ReadingLine(std::string("F") + id, "Rf", 1.0, "10") + "\r\n" +
             ReadingLine(id, "Rb", 1.5, "10") + "\r\n";
  }
  auto result = RunOn(fixture, field);
  ASSERT_TRUE(result.failures.empty());
  EXPECT_EQ(result.setups, 6);
  const Workbook w = Workbook::Open(result.workbookPath);
  EXPECT_EQ(w.Get(1, 1).text, "<Ac&me> \"Levels\"\x01");
  EXPECT_EQ(w.Get(3, 1).text, "Survey carried out by    - équipe\x0b");
  EXPECT_EQ(w.Get(12, 1).text, "A\x01\x1f");
  EXPECT_EQ(w.Get(14, 1).text, "_x0041_");
  EXPECT_EQ(w.Get(16, 1).text, "été");

  TempFolder out;
  std::filesystem::create_directory(out / "parts");
  int part = 0;
  std::string names;
  for (const auto& [name, content] : vireo::test::Entries(ReadFile(result.workbookPath))) {
    if (name.size() < 4 ||
        (name.substr(name.size() - 4) != ".xml" && name.substr(name.size() - 5) != ".rels"))
      continue;
    const std::string file = out / ("parts/" + std::to_string(++part) + ".xml");
    WriteFile(file, content);
    names += " '" + file + "'";
  }
  EXPECT_GE(part, 5);
  EXPECT_EQ(std::system(("xmllint --noout" + names).c_str()), 0);
  const std::string convert = "cd '" + out.Path() + "' && soffice -env:UserInstallation=file://" +
                              out.Path() + "/profile --headless --convert-to csv '" +
                              result.workbookPath + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(convert.c_str()), 0);
  const std::string csv = ReadFile(out / "H.csv");
  EXPECT_NE(csv.find("Summation of Readings"), std::string::npos) << csv;
  EXPECT_NE(csv.find("<b>&amp;"), std::string::npos);
  EXPECT_NE(csv.find("The Calculated Misclose is"), std::string::npos);
}

TEST(HostileInput, long_control_file_values_reach_the_header) {
  AppFixture fixture("Y" + std::string(32766, 'n') + "\r\nP" + std::string(40000, 'p') +
                     "\r\nE4\r\n");
  auto result = RunOn(fixture, StartLine() + "\r\n");
  // The personnel line would pass the cell limit: it is cut, and said so.
  const Workbook w = Workbook::Open(result.workbookPath);
  EXPECT_EQ(w.Get(1, 1).text, std::string(32766, 'n'));
  EXPECT_EQ(w.Get(3, 1).text.size(), 32767u);
  ASSERT_EQ(result.warnings.size(), 2u);  // the personnel name; the file holds no reading
  EXPECT_NE(result.warnings[0].message.find("personnel name"), std::string::npos);
}
