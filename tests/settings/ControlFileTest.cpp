// The control file's lines and its rewrite; the settings commands' prompts
// and answers are checked through the window (MainWindowTest).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "common/Error.h"
#include "settings/ControlFile.h"
#include "settings/SettingsCommands.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/TempFolder.h"

using vireo::testing::ReadFile;
using vireo::testing::TempFolder;
using vireo::testing::WriteFile;

namespace {

struct ScriptedInputBox : vireo::InputBoxPrompter {
  explicit ScriptedInputBox(std::string answer) : answer(std::move(answer)) {}
  std::string Ask(const std::string&, const std::string&, const std::string&) override {
    return answer;
  }
  std::string answer;
};

struct ControlFolder {
  TempFolder folder;
  vireo::AppFolder app{folder.Path()};
  explicit ControlFolder(const std::string& content) { WriteFile(app.ControlFile(), content); }
  std::string Content() const { return ReadFile(app.ControlFile()); }
};

}  // namespace

TEST(ControlFile, last_line_of_a_key_wins_and_a_rewrite_copies_every_other_line) {
  // Keys are case-sensitive, values untrimmed, and a lone CR ends a line too.
  const std::string text = "YNorth Survey\r\nE 4\r\nP1\rP\r\nySouth\r\nYSouth Survey  \r\n";
  std::string values;
  for (char key : {'Y', 'E', 'P', 'y', 'Z'}) values += vireo::ValueFromControlText(text, key) + "|";
  EXPECT_EQ(values, "South Survey  | 4||South||");
  EXPECT_EQ(vireo::RewriteControlText("YNorth\r\n x\r\nYSouth\nE4", 'Y', "YEast"),
            "YEast\r\n x\r\nYEast\r\nE4\r\n");
  // A key on no line is appended, so the new setting is not lost; bytes of
  // other lines stay as they are, also outside ASCII.
  EXPECT_EQ(vireo::RewriteControlText("Y\xe9t\xe9\r\n\r\nE4", 'P', "PJo"),
            "Y\xe9t\xe9\r\n\r\nE4\r\nPJo\r\n");
}

// Saved by an editor that writes a UTF-8 byte-order mark, the first line
// is still a setting; a rewrite keeps the mark where it was.
TEST(ControlFile, a_byte_order_mark_is_skipped_and_kept) {
  const std::string text = "\xEF\xBB\xBFYNorth\r\nE4\r\n";
  EXPECT_EQ(vireo::ValueFromControlText(text, 'Y'), "North");
  EXPECT_EQ(vireo::RewriteControlText(text, 'Y', "YEast"), "\xEF\xBB\xBFYEast\r\nE4\r\n");
}

TEST(ControlFile, an_interrupted_rewrite_leaves_the_file_as_it_was) {
  const std::string before = "YNorth\r\nPAnn\r\nE4\r\n";
  std::optional<ControlFolder> control;
  const long operations = vireo::testing::FailEachOperation(
      [&](vireo::FileSystem& fs) {
        control.emplace(before);
        vireo::RewriteControlFile(control->app, 'E', "E8", fs);
        return std::string();
      },
      [&](long k, const std::string&) {
        EXPECT_EQ(control->Content(), before) << "failure at operation " << k;
        EXPECT_EQ(vireo::testing::ListFolder(control->folder.Path()), "ctlini.dat;") << k;
      },
      [&](const std::string&) { EXPECT_EQ(control->Content(), "YNorth\r\nPAnn\r\nE8\r\n"); });
  // Read, create temp.dat, write, flush, rename: as a failing disk and as
  // memory running out.
  EXPECT_GE(operations, 2 * 4);
}

TEST(SettingsCommands, an_answer_with_a_line_break_is_refused_and_nothing_is_written) {
  // Stored as typed, "Acme\rE99" would become a company line and an error
  // factor line of its own at the next read.
  ControlFolder control("YNorth Survey\r\nPAnn\r\nE4\r\n");
  for (const char* answer : {"Acme\rE99", "Bob\nYHijacked", "x\r\n"}) {
    ScriptedInputBox box(answer);
    EXPECT_THAT([&] { vireo::RunTextSettingCommand(vireo::kCompanyNameCommand, box, control.app); },
                ::testing::ThrowsMessage<vireo::Error>(
                    ::testing::AllOf(::testing::StartsWith(control.app.ControlFile() + ": "),
                                     ::testing::HasSubstr("line break"))));
  }
  EXPECT_EQ(control.Content(), "YNorth Survey\r\nPAnn\r\nE4\r\n");
}
