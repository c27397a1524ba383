#include <gtest/gtest.h>

#include "common/Error.h"
#include "settings/ControlFile.h"
#include "settings/SettingsCommands.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/TempFolder.h"

using vireo::testing::ReadFile;
using vireo::testing::TempFolder;
using vireo::testing::WriteFile;

namespace {

class ScriptedInputBox : public vireo::InputBoxPrompter {
 public:
  explicit ScriptedInputBox(std::string answer) : answer_(std::move(answer)) {}
  std::string Ask(const std::string& prompt, const std::string& title,
                  const std::string& initial) override {
    asked = prompt + "|" + title + "|" + initial;
    return answer_;
  }
  std::string asked;

 private:
  std::string answer_;
};

struct ControlFolder {
  TempFolder folder;
  vireo::AppFolder app{folder.Path()};
  explicit ControlFolder(const std::string& content) { WriteFile(app.ControlFile(), content); }
  std::string Content() const { return ReadFile(app.ControlFile()); }
};

}  // namespace

TEST(ControlFile, last_line_of_a_key_wins_and_values_are_untrimmed) {
  const std::string text = "YNorth Survey\r\nE 4\r\nP\r\nySouth\r\nYSouth Survey  \r\n";
  EXPECT_EQ(vireo::ValueFromControlText(text, 'Y'), "South Survey  ");
  EXPECT_EQ(vireo::ValueFromControlText(text, 'E'), " 4");
  EXPECT_EQ(vireo::ValueFromControlText(text, 'P'), "");
  EXPECT_EQ(vireo::ValueFromControlText(text, 'y'), "South");
  EXPECT_EQ(vireo::ValueFromControlText("", 'Y'), "");
  EXPECT_EQ(vireo::ValueFromControlText("E2\rE8", 'E'), "8");  // lone CR ends a line too
}

TEST(ControlFile, rewrite_replaces_every_line_of_the_key_and_copies_the_rest) {
  EXPECT_EQ(vireo::RewriteControlText("YNorth\r\n x\r\nYSouth\nE4", 'Y', "YEast"),
            "YEast\r\n x\r\nYEast\r\nE4\r\n");
  // A key on no line is appended, so the new setting is not lost.
  EXPECT_EQ(vireo::RewriteControlText("YA\r\nE4\r\n", 'P', "PJo"), "YA\r\nE4\r\nPJo\r\n");
  EXPECT_EQ(vireo::RewriteControlText("", 'E', "E6"), "E6\r\n");
  // Bytes of other lines stay as they are, also outside ASCII.
  EXPECT_EQ(vireo::RewriteControlText("Y\xe9t\xe9\r\n\r\nE4", 'E', "E2"),
            "Y\xe9t\xe9\r\n\r\nE2\r\n");
}

TEST(ControlFile, a_missing_file_is_an_error_that_names_it) {
  TempFolder folder;
  vireo::AppFolder app{folder.Path()};
  try {
    vireo::ReadSettings(app);
    FAIL();
  } catch (const vireo::Error& e) {
    EXPECT_EQ(e.File(), app.ControlFile());
    EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos);
  }
}

TEST(ControlFile, an_interrupted_rewrite_leaves_the_file_as_it_was) {
  const std::string before = "YNorth\r\nPAnn\r\nE4\r\n";
  long operations = 0;
  for (long k = 1;; ++k) {
    ControlFolder control(before);
    vireo::testing::FaultyFileSystem fs(k);
    try {
      vireo::RewriteControlFile(control.app, 'E', "E8", fs);
    } catch (const vireo::Error&) {
    }
    if (!fs.Failed()) {
      EXPECT_EQ(control.Content(), "YNorth\r\nPAnn\r\nE8\r\n");
      operations = k - 1;
      break;
    }
    EXPECT_EQ(control.Content(), before) << "failure at operation " << k;
    EXPECT_EQ(vireo::testing::ListFolder(control.folder.Path()), "ctlini.dat;") << k;
  }
  EXPECT_GE(operations, 4);  // read, create temp.dat, write, flush, rename
}

TEST(SettingsCommands, empty_or_unchanged_answers_write_nothing) {
  ControlFolder control("YNorth Survey\r\nPAnn\nE4");
  ScriptedInputBox cancel("");
  EXPECT_FALSE(vireo::RunTextSettingCommand(vireo::kCompanyNameCommand, cancel, control.app));
  EXPECT_EQ(cancel.asked, "What is your Company Name?|Company Name Input|North Survey");
  ScriptedInputBox same("North Survey");
  EXPECT_FALSE(vireo::RunTextSettingCommand(vireo::kCompanyNameCommand, same, control.app));
  EXPECT_EQ(control.Content(), "YNorth Survey\r\nPAnn\nE4");  // byte for byte
}

TEST(SettingsCommands, changed_answers_are_stored_as_typed) {
  ControlFolder control("YNorth Survey\r\nPAnn\r\nE4\r\n");
  ScriptedInputBox spaces("   ");
  EXPECT_TRUE(vireo::RunTextSettingCommand(vireo::kPersonnelNameCommand, spaces, control.app));
  EXPECT_EQ(spaces.asked,
            "Who is site Personnel that carried out the survey?|Personnel Name Input|Ann");
  ScriptedInputBox caseOnly("north survey");
  EXPECT_TRUE(vireo::RunTextSettingCommand(vireo::kCompanyNameCommand, caseOnly, control.app));
  EXPECT_EQ(control.Content(), "Ynorth survey\r\nP   \r\nE4\r\n");
  EXPECT_EQ(vireo::ReadControlValue(control.app, 'P'), "   ");
}

TEST(SettingsCommands, error_factor_items_rewrite_every_e_line) {
  ControlFolder control("E2\r\nYX\r\nE3\r\n");
  vireo::ChooseErrorFactor(8, control.app);
  EXPECT_EQ(control.Content(), "E8\r\nYX\r\nE8\r\n");
  vireo::ChooseErrorFactor(10, control.app);
  EXPECT_EQ(vireo::ReadSettings(control.app).errorFactor, "10");
  EXPECT_THROW(vireo::ChooseErrorFactor(3, control.app), vireo::Error);
}

TEST(SettingsCommands, an_answer_with_a_line_break_is_refused_and_nothing_is_written) {
  // Stored as typed, "Acme\rE99" would become a company line and an error
  // factor line of its own at the next read.
  ControlFolder control("YNorth Survey\r\nPAnn\r\nE4\r\n");
  for (const char* answer : {"Acme\rE99", "Bob\nYHijacked", "x\r\n"}) {
    ScriptedInputBox box(answer);
    try {
      vireo::RunTextSettingCommand(vireo::kCompanyNameCommand, box, control.app);
      ADD_FAILURE() << "accepted a line break";
    } catch (const vireo::Error& e) {
      EXPECT_EQ(e.File(), control.app.ControlFile());
      EXPECT_NE(std::string(e.what()).find("line break"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(control.Content(), "YNorth Survey\r\nPAnn\r\nE4\r\n");
}
