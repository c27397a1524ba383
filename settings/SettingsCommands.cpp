#include "settings/SettingsCommands.h"

#include "common/Error.h"
#include "settings/ControlFile.h"

namespace vireo {

bool RunTextSettingCommand(const TextSettingCommand& command, InputBoxPrompter& prompter,
                           const AppFolder& app, FileSystem& fs) {
  const std::string current = ReadControlValue(app, command.key, fs);
  const std::string answer = prompter.Ask(command.prompt, command.title, current);
  if (answer.empty() || answer == current) return false;
  RewriteControlFile(app, command.key, std::string(1, command.key) + answer, fs);
  return true;
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
