// The settings commands of the menus: the company and personnel names asked
// for in an input box, and the error factor chosen from its menu group.
#pragma once

#include <string>

#include "common/AppFolder.h"
#include "common/FileSystem.h"

namespace vireo {

// The modal input box: returns the typed text, or "" on Cancel.
class InputBoxPrompter {
 public:
  virtual ~InputBoxPrompter() = default;
  virtual std::string Ask(const std::string& prompt, const std::string& title,
                          const std::string& initialText) = 0;
};

struct TextSettingCommand {
  char key;
  const char* prompt;
  const char* title;
};

inline constexpr TextSettingCommand kCompanyNameCommand{'Y', "What is your Company Name?",
                                                        "Company Name Input"};
inline constexpr TextSettingCommand kPersonnelNameCommand{
    'P', "Who is site Personnel that carried out the survey?", "Personnel Name Input"};

// The company name ("Y") and the personnel name ("P"). An empty value, or
// one equal to the current value, writes nothing. Returns whether the file
// was rewritten. Throws Error.
bool SetCompanyName(const AppFolder& app, const std::string& name,
                    FileSystem& fs = RealFileSystem());
bool SetPersonnelName(const AppFolder& app, const std::string& name,
                      FileSystem& fs = RealFileSystem());

// Asks with the current value as initial text and sets the answer as above.
bool RunTextSettingCommand(const TextSettingCommand& command, InputBoxPrompter& prompter,
                           const AppFolder& app, FileSystem& fs = RealFileSystem());

// The error factor items: 2, 4, 6, 8 or 10; rewrites "E" with "E" + factor.
bool IsErrorFactorChoice(int factor);
void ChooseErrorFactor(int factor, const AppFolder& app, FileSystem& fs = RealFileSystem());

}  // namespace vireo
