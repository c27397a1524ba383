#include "settings/SettingsCommands.h"

#include "common/Error.h"
#include "settings/ControlFile.h"

namespace vireo {

namespace {

bool SetText(char key, const std::string& current, const std::string& value, const AppFolder& app,
             FileSystem& fs) {
  if (value.empty() || value == current) return false;
  RewriteControlFile(app, key, std::string(1, key) + value, fs);
  return true;
}

}  // namespace

bool SetCompanyName(const AppFolder& app, const std::string& name, FileSystem& fs) {
  return SetText('Y', ReadControlValue(app, 'Y', fs), name, app, fs);
}

bool SetPersonnelName(const AppFolder& app, const std::string& name, FileSystem& fs) {
  return SetText('P', ReadControlValue(app, 'P', fs), name, app, fs);
}

bool RunTextSettingCommand(const TextSettingCommand& command, InputBoxPrompter& prompter,
                           const AppFolder& app, FileSystem& fs) {
  const std::string current = ReadControlValue(app, command.key, fs);
  return SetText(command.key, current, prompter.Ask(command.prompt, command.title, current), app,
                 fs);
}

bool IsErrorFactorChoice(int factor) {
  return factor == 2 || factor == 4 || factor == 6 || factor == 8 || factor == 10;
}

void ChooseErrorFactor(int factor, const AppFolder& app, FileSystem& fs) {
  if (!IsErrorFactorChoice(factor))
    throw Error(app.ControlFile(), "set the error factor",
                std::to_string(factor) + " is not one of 2, 4, 6, 8, 10");
  RewriteControlFile(app, 'E', "E" + std::to_string(factor), fs);
}

}  // namespace vireo
